#pragma once
// The room alignment of one channel (EQ menu > Align to Target...): measurement files of
// several seats, added with the button or dropped on the dialog, are power-averaged and the
// channel's bands and shelves (the subwoofer's two sections) fitted to the target under the
// installer's rules (the x-curve's slopes by the room's seats, the boost limit and the fit
// range are chosen here). The graph shows each position faintly, the average, the target with
// its tolerance band, the predicted result, the equalizer's own response and the dips left
// out of the fit; the table gives per band the measured deviation, the gain chosen, the
// predicted deviation and whether it is inside the tolerance. Apply moves the changed fields
// through the edit operation as one undo step, so a connected unit follows; Report writes the
// report of every channel aligned in this session.
//
// The measurements were taken with the settings the channel had when the first file came in;
// the fit keeps reading those, so a second Apply after a change of target is still right.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "align/AlignmentTarget.h"
#include "align/EqualizerFit.h"
#include "align/MeasurementFile.h"
#include "model/ParameterImage.h"
#include "report/AlignmentReport.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QPushButton;
class QTableWidget;

namespace mzr {

struct UiContext;
class AlignmentGraph;

class AlignmentDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(AlignmentDialog)

 public:
  // Asks for files; an empty list or text means the user cancelled.
  using OpenPaths = std::function<QStringList()>;
  using SavePath = std::function<QString()>;

  AlignmentDialog(UiContext& context, QWidget* parent);
  ~AlignmentDialog() override;

  void setOpenPaths(OpenPaths provider) { m_openPaths = std::move(provider); }
  void setSavePath(SavePath provider) { m_savePath = std::move(provider); }

  // Opens the dialog modeless for channel (the current tab, 0..6), or raises it. Another
  // channel than the last one starts without measurements.
  void ShowFor(int channel);
  void ApplyLanguage();

  // The buttons' work.
  void AddFiles(const QStringList& paths);
  void ClearMeasurements();
  void ApplyFit();
  void WriteReport();
  void WriteReport(const QString& path);

  int channel() const { return m_channel; }
  const std::optional<FitResult>& fit() const { return m_fit; }
  QString statusText() const;
  QTableWidget* table() const { return m_table; }
  QPushButton* applyButton() const { return m_apply; }
  QComboBox* targetBox() const { return m_target; }
  QSpinBox* seatsBox() const { return m_seats; }
  QDoubleSpinBox* boostBox() const { return m_maxBoost; }
  QSpinBox* fromBox() const { return m_from; }
  QSpinBox* toBox() const { return m_to; }

 signals:
  // Apply changed the image: the window shows it again.
  void settingsApplied();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Position {
    QString path;
    Measurement measurement;
  };

  bool subwoofer() const;
  double FromHz() const;
  double ToHz() const;
  TargetKind ChosenTarget() const;
  QStringList Legend() const;
  // Fits anew from the positions and the target; shows the result or the reason there is none.
  void Refit();
  void ShowTable();
  void ShowStatus(const QString& text, bool error);
  void UpdateButtons();

  UiContext& m_context;
  OpenPaths m_openPaths;
  SavePath m_savePath;
  int m_channel = 0;
  std::vector<Position> m_positions;
  ParameterImage m_measuredWith;  // the settings while the positions were measured
  std::optional<FitResult> m_fit;
  std::map<int, ReportChannel> m_sessions;  // every channel fitted since the dialog was made
  QString m_status;
  bool m_statusIsError = false;
  int m_statusRow = -1;  // a caption row shown alone as the status, or -1

  QLabel* m_hint = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_clear = nullptr;
  QLabel* m_targetLabel = nullptr;
  QComboBox* m_target = nullptr;
  QLabel* m_seatsLabel = nullptr;
  QSpinBox* m_seats = nullptr;      // the room's seats: the x-curve's slopes
  QLabel* m_boostLabel = nullptr;
  QDoubleSpinBox* m_maxBoost = nullptr;
  QLabel* m_rangeLabel = nullptr;
  QSpinBox* m_from = nullptr;
  QSpinBox* m_to = nullptr;
  QLabel* m_signLabel = nullptr;
  QLineEdit* m_installer = nullptr;  // for the report
  QLineEdit* m_mic = nullptr;
  QLineEdit* m_notes = nullptr;
  AlignmentGraph* m_graph = nullptr;
  QTableWidget* m_table = nullptr;
  QLabel* m_statusLabel = nullptr;
  QPushButton* m_apply = nullptr;
  QPushButton* m_report = nullptr;
  QPushButton* m_close = nullptr;
};

}  // namespace mzr
