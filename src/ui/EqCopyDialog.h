#pragma once
// The EQ copy dialog: copies one channel's equalizer to others. Created hidden with the
// main window, it lives until the program ends and is shown modeless, so it keeps its
// contents between showings.

#include <QDialog>

namespace mzr {

struct UiContext;

class EqCopyDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(EqCopyDialog)

 public:
  static constexpr int kClientWidth = 444;
  static constexpr int kClientHeight = 244;

  EqCopyDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, or raises it when open.
  void ShowModeless();
  void ApplyLanguage();

 private:
  UiContext& m_context;
};

}  // namespace mzr
