#include "ui/Skin.h"

#include "ui/SkinStyle.h"

#include <QApplication>
#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#if MZR_CAPTION_FONT
// The caption face's two cuts, generated at build time (cmake/MzrCaptionFont.cmake).
namespace mzr::captionfont {
extern const unsigned char kRegular[];
extern const unsigned int kRegularSize;
extern const unsigned char kBold[];
extern const unsigned int kBoldSize;
}  // namespace mzr::captionfont
#endif

namespace mzr {

// The classic drawer colours: sky blue for the inputs, money green for the outputs.
const QColor Skin::kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor Skin::kMoneyGreen(0xC0, 0xDC, 0xC0);
const QColor Skin::kListGrey(0xDD, 0xE3, 0xEA);

namespace {

const char* const kAlertProperty = "alert";
const QString kSystemCjkFamily = QStringLiteral("Noto Sans CJK SC");

}  // namespace

const QString Skin::kCaptionFamily = QStringLiteral("MZR4700 Captions");

bool Skin::LoadCaptionFace() {
#if MZR_CAPTION_FONT
  // The data stays in the program's read-only memory: Qt and FreeType read it in place.
  static const bool loaded =
      QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
          reinterpret_cast<const char*>(captionfont::kRegular), static_cast<qsizetype>(captionfont::kRegularSize))) >= 0 &&
      QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
          reinterpret_cast<const char*>(captionfont::kBold), static_cast<qsizetype>(captionfont::kBoldSize))) >= 0;
  return loaded;
#else
  return false;
#endif
}

void Skin::Apply(QApplication& app) {
  // The skin is drawn in code over Fusion, alike on every platform.
  QApplication::setStyle(new SkinStyle);
  // The window's menu bar is always its own; asking the desktop for a global one costs a
  // round trip on the session bus at start-up.
  QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  QApplication::setPalette(SkinStyle::Palette());
  QToolTip::setPalette(SkinStyle::Palette());
  // A pixel size keeps the layout fixed whatever the desktop's font setting; the CJK face
  // carries both the Chinese and the Latin captions. The caption face holds the glyphs of
  // the program's own texts, cut from that face, so the full one is only opened for a
  // character it lacks (a name typed by the user or read from a unit).
  QFont font(kSystemCjkFamily);
  if (LoadCaptionFace()) font.setFamilies({kCaptionFamily, kSystemCjkFamily});
  font.setPixelSize(12);
  font.setHintingPreference(QFont::PreferFullHinting);
  app.setFont(font);
}

void Skin::SetAlert(QWidget* widget, bool alert) {
  if (widget->property(kAlertProperty).toBool() == alert) return;
  widget->setProperty(kAlertProperty, alert);
  // The style gives a widget its face and colours when it polishes it.
  widget->style()->unpolish(widget);
  widget->style()->polish(widget);
  widget->update();
}

bool Skin::IsAlert(const QWidget* widget) { return widget->property(kAlertProperty).toBool(); }

}  // namespace mzr
