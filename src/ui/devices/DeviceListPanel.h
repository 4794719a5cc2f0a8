#pragma once
// The contents of the device-list drawer: the grid of units found by the last searches, the
// search picture button, the address, mask and gateway fields of the selected unit, and the
// connect, return and network-settings buttons. The logic lives in DeviceDiscovery; this
// class shows what it reports (DeviceSession hands it the reports) and turns clicks into its
// operations.

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace mzr {

class DeviceDiscovery;

class DeviceListPanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceListPanel)

 public:
  // Shows one message box: the text, the caption "错误", and an error icon when asked.
  // Tests replace it to read the messages without a modal box.
  using MessageSink = std::function<void(const QString& text, bool errorIcon)>;

  explicit DeviceListPanel(DeviceDiscovery& discovery, QWidget* parent = nullptr);

  void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }

  // Captions of the labels, buttons and the header cells of columns 2 to 4, by caption-table
  // row (rows 121 to 126 and 128 to 130).
  void ApplyCaptions(const std::function<QString(int row)>& caption);

  // The grid as the unit list shows it: row 0 holds the headers, column 0 the row numbers.
  QString cellText(int row, int column) const;
  QTableWidget* grid() const { return m_grid; }

  // The discovery's reports: rows first..last of its table changed, a search started or
  // completed, the selected row's fields, a message for a box, a row to select.
  void UpdateRows(int first, int last);
  void OnSearchStarted();
  void OnSearchCompleted();
  void OnSelectionChanged(bool rowListed, const QString& ip, const QString& mask, const QString& gateway);
  void ShowMessage(const QString& text);
  void SelectRequestedRow(int row);

 signals:
  // A search completed: the drawer is to be shown and pinned open.
  void showRequested();
  // "Return": the drawer is to be hidden.
  void hideRequested();

 private:
  DeviceDiscovery& m_discovery;
  QTableWidget* m_grid = nullptr;
  QToolButton* m_searchButton = nullptr;
  QLabel* m_labels[3] = {};
  QLineEdit* m_edits[3] = {};
  QPushButton* m_connectButton = nullptr;
  QPushButton* m_returnButton = nullptr;
  QPushButton* m_networkButton = nullptr;
  MessageSink m_messageSink;
};

}  // namespace mzr
