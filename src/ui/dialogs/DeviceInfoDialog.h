#pragma once
// The serial-number dialog, reached by a long press on the logo: writes a new serial number
// into the image and, while a unit is connected, into the unit. Its texts are Chinese in
// both languages. Created hidden with the main window, it lives until the program ends and
// is shown modeless, so it keeps its contents between showings. Its controls are built when it
// is first shown (or asked for by EnsureBuilt).

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace mzr {

struct UiContext;

class DeviceInfoDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceInfoDialog)

 public:
  static constexpr int kClientWidth = 244;
  static constexpr int kClientHeight = 105;
  // The serial number fills at most its 16-byte slot, with no terminator when full.
  static constexpr int kSerialBytes = 16;

  DeviceInfoDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, or raises it when open.
  void ShowModeless();
  // Builds the controls if they are not built yet.
  void EnsureBuilt();

  // The write button: the edit's text into serialNumber, then the block write of its slot
  // while connected. No message; the dialog stays open.
  void OnStoreSerialClicked();  // Button1Click

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  UiContext& m_context;
  QLabel* m_label = nullptr;
  QLineEdit* m_edit = nullptr;
  QPushButton* m_button = nullptr;
};

}  // namespace mzr
