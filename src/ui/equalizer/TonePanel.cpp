#include "ui/equalizer/TonePanel.h"

#include <QLabel>
#include <QSlider>
#include <QTabBar>

#include "core/AppState.h"
#include "dsp/FilterDesign.h"
#include "link/EditOperation.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/equalizer/PageControls.h"
#include "ui/UiContext.h"

namespace mzr {
namespace {

constexpr int kBassRow = 61;
constexpr int kTrebleRow = 62;
constexpr int kBassFreqRow = 63;
constexpr int kTrebleFreqRow = 64;

}  // namespace

TonePanel::TonePanel(UiContext& context, const QTabBar& tabs, Refreshers refreshers, QWidget* parent)
    : QWidget(parent), m_context(context), m_tabs(tabs), m_refreshers(std::move(refreshers)) {
  setObjectName(QStringLiteral("tonePanel"));
  resize(kWidth, kHeight + 76);

  // Two gain columns, bass then treble, lined up with the band bars beside them.
  m_bassCaption = MakeCaption(this, QString(), Qt::AlignCenter, "StaticText27");
  m_bassCaption->setGeometry(0, 2, 48, 20);
  m_bassGain = MakeTrackBar(this, "TrackBar2", Qt::Vertical, slider::shelfGain.minPosition,
                            slider::shelfGain.maxPosition, slider::shelfGain.constant);
  m_bassGain->setGeometry(14, 24, 20, 130);
  m_bassGainText = MakeValueText(this, "Edit1", QStringLiteral("    0dB"));
  m_bassGainText->setGeometry(1, 158, 46, 16);

  m_trebleCaption = MakeCaption(this, QString(), Qt::AlignCenter, "StaticText28");
  m_trebleCaption->setGeometry(48, 2, 48, 20);
  m_trebleGain = MakeTrackBar(this, "TrackBar1", Qt::Vertical, slider::shelfGain.minPosition,
                              slider::shelfGain.maxPosition, slider::shelfGain.constant);
  m_trebleGain->setGeometry(62, 24, 20, 130);
  m_trebleGainText = MakeValueText(this, "Edit2", QStringLiteral("    0dB"));
  m_trebleGainText->setGeometry(49, 158, 46, 16);

  // The turnover column, which the subwoofer panel leaves uncovered.
  const int x = kCornerColumnLeft;
  const int w = kWidth - kCornerColumnLeft;
  m_bassFreqCaption = MakeCaption(this, QString(), Qt::AlignCenter, "StaticText31");
  m_bassFreqCaption->setGeometry(x, 0, w, 17);
  m_bassFreq = MakeTrackBar(this, "TrackBar3", Qt::Horizontal, slider::bassCorner.minPosition,
                            slider::bassCorner.maxPosition, 5);
  m_bassFreq->setGeometry(x + 4, 18, w - 8, 20);
  m_bassFreqText = MakeValueText(this, "Edit3", QStringLiteral("500Hz"));
  m_bassFreqText->setGeometry(x + (w - 62) / 2, 39, 62, 16);

  m_trebleFreqCaption = MakeCaption(this, QString(), Qt::AlignCenter, "StaticText32");
  m_trebleFreqCaption->setGeometry(x, 60, w, 17);
  m_trebleFreq = MakeTrackBar(this, "TrackBar32", Qt::Horizontal, slider::trebleCorner.minPosition,
                              slider::trebleCorner.maxPosition, 5);
  m_trebleFreq->setGeometry(x + 4, 78, w - 8, 20);
  m_trebleFreqText = MakeValueText(this, "Edit31", QStringLiteral("1KHz"));
  m_trebleFreqText->setGeometry(x + (w - 62) / 2, 99, 62, 16);

  connect(m_bassGain, &QSlider::valueChanged, this, &TonePanel::OnBassGainMoved);
  connect(m_trebleGain, &QSlider::valueChanged, this, &TonePanel::OnTrebleGainMoved);
  connect(m_bassFreq, &QSlider::valueChanged, this, &TonePanel::OnBassFreqMoved);
  connect(m_trebleFreq, &QSlider::valueChanged, this, &TonePanel::OnTrebleFreqMoved);
}

void TonePanel::Refresh(int ch) {
  // A zero shelf gain stays 0 here and in the image: its section is designed flat.
  const ToneControl tone = m_context.image.toneControl(ch);
  m_bassGain->setValue(slider::shelfGain.ToPosition(tone.bassGain));
  m_bassGainText->setText(ToText(FormatTenthsDb(tone.bassGain)));
  m_trebleGain->setValue(slider::shelfGain.ToPosition(tone.trebleGain));
  m_trebleGainText->setText(ToText(FormatTenthsDb(tone.trebleGain)));
  m_bassFreq->setValue(tone.bassFreq);
  m_bassFreqText->setText(ToText(BassCornerLabel(tone.bassFreq)));
  m_trebleFreq->setValue(tone.trebleFreq);
  m_trebleFreqText->setText(ToText(TrebleCornerLabel(tone.trebleFreq)));
}

void TonePanel::ShowLowPassCorner(int index) {
  m_bassFreq->setValue(index);
  m_bassFreqText->setText(ToText(BassCornerLabel(index)));
}

void TonePanel::ShowFor(bool subwooferTab) {
  m_subwooferTab = subwooferTab;
  for (QWidget* w : std::initializer_list<QWidget*>{m_bassCaption, m_trebleCaption, m_bassGain, m_trebleGain,
                                                    m_bassGainText, m_trebleGainText, m_trebleFreq,
                                                    m_trebleFreqText, m_trebleFreqCaption}) {
    w->setVisible(!subwooferTab);
  }
  m_bassFreq->setVisible(true);
  ApplyAccessibleNames();
}

void TonePanel::SendAndRefresh(int ch, bool bass, const ToneControl& tone) {
  const RefreshingScope refreshing(m_context.state);
  m_context.edits.Apply(bass ? EditedField::toneBass : EditedField::toneTreble, ch,
                        [ch, tone](ParameterImage& image) { image.setToneControl(ch, tone); });
  m_refreshers.refreshTone();
}

void TonePanel::OnBassGainMoved(int position) {
  if (m_context.state.refreshing == 1) return;
  const int ch = m_tabs.currentIndex();
  if (ch < 0 || ch >= kSubwooferChannel) return;
  ToneControl tone = m_context.image.toneControl(ch);
  tone.bassGain = static_cast<std::int8_t>(slider::shelfGain.ToStored(position));
  SendAndRefresh(ch, true, tone);
}

void TonePanel::OnTrebleGainMoved(int position) {
  if (m_context.state.refreshing == 1) return;
  const int ch = m_tabs.currentIndex();
  if (ch < 0 || ch >= kSubwooferChannel) return;
  ToneControl tone = m_context.image.toneControl(ch);
  tone.trebleGain = static_cast<std::int8_t>(slider::shelfGain.ToStored(position));
  SendAndRefresh(ch, false, tone);
}

void TonePanel::OnTrebleFreqMoved(int position) {
  if (m_context.state.refreshing == 1) return;
  const int ch = m_tabs.currentIndex();
  if (ch < 0 || ch >= kSubwooferChannel) return;
  ToneControl tone = m_context.image.toneControl(ch);
  tone.trebleFreq = static_cast<std::uint8_t>(position);
  SendAndRefresh(ch, false, tone);
}

void TonePanel::OnBassFreqMoved(int position) {
  if (m_context.state.refreshing == 1) return;
  const int ch = m_tabs.currentIndex();
  if (ch == kSubwooferChannel) {
    // On the subwoofer tab the bar is the low-pass frequency.
    const RefreshingScope refreshing(m_context.state);
    m_context.edits.Apply(EditedField::subLpf, 0,
                          [position](ParameterImage& image) { image.setSubLpfFreq(static_cast<std::uint8_t>(position)); });
    m_refreshers.refreshSubwooferPanel();
    return;
  }
  if (ch < 0 || ch > kSubwooferChannel) return;
  ToneControl tone = m_context.image.toneControl(ch);
  tone.bassFreq = static_cast<std::uint8_t>(position);
  SendAndRefresh(ch, true, tone);
}

void TonePanel::Flatten() {
  m_trebleGain->setValue(slider::shelfGain.constant);
  m_bassGain->setValue(slider::shelfGain.constant);
}

void TonePanel::ApplyLanguage() {
  const AppState& state = m_context.state;
  m_bassCaption->setText(Caption(state, kBassRow));
  m_trebleCaption->setText(Caption(state, kTrebleRow));
  m_bassFreqCaption->setText(Caption(state, kBassFreqRow));
  m_trebleFreqCaption->setText(Caption(state, kTrebleFreqRow));
  ApplyAccessibleNames();
}

void TonePanel::ApplyAccessibleNames() {
  const AppState& state = m_context.state;
  m_bassGain->setAccessibleName(Caption(state, "低音增益", "Bass gain"));
  m_bassGainText->setAccessibleName(Caption(state, "低音增益 dB", "Bass gain dB"));
  m_trebleGain->setAccessibleName(Caption(state, "高音增益", "Treble gain"));
  m_trebleGainText->setAccessibleName(Caption(state, "高音增益 dB", "Treble gain dB"));
  if (m_subwooferTab) {
    m_bassFreq->setAccessibleName(Caption(state, "低通滤波频率", "Low-pass frequency"));
    m_bassFreqText->setAccessibleName(Caption(state, "低通滤波频率 Hz", "Low-pass frequency Hz"));
  } else {
    m_bassFreq->setAccessibleName(Caption(state, "低音折转频率", "Bass turnover frequency"));
    m_bassFreqText->setAccessibleName(Caption(state, "低音折转频率 Hz", "Bass turnover frequency Hz"));
  }
  m_trebleFreq->setAccessibleName(Caption(state, "高音折转频率", "Treble turnover frequency"));
  m_trebleFreqText->setAccessibleName(Caption(state, "高音折转频率 Hz", "Treble turnover frequency Hz"));
}

}  // namespace mzr
