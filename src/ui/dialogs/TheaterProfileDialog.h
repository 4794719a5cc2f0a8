#pragma once
// The theater profile dialog: the installation's eight texts, kept in the image as the user
// types, and the unit's identity with the program's own version. Created hidden with the
// main window, it lives until the program ends and is shown modeless, so it keeps its
// contents between showings. Its controls are built when it is first shown (or asked for by
// EnsureBuilt); until then the language and refresh calls only note what the identity lines
// would show.

#include <QDialog>

#include <array>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;

namespace mzr {

struct UiContext;

class TheaterProfileDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TheaterProfileDialog)

 public:
  static constexpr int kClientWidth = 704;
  static constexpr int kClientHeight = 336;
  static constexpr int kProfileTexts = 8;
  // A profile slot holds 39 bytes of GBK and its terminating zero.
  static constexpr int kProfileTextBytes = 39;

  TheaterProfileDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, with the image's profile texts
  // in the edits, or raises it when open.
  void ShowModeless();
  // Captions, the bare identity captions (their values return with the next refresh) and
  // the program's version line with today's date.
  void ApplyLanguage();
  // Shows the image's texts and identity lines; called after a whole image arrived or a
  // unit was connected, inside the same refreshing bracket as the editors' refresh.
  void RefreshProfileDialog();
  // Builds the controls if they are not built yet, showing what the calls so far would have
  // left in them.
  void EnsureBuilt();

  // The version line: "软件版本： V", the program version, the date of today in the
  // system's short format and the network module's model.
  static QString VersionLine();
  // What an edit shows for a slot's GBK bytes: the text the slot holds once the edit's whole
  // text is stored back (unreadable bytes as '?', at most kProfileTextBytes bytes).
  static std::string StorableText(std::string_view gbk);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RefreshEdits();
  // The user changed edit i (0..7): its whole text goes into its slot at once.
  void OnProfileTextEdited(int i, const QString& text);  // EditChange

  UiContext& m_context;
  std::array<QLabel*, kProfileTexts> m_labels{};
  std::array<QLineEdit*, kProfileTexts> m_edits{};
  QLabel* m_theaterHeading = nullptr;
  QLabel* m_componentHeading = nullptr;
  // Model, serial number, firmware version, firmware date, in that order.
  std::array<QLabel*, 4> m_identity{};
  QLabel* m_versionLine = nullptr;
  // The identity lines carry the image's values (a refresh came last) rather than the bare
  // captions (a language change came last).
  bool m_identityFilled = false;
};

}  // namespace mzr
