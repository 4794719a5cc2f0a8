#include "ui/equalizer/PageControls.h"

#include <QLabel>
#include <QSlider>

#include "core/AppState.h"
#include "ui/SkinRole.h"

namespace mzr {

QSlider* MakeTrackBar(QWidget* parent, const char* name, Qt::Orientation orientation, int minimum, int maximum,
                      int start) {
  auto* bar = new QSlider(orientation, parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setRange(minimum, maximum);
  bar->setValue(start);
  bar->setSingleStep(1);
  bar->setPageStep(orientation == Qt::Vertical ? 10 : 1);
  bar->setTickPosition(QSlider::NoTicks);
  if (orientation == Qt::Vertical) {
    bar->setInvertedAppearance(true);
    bar->setInvertedControls(true);
  }
  return bar;
}

QLabel* MakeValueText(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  SetSkinRole(label, SkinRole::PageLcdText);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

QLabel* MakeCaption(QWidget* parent, const QString& text, Qt::Alignment alignment, const char* name) {
  auto* label = new QLabel(text, parent);
  if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(alignment);
  return label;
}


}  // namespace mzr
