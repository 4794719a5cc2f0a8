#pragma once
// The theater profile dialog: the installation's texts and the unit's identity. Created
// hidden with the main window, it lives until the program ends and is shown modeless, so
// it keeps its contents between showings.

#include <QDialog>

namespace mzr {

struct UiContext;

class TheaterProfileDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TheaterProfileDialog)

 public:
  static constexpr int kClientWidth = 704;
  static constexpr int kClientHeight = 336;

  TheaterProfileDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, or raises it when open.
  void ShowModeless();
  void ApplyLanguage();
  // Shows the image's texts and identity lines; called after a whole image arrived or a
  // unit was connected, inside the same refreshing bracket as the editors' refresh.
  void RefreshProfileDialog();

 private:
  UiContext& m_context;
};

}  // namespace mzr
