#include "ui/EqualizerPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QTabBar>

#include "core/AppState.h"
#include "ui/CaptionTable.h"
#include "ui/graph/ResponseGraphWidget.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kTabRows[EqualizerPage::kTabCount] = {51, 52, 53, 54, 55, 58, 118};
constexpr int kTabBarHeight = 26;
// The logo hangs 5 pixels into the top of the tab control; the tabs start below it.
constexpr int kTabBarTop = 6;

}  // namespace

EqualizerPage::EqualizerPage(UiContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("suiTabControl1"));

  m_tabs = new QTabBar(this);
  m_tabs->setObjectName(QStringLiteral("channelTabs"));
  m_tabs->setExpanding(true);
  m_tabs->setDrawBase(false);
  m_tabs->setFocusPolicy(Qt::NoFocus);
  m_tabs->setUsesScrollButtons(false);
  m_tabs->setElideMode(Qt::ElideNone);
  for (int i = 0; i < kTabCount; ++i) m_tabs->addTab(CaptionTable::Text(kTabRows[i], 0));

  m_page = new QFrame(this);
  m_page->setObjectName(QStringLiteral("channelPage"));

  m_graphSlot = new QWidget(m_page);
  m_graphSlot->setObjectName(QStringLiteral("Image1"));
  m_graph = new ResponseGraphWidget(m_graphSlot);
  m_graph->setGeometry(0, 0, kGraphWidth, kGraphHeight);

  m_channelTestBox = new QCheckBox(m_page);
  m_channelTestBox->setObjectName(QStringLiteral("suiCheckBox14"));

  connect(m_tabs, &QTabBar::currentChanged, this, &EqualizerPage::TabChanged);
}

int EqualizerPage::count() const { return m_tabs->count(); }
int EqualizerPage::currentIndex() const { return m_tabs->currentIndex(); }
void EqualizerPage::setCurrentIndex(int index) { m_tabs->setCurrentIndex(index); }
QString EqualizerPage::tabText(int index) const { return m_tabs->tabText(index); }

void EqualizerPage::RefreshGraphicEq() { m_graph->ShowChannel(m_context.image, m_context.state.selectedChannel); }

void EqualizerPage::RefreshSubwooferPanel() {}

void EqualizerPage::RefreshTone() {}

void EqualizerPage::RefreshMonitor() {}

void EqualizerPage::ApplyPageLanguage() {}

void EqualizerPage::ApplySubwooferLanguage() {}

void EqualizerPage::ApplyTabLanguage() {
  for (int i = 0; i < kTabCount; ++i) m_tabs->setTabText(i, Caption(m_context.state, kTabRows[i]));
}

void EqualizerPage::TabChanged(int index) {
  m_context.state.selectedChannel = index;
  RefreshGraphicEq();
  emit currentChanged(index);
}

// Geometry follows the widget's size, set by the window.
void EqualizerPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_tabs->setGeometry(0, kTabBarTop, width(), kTabBarHeight);
  const int pageTop = kTabBarTop + kTabBarHeight - 1;
  m_page->setGeometry(0, pageTop, width(), height() - pageTop);
  m_graphSlot->setGeometry((width() - kGraphWidth) / 2, 28, kGraphWidth, kGraphHeight);
}

}  // namespace mzr
