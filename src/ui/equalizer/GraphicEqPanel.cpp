#include "ui/equalizer/GraphicEqPanel.h"

#include <QLabel>
#include <QSlider>
#include <QTabBar>

#include "core/AppState.h"
#include "dsp/FilterDesign.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"
#include "model/EditableFields.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/equalizer/PageControls.h"
#include "ui/equalizer/ScaleCaptions.h"
#include "ui/UiContext.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

namespace mzr {
namespace {

constexpr int kFirstColumn = 34;   // centre of band 0
constexpr int kColumnPitch = 20;
constexpr int kBarTop = 24;
constexpr int kBarHeight = 130;
constexpr int kHandleHalf = 6;     // the handle is 12 pixels tall
constexpr int kTextTop = 158;
constexpr int kTextRowStep = 18;   // odd bands' texts sit one row lower, so each is 38 wide
constexpr int kTextWidth = 38;
constexpr int kLabelWidth = 40;
constexpr const char* kScale[] = {"+6", "+3", "0", "-3", "-6"};

int ColumnOf(int band) { return kFirstColumn + kColumnPitch * band; }

// The row of the handle's centre for a position, for the scale beside the bars.
int RowOfPosition(int position) {
  return kBarTop + kHandleHalf + position * (kBarHeight - 2 * kHandleHalf) / slider::geqBand.maxPosition;
}

QString BandName(int band) { return ToText(GeqBandLabel(band)) + QStringLiteral("Hz"); }

}  // namespace

GraphicEqPanel::GraphicEqPanel(UiContext& context, ResponseGraphWidget& graph, const QTabBar& tabs, QWidget* parent)
    : QWidget(parent), m_context(context), m_graph(graph), m_tabs(tabs) {
  setObjectName(QStringLiteral("graphicEqPanel"));
  resize(kWidth, kHeight);

  // The decibel marks beside the first bar and the bands' names above them, painted together
  // under the bars.
  auto* captions = new ScaleCaptions(this);
  captions->setObjectName(QStringLiteral("graphicEqScale"));
  for (int i = 0; i < 5; ++i) {
    captions->Add(QRect(0, RowOfPosition(30 * i) - 6, 20, 12), QString::fromLatin1(kScale[i]), Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int band = 0; band < kGeqBands; ++band) {
    captions->Add(QRect(ColumnOf(band) - kLabelWidth / 2, 1 + (band % 2) * 11, kLabelWidth, 11), ToText(GeqBandLabel(band)),
                  Qt::AlignCenter);
  }

  // The band's bar and text, built in one loop; band n is TrackBar(4+n) and Edit(4+n).
  for (int band = 0; band < kGeqBands; ++band) {
    const int x = ColumnOf(band);
    const QByteArray barName = "TrackBar" + QByteArray::number(4 + band);
    const QByteArray textName = "Edit" + QByteArray::number(4 + band);
    QSlider* bar = MakeTrackBar(this, barName.constData(), Qt::Vertical, slider::geqBand.minPosition,
                                slider::geqBand.maxPosition, slider::geqBand.constant);
    bar->setGeometry(x - kColumnPitch / 2, kBarTop, kColumnPitch, kBarHeight);
    QLabel* text = MakeValueText(this, textName.constData(), QStringLiteral("0.0dB"));
    text->setGeometry(x - kTextWidth / 2, kTextTop + (band % 2) * kTextRowStep, kTextWidth, 16);
    m_bars[static_cast<std::size_t>(band)] = bar;
    m_texts[static_cast<std::size_t>(band)] = text;
    connect(bar, &QSlider::valueChanged, this, [this, band](int position) { OnBandGainMoved(band, position); });
  }
}

void GraphicEqPanel::Refresh(int ch) {
  const ParameterImage& image = m_context.image;
  for (int band = 0; band < kGeqBands; ++band) {
    const int gain = image.geqGain(ch, band);
    m_bars[static_cast<std::size_t>(band)]->setValue(slider::geqBand.ToPosition(gain));
    m_texts[static_cast<std::size_t>(band)]->setText(ToText(FormatTenthsDb(gain)));
    m_graph.DesignSection(image, ch, band, SectionKind::GraphicBand);
  }
}

void GraphicEqPanel::OnBandGainMoved(int band, int position) {
  if (m_context.state.refreshing == 1) return;
  const int ch = m_tabs.currentIndex();
  if (ch < 0 || ch >= kSubwooferChannel) return;
  const int gain = slider::geqBand.ToStored(position);
  m_context.edits.Carry(m_context.workspace.intents().SetBandGain(ch, band, gain));
  m_texts[static_cast<std::size_t>(band)]->setText(ToText(FormatTenthsDb(gain)));
  // The other 28 sections in the store are still this channel's.
  m_graph.DesignSection(m_context.image, ch, band, SectionKind::GraphicBand);
  m_graph.DrawEqualizerGraph(ch);
}

void GraphicEqPanel::Flatten() {
  for (QSlider* bar : m_bars) bar->setValue(slider::geqBand.constant);
}

void GraphicEqPanel::ApplyLanguage() {
  const AppState& state = m_context.state;
  for (int band = 0; band < kGeqBands; ++band) {
    const QString name = BandName(band);
    m_bars[static_cast<std::size_t>(band)]->setAccessibleName(Caption(state, "频段 ", "Band ") + name);
    m_texts[static_cast<std::size_t>(band)]->setAccessibleName(Caption(state, "频段 ", "Band ") + name +
                                                               QStringLiteral(" dB"));
  }
}

}  // namespace mzr
