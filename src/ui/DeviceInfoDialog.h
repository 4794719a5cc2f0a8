#pragma once
// The serial-number dialog, reached by a long press on the logo; its texts are Chinese in
// both languages. Created hidden with the main window, it lives until the program ends and
// is shown modeless, so it keeps its contents between showings.

#include <QDialog>

namespace mzr {

struct UiContext;

class DeviceInfoDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceInfoDialog)

 public:
  static constexpr int kClientWidth = 244;
  static constexpr int kClientHeight = 105;

  DeviceInfoDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, or raises it when open.
  void ShowModeless();

 private:
  UiContext& m_context;
};

}  // namespace mzr
