#include "ui/window/StatusBar.h"

#include <QLabel>

namespace mzr {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("suiStatusBar1"));
  setSizeGripEnabled(false);
  for (int i = 0; i < kPanelCount; ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("panel%1").arg(i));
    label->setFixedWidth(kPanelWidths[i]);
    label->setTextFormat(Qt::PlainText);
    addWidget(label);
    m_panels[static_cast<std::size_t>(i)] = label;
  }
}

void StatusBar::SetPanelText(int panel, const QString& text) {
  if (panel < 0 || panel >= kPanelCount) return;
  m_panels[static_cast<std::size_t>(panel)]->setText(text);
}

QString StatusBar::panelText(int panel) const {
  if (panel < 0 || panel >= kPanelCount) return {};
  return m_panels[static_cast<std::size_t>(panel)]->text();
}

}  // namespace mzr
