#include "ui/input/InputDrawer.h"

#include <QCheckBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/window/SideChannel.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kPresetRow = 33;
constexpr int kInputNameRow = 34;  // rows 34..38, one per input
constexpr int kCenterRow = 42;
constexpr int kSurroundRow = 43;

// The boxes' tops in the drawer (whose title bar sits above this widget), in input order.
constexpr int kBoxTops[InputDrawer::kInputCount] = {28, 128, 229, 330, 431};
constexpr int kBoxLeft = 9;
constexpr int kBoxWidth = 278;
constexpr int kBoxHeight = 92;

const char* const kNameLabels[InputDrawer::kInputCount] = {"StaticText42", "StaticText41", "StaticText44",
                                                           "StaticText46", "StaticText48"};

const QString kScaleText =
    QStringLiteral("0         1.0      2.0      3.0     4.0      5.0      6.0      7.0      8.0      9.0      10.0");
const QString kPrologicCaption = QStringLiteral("PROLOGIC II");

constexpr std::uint8_t MaskBit(int i) { return static_cast<std::uint8_t>(1u << i); }

std::uint8_t WithBit(std::uint8_t mask, int i, bool on) {
  return on ? static_cast<std::uint8_t>(mask | MaskBit(i)) : static_cast<std::uint8_t>(mask & ~MaskBit(i));
}

QString LevelText(int level) { return QString::fromStdString(FormatFader(level)); }

// The fixed scale text under a preset bar, spaced so that its "0" sits under the bar's
// lowest position and its "10.0" under the highest: the handle's centre travels from half a
// handle in from each end of the groove.
void FitScaleUnder(QLabel* scale, const QRect& bar) {
  constexpr int kHandleWidth = 12;  // the skin's slider handle
  QFont font = scale->font();
  font.setPixelSize(9);
  const QFontMetricsF natural(font);
  const qreal zero = natural.horizontalAdvance(QStringLiteral("0"));
  const qreal ten = natural.horizontalAdvance(QStringLiteral("10.0"));
  const qreal travel = bar.width() - kHandleWidth;
  const qreal centres = natural.horizontalAdvance(kScaleText) - zero / 2 - ten / 2;
  font.setLetterSpacing(QFont::AbsoluteSpacing, (travel - centres) / (kScaleText.size() - 1));
  scale->setFont(font);
  const int left = bar.left() + kHandleWidth / 2 - static_cast<int>(zero / 2);
  scale->setGeometry(left, bar.bottom() + 1, static_cast<int>(travel + zero / 2 + ten / 2) + 4, 13);
}

}  // namespace

InputDrawer::InputDrawer(UiContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("inputDrawerContent"));
  for (int i = 0; i < kInputCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    auto* box = new QFrame(this);
    box->setObjectName(QStringLiteral("inputBox%1").arg(i + 1));
    SetSkinRole(box, SkinRole::InputBox);
    box->setFrameShape(QFrame::StyledPanel);
    box->setGeometry(kBoxLeft, kBoxTops[i] - SideChannel::kTitleHeight, kBoxWidth, kBoxHeight);
    m_boxes[at] = box;

    auto* name = new QLabel(box);
    name->setObjectName(QString::fromLatin1(kNameLabels[i]));
    SetSkinRole(name, SkinRole::HeadCaption);
    name->setGeometry(10, 5, 200, 18);
    m_names[at] = name;

    auto* value = new QLabel(box);
    value->setObjectName(QStringLiteral("StaticText%1").arg(i + 1));
    SetSkinRole(value, SkinRole::LcdText);
    value->setAlignment(Qt::AlignCenter);
    value->setGeometry(226, 5, 40, 18);
    m_levelTexts[at] = value;

    auto* bar = new QSlider(Qt::Horizontal, box);
    bar->setObjectName(QStringLiteral("suiTrackBar%1").arg(i + 1));
    bar->setProperty("Tag", i);
    bar->setRange(slider::presetLevel.minPosition, slider::presetLevel.maxPosition);
    bar->setPageStep(2);
    bar->setSingleStep(1);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(5);
    bar->setGeometry(14, 26, 249, 20);
    // Also raised by the refresh, which runs under refreshing 1 and is then ignored.
    connect(bar, &QSlider::valueChanged, this, [this, i](int position) { OnPresetLevelMoved(i, position); });
    m_levelBars[at] = bar;

    auto* scale = new QLabel(kScaleText, box);
    scale->setObjectName(QStringLiteral("presetScale%1").arg(i + 1));
    SetSkinRole(scale, SkinRole::ScaleText);
    FitScaleUnder(scale, bar->geometry());

    auto* preset = new QCheckBox(box);
    preset->setObjectName(QStringLiteral("suiCheckBox%1").arg(i + 1));
    SetSkinRole(preset, SkinRole::InputLamp);
    preset->setProperty("Tag", i);
    preset->setGeometry(12, 64, 110, 22);
    // toggled, not clicked: a refresh that changes the box stores (and sends) the image's bit.
    connect(preset, &QCheckBox::toggled, this, [this, i] { OnPresetBoxToggled(i); });
    m_presetBoxes[at] = preset;
  }

  for (int i = 0; i < kPrologicInputs; ++i) {
    auto* prologic = new QCheckBox(kPrologicCaption, m_boxes[static_cast<std::size_t>(i)]);
    prologic->setObjectName(QStringLiteral("suiCheckBox%1").arg(30 + i));
    SetSkinRole(prologic, SkinRole::InputLamp);
    prologic->setProperty("Tag", i);
    prologic->setGeometry(140, 64, 128, 22);
    connect(prologic, &QCheckBox::toggled, this, [this, i] { OnPrologicBoxToggled(i); });
    m_prologicBoxes[static_cast<std::size_t>(i)] = prologic;
  }

  // Two check items in two columns.
  m_micRouting = new QWidget(m_boxes[kMicInput]);
  m_micRouting->setObjectName(QStringLiteral("suiCheckGroup1"));
  m_micRouting->setGeometry(124, 64, 148, 22);
  auto* columns = new QHBoxLayout(m_micRouting);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(4);
  for (int item = 0; item < 2; ++item) {
    auto* check = new QCheckBox(m_micRouting);
    check->setObjectName(QStringLiteral("suiCheckGroup1Item%1").arg(item));
    SetSkinRole(check, SkinRole::InputLamp);
    check->setProperty("Tag", item);
    columns->addWidget(check, 1);
    connect(check, &QCheckBox::toggled, this, &InputDrawer::OnMicRouteToggled);
    m_micRouteItems[static_cast<std::size_t>(item)] = check;
  }
}

void InputDrawer::RefreshPresetSection() {
  const ParameterImage& image = m_context.image;
  for (int i = 0; i < kInputCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const int level = image.presetLevel(i);
    m_levelTexts[at]->setText(LevelText(level));
    m_levelBars[at]->setValue(level);
    m_presetBoxes[at]->setChecked((image.presetEnableMask() & MaskBit(i)) != 0);
  }
  for (int i = 0; i < kPrologicInputs; ++i)
    m_prologicBoxes[static_cast<std::size_t>(i)]->setChecked((image.prologicMask() & MaskBit(i)) != 0);
  const std::uint8_t route = image.micRouteFlags();
  m_micRouteItems[0]->setChecked((route & MaskBit(0)) != 0);
  m_micRouteItems[1]->setChecked((route & MaskBit(1)) != 0);
}

void InputDrawer::ApplyLanguage() {
  const AppState& state = m_context.state;
  for (int i = 0; i < kInputCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const QString name = Caption(state, kInputNameRow + i);
    m_names[at]->setText(name);
    m_presetBoxes[at]->setText(Caption(state, kPresetRow));
    // What a screen reader speaks: the input's name with what the control sets.
    m_levelBars[at]->setAccessibleName(name + Caption(state, " 预设电平", " preset level"));
    m_levelTexts[at]->setAccessibleName(name + Caption(state, " 预设电平数值", " preset level value"));
    m_presetBoxes[at]->setAccessibleName(name + QLatin1Char(' ') + Caption(state, kPresetRow));
    m_boxes[at]->setAccessibleName(name);
  }
  for (int i = 0; i < kPrologicInputs; ++i)
    m_prologicBoxes[static_cast<std::size_t>(i)]->setAccessibleName(Caption(state, kInputNameRow + i) +
                                                                    QLatin1Char(' ') + kPrologicCaption);
  const QString mic = Caption(state, kInputNameRow + kMicInput);
  const int rows[2] = {kCenterRow, kSurroundRow};
  for (int item = 0; item < 2; ++item) {
    QCheckBox* check = m_micRouteItems[static_cast<std::size_t>(item)];
    check->setText(Caption(state, rows[item]));
    check->setAccessibleName(mic + QLatin1Char(' ') + Caption(state, rows[item]));
  }
  m_micRouting->setAccessibleName(mic + Caption(state, " 输出分配", " routing"));
}

void InputDrawer::OnPresetLevelMoved(int input, int position) {
  if (m_context.state.refreshing == 1) return;
  m_levelTexts[static_cast<std::size_t>(input)]->setText(LevelText(position));
  m_context.edits.Apply(EditedField::presetLevel, 0, [input, position](ParameterImage& image) {
    image.setPresetLevel(input, static_cast<std::uint8_t>(position));
  });
}

void InputDrawer::OnPresetBoxToggled(int input) {
  const bool on = m_presetBoxes[static_cast<std::size_t>(input)]->isChecked();
  m_context.edits.Apply(EditedField::presetEnableMask, 0, [input, on](ParameterImage& image) {
    image.setPresetEnableMask(WithBit(image.presetEnableMask(), input, on));
  });
}

void InputDrawer::OnPrologicBoxToggled(int input) {
  const bool on = m_prologicBoxes[static_cast<std::size_t>(input)]->isChecked();
  m_context.edits.Apply(EditedField::prologicMask, 0, [input, on](ParameterImage& image) {
    image.setPrologicMask(WithBit(image.prologicMask(), input, on));
  });
}

void InputDrawer::OnMicRouteToggled() {
  ParameterImage& image = m_context.image;
  // While a test signal plays only the mark on screen changes; the next refresh puts it
  // back as the image has it.
  if (image.testSignalMask() != 0 || m_context.state.refreshing == 1) return;
  std::uint8_t route = image.micRouteFlags();
  route = WithBit(route, 0, m_micRouteItems[0]->isChecked());
  route = WithBit(route, 1, m_micRouteItems[1]->isChecked());
  m_context.edits.Apply(EditedField::micRouteFlags, 0, [route](ParameterImage& target) { target.setMicRouteFlags(route); });
}

}  // namespace mzr
