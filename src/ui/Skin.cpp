#include "ui/Skin.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

// Resources of a static library are registered by hand, outside any namespace.
static void InitSkinResource() { Q_INIT_RESOURCE(skin); }

namespace mzr {

// The classic drawer colours: sky blue for the inputs, money green for the outputs.
const QColor Skin::kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor Skin::kMoneyGreen(0xC0, 0xDC, 0xC0);
const QColor Skin::kListGrey(0xDD, 0xE3, 0xEA);

namespace {

const char* const kAlertProperty = "alert";

}  // namespace

QString Skin::StyleSheet() {
  InitSkinResource();
  QFile file(QStringLiteral(":/skin/mzr4700.qss"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

void Skin::Apply(QApplication& app) {
  // Fusion draws every control from the style sheet and palette alike on every platform.
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  // A pixel size keeps the layout fixed whatever the desktop's font setting; the CJK face
  // carries both the Chinese and the Latin captions.
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(12);
  font.setHintingPreference(QFont::PreferFullHinting);
  app.setFont(font);
  app.setStyleSheet(StyleSheet());
}

void Skin::SetAlert(QWidget* widget, bool alert) {
  if (widget->property(kAlertProperty).toBool() == alert) return;
  widget->setProperty(kAlertProperty, alert);
  // Property selectors of the style sheet are only re-read on a new polish.
  widget->style()->unpolish(widget);
  widget->style()->polish(widget);
  widget->update();
}

bool Skin::IsAlert(const QWidget* widget) { return widget->property(kAlertProperty).toBool(); }

}  // namespace mzr
