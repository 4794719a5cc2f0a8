#include "ui/equalizer/SubwooferPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>

#include "core/AppState.h"
#include "dsp/FilterDesign.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/equalizer/PageControls.h"
#include "ui/UiContext.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

namespace mzr {
namespace {

constexpr int kLowPassRow = 112;
constexpr int kSlopeRow = 113;
constexpr int kMasterFlagLrToSw = 1;  // bit of masterFlags

// Control names per section k, as the unit's documents list them.
constexpr const char* kGainBars[] = {"TrackBar31", "TrackBar35"};
constexpr const char* kFreqBars[] = {"TrackBar33", "TrackBar37"};
constexpr const char* kQBars[] = {"TrackBar34", "TrackBar36"};
constexpr const char* kGainTexts[] = {"Edit34", "Edit35"};
constexpr const char* kFreqTexts[] = {"Edit32", "Edit37"};
constexpr const char* kQTexts[] = {"Edit33", "Edit36"};
constexpr int kFreqStart[] = {60, 80};
constexpr const char* kSlopeTexts[] = {"12dB/OCT", "24dB/OCT", "36dB/OCT", "48dB/OCT"};
constexpr const char* kGainScale[] = {"+3", "0", "-3", "-6", "-9", "-12"};

constexpr int kSectionWidth = 246;
constexpr int kGainBarTop = 26;
constexpr int kGainBarHeight = 136;

QString SectionName(int k) { return QStringLiteral("PEQ%1").arg(k + 1); }

}  // namespace

SubwooferPanel::SubwooferPanel(UiContext& context, ResponseGraphWidget& graph, QWidget* parent)
    : QWidget(parent), m_context(context), m_graph(graph) {
  setObjectName(QStringLiteral("Panel1"));
  SetSkinRole(this, SkinRole::PanelBackground);
  setAttribute(Qt::WA_StyledBackground, true);
  resize(kWidth, kHeight);

  for (int k = 0; k < kSections; ++k) {
    const auto i = static_cast<std::size_t>(k);
    auto* box = new QFrame(this);
    box->setObjectName(QStringLiteral("subSection%1").arg(k));
    SetSkinRole(box, SkinRole::SubSection);
    box->setGeometry(6 + (kSectionWidth + 6) * k, 4, kSectionWidth, kHeight - 8);
    QLabel* title = MakeCaption(box, SectionName(k), Qt::AlignLeft | Qt::AlignVCenter);
    SetSkinRole(title, SkinRole::SectionTitle);
    title->setGeometry(8, 3, 60, 16);

    // Gain column: caption, bar with its scale, text.
    MakeCaption(box, QStringLiteral("Cut:"), Qt::AlignCenter)->setGeometry(4, 22, 44, 14);
    m_gain[i] = MakeTrackBar(box, kGainBars[k], Qt::Vertical, slider::subPeqGain.minPosition,
                             slider::subPeqGain.maxPosition, slider::subPeqGain.constant);
    m_gain[i]->setGeometry(32, kGainBarTop + 12, 20, kGainBarHeight - 12);
    const int travel = kGainBarHeight - 12 - 12;
    for (int s = 0; s < 6; ++s) {
      QLabel* mark = MakeCaption(box, QString::fromLatin1(kGainScale[s]), Qt::AlignRight | Qt::AlignVCenter);
      SetSkinRole(mark, SkinRole::ScaleCaption);
      mark->setGeometry(4, kGainBarTop + 12 + 6 + s * travel / 5 - 6, 26, 12);
    }
    m_gainText[i] = MakeValueText(box, kGainTexts[k], QStringLiteral("0"));
    m_gainText[i]->setGeometry(12, kGainBarTop + kGainBarHeight + 2, 60, 16);

    // Frequency and Q rows.
    MakeCaption(box, QStringLiteral("fc:"), Qt::AlignRight | Qt::AlignVCenter)->setGeometry(78, 34, 24, 20);
    m_freq[i] = MakeTrackBar(box, kFreqBars[k], Qt::Horizontal, slider::subPeqFreq.minPosition,
                             slider::subPeqFreq.maxPosition, kFreqStart[k]);
    m_freq[i]->setGeometry(106, 34, 132, 20);
    m_freqText[i] = MakeValueText(box, kFreqTexts[k], ToText(FormatHz(kFreqStart[k])));
    m_freqText[i]->setGeometry(172, 58, 64, 16);

    MakeCaption(box, QStringLiteral("Q:"), Qt::AlignRight | Qt::AlignVCenter)->setGeometry(78, 100, 24, 20);
    m_q[i] = MakeTrackBar(box, kQBars[k], Qt::Horizontal, slider::subPeqQ.minPosition, slider::subPeqQ.maxPosition, 1);
    m_q[i]->setGeometry(106, 100, 132, 20);
    m_qText[i] = MakeValueText(box, kQTexts[k], ToText(FormatQ(1)));
    m_qText[i]->setGeometry(172, 124, 64, 16);

    connect(m_gain[i], &QSlider::valueChanged, this, [this, k](int position) { OnPeakGainMoved(k, position); });
    connect(m_freq[i], &QSlider::valueChanged, this, [this, k](int position) { OnPeakFreqMoved(k, position); });
    connect(m_q[i], &QSlider::valueChanged, this, [this, k](int position) { OnPeakQMoved(k, position); });
  }

  // The low-pass switch, its slope and LR->SW; the low-pass frequency bar is just right of it.
  const int x = 6 + 2 * (kSectionWidth + 6);
  const int w = kWidth - x - 2;
  m_lowPass = new QCheckBox(this);
  m_lowPass->setObjectName(QStringLiteral("suiCheckBox15"));
  SetSkinRole(m_lowPass, SkinRole::PageLamp);
  m_lowPass->setChecked(true);
  m_lowPass->setGeometry(x + 4, 6, w - 4, 20);
  m_slopeGroup = new QGroupBox(this);
  m_slopeGroup->setObjectName(QStringLiteral("suiRadioGroup4"));
  m_slopeGroup->setGeometry(x, 30, w, 122);
  m_slopeButtons = new QButtonGroup(this);
  for (int s = 0; s < kSlopes; ++s) {
    auto* item = new QRadioButton(QString::fromLatin1(kSlopeTexts[s]), m_slopeGroup);
    item->setObjectName(QStringLiteral("suiRadioGroup4Item%1").arg(s));
    SetSkinRole(item, SkinRole::PageLamp);
    item->setGeometry(10, 22 + 24 * s, w - 14, 20);
    m_slopeButtons->addButton(item, s);
    m_slopes[static_cast<std::size_t>(s)] = item;
  }
  m_slopes[1]->setChecked(true);
  m_lrToSw = new QCheckBox(QStringLiteral("LR->SW"), this);
  m_lrToSw->setObjectName(QStringLiteral("suiCheckBox29"));
  SetSkinRole(m_lrToSw, SkinRole::PageLamp);
  m_lrToSw->setChecked(true);
  m_lrToSw->setGeometry(x + 4, 162, w - 4, 20);

  // The switch and the slope are the user's only: a refresh sets them from the image and
  // has nothing to store.
  connect(m_lowPass, &QCheckBox::clicked, this, &SubwooferPanel::OnLowPassSlopeChanged);
  connect(m_slopeButtons, &QButtonGroup::idClicked, this, &SubwooferPanel::OnLowPassSlopeChanged);
  connect(m_lrToSw, &QCheckBox::toggled, this, &SubwooferPanel::OnLrToSubwooferToggled);
}

void SubwooferPanel::Refresh() {
  const ParameterImage& image = m_context.image;
  for (int k = 0; k < kSections; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const SubPeq peq = image.subPeq(k);
    m_gain[i]->setValue(slider::subPeqGain.ToPosition(peq.gain));
    m_freq[i]->setValue(peq.freq);
    m_q[i]->setValue(peq.qIndex);
    m_gainText[i]->setText(ToText(FormatTenthsDb(peq.gain)));
    m_freqText[i]->setText(ToText(FormatHz(peq.freq)));
    m_qText[i]->setText(ToText(FormatQ(peq.qIndex)));
  }
  const int slope = image.subLpfSlope();
  const int item = slope != 0 ? slope - 1 : 0;
  if (item < kSlopes) m_slopes[static_cast<std::size_t>(item)]->setChecked(true);
  m_lowPass->setChecked(slope != 0);
  m_lrToSw->setChecked((image.masterFlags() & Bit(kMasterFlagLrToSw)) != 0);
}

void SubwooferPanel::RedrawSections() {
  m_graph.DesignSection(m_context.image, kSubwooferChannel, 0, SectionKind::SubPeak);
  m_graph.DesignSection(m_context.image, kSubwooferChannel, 1, SectionKind::SubPeak);
  m_graph.DrawEqualizerGraph(kSubwooferChannel);
}

void SubwooferPanel::OnPeakGainMoved(int k, int position) {
  if (m_context.state.refreshing == 1) return;
  SubPeq peq = m_context.image.subPeq(k);
  peq.gain = static_cast<std::int8_t>(slider::subPeqGain.ToStored(position));
  m_context.edits.Apply(EditedField::subPeqFreqGain, k, [k, peq](ParameterImage& image) { image.setSubPeq(k, peq); });
  m_gainText[static_cast<std::size_t>(k)]->setText(ToText(FormatTenthsDb(peq.gain)));
  RedrawSections();
}

void SubwooferPanel::OnPeakFreqMoved(int k, int position) {
  if (m_context.state.refreshing == 1) return;
  SubPeq peq = m_context.image.subPeq(k);
  peq.freq = static_cast<std::uint16_t>(position);
  m_context.edits.Apply(EditedField::subPeqFreqGain, k, [k, peq](ParameterImage& image) { image.setSubPeq(k, peq); });
  m_freqText[static_cast<std::size_t>(k)]->setText(ToText(FormatHz(peq.freq)));
  RedrawSections();
}

void SubwooferPanel::OnPeakQMoved(int k, int position) {
  if (m_context.state.refreshing == 1) return;
  SubPeq peq = m_context.image.subPeq(k);
  peq.qIndex = static_cast<std::uint8_t>(position);
  m_context.edits.Apply(EditedField::subPeqQ, k, [k, peq](ParameterImage& image) { image.setSubPeq(k, peq); });
  m_qText[static_cast<std::size_t>(k)]->setText(ToText(FormatQ(peq.qIndex)));
  RedrawSections();
}

void SubwooferPanel::OnLowPassSlopeChanged() {
  // Switched off, the slope is 0 whatever item is selected.
  const int item = m_slopeButtons->checkedId();
  const int slope = m_lowPass->isChecked() && item >= 0 ? item + 1 : 0;
  EditPlan plan = m_context.workspace.intents().SetSubLowPassSlope(slope);
  if (m_context.state.refreshing == 1) {
    m_context.edits.Carry(EditIntents::Unsent(std::move(plan)));
    return;
  }
  m_context.edits.Carry(plan);
  m_graph.DesignSection(m_context.image, kSubwooferChannel, 0, SectionKind::SubPeak);
  m_graph.DesignSection(m_context.image, kSubwooferChannel, 1, SectionKind::SubPeak);
  for (int slot = kFirstLowPassSlot; slot <= kLastLowPassSlot; ++slot) {
    m_graph.DesignSection(m_context.image, kSubwooferChannel, slot, SectionKind::SubLowPass);
  }
  m_graph.DrawEqualizerGraph(kSubwooferChannel);
  m_context.state.refreshing = 0;
}

void SubwooferPanel::OnLrToSubwooferToggled(bool checked) {
  EditPlan plan = m_context.workspace.intents().SetLrToSubwoofer(checked);
  // The graph does not show the routing: nothing to redraw.
  if (m_context.state.refreshing == 0) {
    m_context.edits.Carry(plan);
  } else {
    m_context.edits.Carry(EditIntents::Unsent(std::move(plan)));
  }
}

void SubwooferPanel::Flatten() {
  for (QSlider* bar : m_gain) bar->setValue(slider::subPeqGain.constant);
}

void SubwooferPanel::ApplyLanguage() {
  const AppState& state = m_context.state;
  m_lowPass->setText(Caption(state, kLowPassRow));
  m_slopeGroup->setTitle(Caption(state, kSlopeRow));
  m_slopeGroup->setAccessibleName(Caption(state, kSlopeRow));
  for (int k = 0; k < kSections; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const QString name = SectionName(k) + QLatin1Char(' ');
    m_gain[i]->setAccessibleName(name + Caption(state, "增益", "gain"));
    m_gainText[i]->setAccessibleName(name + Caption(state, "增益 dB", "gain dB"));
    m_freq[i]->setAccessibleName(name + Caption(state, "频率", "frequency"));
    m_freqText[i]->setAccessibleName(name + Caption(state, "频率 Hz", "frequency Hz"));
    m_q[i]->setAccessibleName(name + Caption(state, "Q值", "Q"));
    m_qText[i]->setAccessibleName(name + Caption(state, "Q值", "Q value"));
  }
  m_lrToSw->setAccessibleName(Caption(state, "左右声道送往次低频 LR->SW", "LR->SW: left and right to the subwoofer"));
}

}  // namespace mzr
