#include "ui/equalizer/EqualizerPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>

#include "core/AppState.h"
#include "dsp/FilterDesign.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/equalizer/GraphicEqPanel.h"
#include "ui/equalizer/MonitorPanel.h"
#include "ui/equalizer/PageControls.h"
#include "ui/equalizer/ScaleCaptions.h"
#include "ui/equalizer/SubwooferPanel.h"
#include "ui/equalizer/TonePanel.h"
#include "ui/UiContext.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

namespace mzr {

namespace {

constexpr int kTabRows[EqualizerPage::kTabCount] = {51, 52, 53, 54, 55, 58, 118};
constexpr int kTestBoxRow = 59;
constexpr int kFlatRow = 60;
constexpr int kTabBarHeight = 26;
// The logo hangs 5 pixels into the top of the tab control; the tabs start below it.
constexpr int kTabBarTop = 6;
constexpr int kMonitorTab = 6;

// Page coordinates: the graph with a row of frequency labels above and below it and the
// decibel labels on both sides, then the equalizer row.
constexpr int kGraphLeft = 68;
constexpr int kGraphTop = 15;
constexpr int kEditorsTop = 226;
constexpr int kToneLeft = 570;

// The 31 third-octave labels from 20 Hz to 20 kHz; label i sits on the graph's column
// 18 + 20 i (the grid has 100 points per decade, 2 columns each, from 0.06 decade below
// 20 Hz). Even labels go above the graph, odd ones below, so each has room to be read.
constexpr const char* kFrequencyLabels[] = {"20",  "25",  "31",  "40",    "50",   "63",  "80",  "100",
                                            "125", "160", "200", "250",   "315",  "400", "500", "630",
                                            "800", "1K",  "1.25K", "1.6K", "2K",  "2.5K", "3.15K", "4K",
                                            "5K",  "6.3K", "8K", "10K",   "12.5K", "16K", "20K"};
constexpr const char* kFullRangeDb[] = {"+10", "+5", "0", "-5", "-10"};
constexpr const char* kSubwooferDb[] = {"+5", "  0", "-5", "-10", "-15"};
constexpr int kDbRowStep = 48;  // rows 1, 49, 97, 145, 193 of the graph

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
  SetSkinRole(m_page, SkinRole::ChannelPage);

  m_graphSlot = new QWidget(m_page);
  m_graphSlot->setObjectName(QStringLiteral("Image1"));
  m_graphSlot->setGeometry(kGraphLeft, kGraphTop, kGraphWidth, kGraphHeight);
  m_graph = new ResponseGraphWidget(m_graphSlot);
  m_graph->setGeometry(0, 0, kGraphWidth, kGraphHeight);
  BuildGraphLabels();

  m_bands = new GraphicEqPanel(context, *m_graph, *m_tabs, m_page);
  m_bands->move(0, kEditorsTop);
  m_tone = new TonePanel(context, *m_tabs,
                         TonePanel::Refreshers{[this] { RefreshTone(); }, [this] { RefreshSubwooferPanel(); }}, m_page);
  m_tone->move(kToneLeft, kEditorsTop);

  // Flat and the test-signal box sit under the turnover bars, beside the subwoofer panel,
  // so they serve every equalizer tab.
  const int sideLeft = kToneLeft + TonePanel::kCornerColumnLeft;
  m_flat = new QPushButton(m_page);
  m_flat->setObjectName(QStringLiteral("suiButton22"));
  m_flat->setGeometry(sideLeft + 6, kEditorsTop + 124, 86, 24);
  m_channelTestBox = new QCheckBox(m_page);
  m_channelTestBox->setObjectName(QStringLiteral("suiCheckBox14"));
  SetSkinRole(m_channelTestBox, SkinRole::PageLamp);
  m_channelTestBox->setGeometry(sideLeft + 4, kEditorsTop + 156, 96, 22);

  // The subwoofer and monitor panels are made when their tab is first shown (or a refresh
  // or a caller needs them).

  connect(m_tabs, &QTabBar::currentChanged, this, &EqualizerPage::TabChanged);
  connect(m_graph, &ResponseGraphWidget::aboutToPaint, this, [this] { OnChannelTabChanged(m_tabs->currentIndex()); });
  connect(m_flat, &QPushButton::clicked, this, &EqualizerPage::OnFlatClicked);
}

void EqualizerPage::BuildGraphLabels() {
  // The frequencies, painted together above and below the graph.
  auto* frequencies = new ScaleCaptions(m_page);
  frequencies->setObjectName(QStringLiteral("graphFrequencies"));
  for (int i = 0; i < static_cast<int>(std::size(kFrequencyLabels)); ++i) {
    const int x = kGraphLeft + 18 + 20 * i;
    const int y = i % 2 == 0 ? kGraphTop - 13 : kGraphTop + kGraphHeight + 1;
    frequencies->Add(QRect(x - 20, y, 40, 12), QString::fromLatin1(kFrequencyLabels[i]), Qt::AlignCenter);
  }
  frequencies->lower();  // under the graph, which it surrounds
  for (int i = 0; i < 5; ++i) {
    const int y = kGraphTop + 1 + kDbRowStep * i - 6;
    const auto k = static_cast<std::size_t>(i);
    m_leftDb[k] = MakeCaption(m_page, QString(), Qt::AlignRight | Qt::AlignVCenter);
    m_leftDb[k]->setObjectName(QStringLiteral("StaticText%1").arg(92 + i));
    m_leftDb[k]->setGeometry(kGraphLeft - 30, y, 26, 12);
    m_rightDb[k] = MakeCaption(m_page, QString(), Qt::AlignLeft | Qt::AlignVCenter);
    m_rightDb[k]->setObjectName(QStringLiteral("StaticText%1").arg(22 + i));
    m_rightDb[k]->setGeometry(kGraphLeft + kGraphWidth + 4, y, 26, 12);
    SetSkinRole(m_leftDb[k], SkinRole::ScaleCaption);
    SetSkinRole(m_rightDb[k], SkinRole::ScaleCaption);
  }
  SetDecibelLabels(false);
}

void EqualizerPage::SetDecibelLabels(bool subwoofer) {
  for (std::size_t i = 0; i < m_leftDb.size(); ++i) {
    const QString text = QString::fromLatin1(subwoofer ? kSubwooferDb[i] : kFullRangeDb[i]);
    m_leftDb[i]->setText(text);
    m_rightDb[i]->setText(text);
  }
}

SubwooferPanel* EqualizerPage::subwooferPanel() {
  if (m_subwoofer == nullptr) {
    m_subwoofer = new SubwooferPanel(m_context, *m_graph, m_page);
    m_subwoofer->move(0, kEditorsTop);
    m_subwoofer->hide();
    if (m_languageApplied) m_subwoofer->ApplyLanguage();
    const RefreshingHold refreshing(m_context.state);
    m_subwoofer->Refresh();
  }
  return m_subwoofer;
}

MonitorPanel* EqualizerPage::monitorPanel() {
  if (m_monitor == nullptr) {
    m_monitor = new MonitorPanel(m_context, m_page);
    m_monitor->setGeometry(1, 1, m_page->width() - 2, m_page->height() - 2);
    m_monitor->hide();
    if (m_languageApplied) m_monitor->ApplyLanguage();
    const RefreshingHold refreshing(m_context.state);
    m_monitor->Refresh();
  }
  return m_monitor;
}

int EqualizerPage::count() const { return m_tabs->count(); }
int EqualizerPage::currentIndex() const { return m_tabs->currentIndex(); }
void EqualizerPage::setCurrentIndex(int index) { m_tabs->setCurrentIndex(index); }
QString EqualizerPage::tabText(int index) const { return m_tabs->tabText(index); }

bool EqualizerPage::FullRangeTab() const {
  const int tab = m_tabs->currentIndex();
  return tab >= 0 && tab < kSubwooferChannel;
}

void EqualizerPage::ShowTestBoxFor(int channel) {
  // The box's own handler (the TestSignalSelector's) ignores this while refreshing is 1.
  m_channelTestBox->setChecked((m_context.image.testSignalMask() & Bit(channel)) != 0);
}

void EqualizerPage::RefreshGraphicEq() {
  if (!FullRangeTab()) return;
  m_context.state.refreshing = 1;
  const int ch = m_tabs->currentIndex();
  m_bands->Refresh(ch);
  m_graph->DesignSection(m_context.image, ch, 0, SectionKind::BassShelf);
  m_graph->DesignSection(m_context.image, ch, 0, SectionKind::TrebleShelf);
  m_graph->DrawEqualizerGraph(ch);
  ShowTestBoxFor(ch);
}

void EqualizerPage::RefreshTone() {
  if (!FullRangeTab()) return;
  m_context.state.refreshing = 1;
  const int ch = m_tabs->currentIndex();
  m_tone->Refresh(ch);
  m_graph->DesignSection(m_context.image, ch, 0, SectionKind::BassShelf);
  m_graph->DesignSection(m_context.image, ch, 0, SectionKind::TrebleShelf);
  m_graph->DrawEqualizerGraph(ch);
}

void EqualizerPage::RefreshSubwooferPanel() {
  if (m_tabs->currentIndex() != kSubwooferChannel) return;
  m_context.state.refreshing = 1;
  subwooferPanel()->Refresh();
  m_tone->ShowLowPassCorner(m_context.image.subLpfFreq());
  m_graph->DesignChannelSections(m_context.image, kSubwooferChannel);
  m_graph->DrawEqualizerGraph(kSubwooferChannel);
  ShowTestBoxFor(kSubwooferChannel);
}

void EqualizerPage::RefreshMonitor() {
  m_context.state.refreshing = 1;
  if (m_monitor != nullptr) m_monitor->Refresh();  // a panel made later refreshes itself
}

void EqualizerPage::OnChannelTabChanged(int index) {
  m_context.state.selectedChannel = index;
  if (index >= 0 && index < kSubwooferChannel) {
    if (m_subwoofer != nullptr) m_subwoofer->hide();
    if (m_monitor != nullptr) m_monitor->hide();
    SetDecibelLabels(false);
    m_tone->ShowFor(false);
    RefreshGraphicEq();
    RefreshTone();
  } else if (index == kSubwooferChannel) {
    SetDecibelLabels(true);
    subwooferPanel()->show();
    m_subwoofer->raise();
    m_tone->ShowFor(true);
    RefreshSubwooferPanel();
    if (m_monitor != nullptr) m_monitor->hide();
  } else if (index == kMonitorTab) {
    monitorPanel()->show();
    m_monitor->raise();
    RefreshMonitor();
  }
  m_context.state.refreshing = 0;
}

void EqualizerPage::OnFlatClicked() {
  // Flat is one step to take back, however it was pressed (mouse or keyboard).
  const EditHistory::Gesture gesture(m_context.workspace.history());
  if (m_tabs->currentIndex() == kSubwooferChannel) {
    subwooferPanel()->Flatten();
  } else {
    m_bands->Flatten();
    m_tone->Flatten();
  }
  m_context.state.refreshing = 0;
}

void EqualizerPage::ApplyPageLanguage() {
  const AppState& state = m_context.state;
  m_channelTestBox->setText(Caption(state, kTestBoxRow));
  m_flat->setText(Caption(state, kFlatRow));
  m_tone->ApplyLanguage();
  m_bands->ApplyLanguage();
  m_languageApplied = true;
  if (m_monitor != nullptr) m_monitor->ApplyLanguage();
  m_graph->setAccessibleName(Caption(state, "频率响应曲线", "Frequency response graph"));
}

void EqualizerPage::ApplySubwooferLanguage() {
  if (m_subwoofer != nullptr) m_subwoofer->ApplyLanguage();
}

void EqualizerPage::ApplyTabLanguage() {
  for (int i = 0; i < kTabCount; ++i) m_tabs->setTabText(i, Caption(m_context.state, kTabRows[i]));
}

void EqualizerPage::TabChanged(int index) {
  OnChannelTabChanged(index);
  emit currentChanged(index);
}

// Geometry follows the widget's size, set by the window.
void EqualizerPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_tabs->setGeometry(0, kTabBarTop, width(), kTabBarHeight);
  const int pageTop = kTabBarTop + kTabBarHeight - 1;
  m_page->setGeometry(0, pageTop, width(), height() - pageTop);
  if (m_monitor != nullptr) m_monitor->setGeometry(1, 1, m_page->width() - 2, m_page->height() - 2);
}

}  // namespace mzr
