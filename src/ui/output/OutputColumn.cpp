#include "ui/output/OutputColumn.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include <array>

#include "core/AppState.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

using Slots = std::array<int, OutputColumn::kSlots>;

// Control names per slot, in slot order.
constexpr Slots kLevelBarNumbers = {6, 7, 8, 9, 10, 13};       // suiTrackBarN
constexpr Slots kDelayBarNumbers = {38, 39, 40, 41, 42, 45};   // TrackBarN
constexpr Slots kLevelTextNumbers = {6, 7, 8, 9, 10, 13};      // StaticTextN
constexpr Slots kDelayTextNumbers = {60, 71, 73, 74, 75, 78};  // StaticTextN
constexpr Slots kPolarityNumbers = {14, 15, 16, 17, 18, 21};   // suiButtonN
constexpr Slots kMuteNumbers = {6, 7, 8, 9, 10, 13};           // suiButtonN
constexpr Slots kTestBoxNumbers = {6, 7, 8, 9, 10, 13};        // suiCheckBoxN

// The output's name as the channel tabs give it (left ... subwoofer), for screen readers.
constexpr Slots kOutputNameRows = {51, 52, 53, 54, 55, 58};

constexpr int kNormalRow = 46;
constexpr int kInvertRow = 47;
constexpr int kMuteRow = 48;

// Level: 0..60, 44 = 0 dB, 0.5 dB a step; the bar's position is 60 - level (top = +8 dB).
constexpr int kLevelMax = slider::outputLevel.maxPosition;
// Delay: 0..200 ms; the bar's position is 200 - delay (top = 200 ms).
constexpr int kDelayMax = slider::outputDelay.maxPosition;
// The bars run 0..max and store max - position, as their fields' scales say.
static_assert(slider::outputLevel == SliderScale{0, kLevelMax, kLevelMax, true});
static_assert(slider::outputDelay == SliderScale{0, kDelayMax, kDelayMax, true});

// Geometry in drawer pixels (the drawer's title bar included), as the drawer is drawn:
// columns at these x, each holding the bars and, under them, texts and buttons.
constexpr Slots kColumnX = {43, 149, 256, 360, 469, 574};
constexpr int kLevelBarTop = 59;
constexpr int kLevelBarWidth = 18;
constexpr int kLevelBarHeight = 205;
constexpr int kDelayBarOffset = 26;  // from the level bar's left edge
constexpr int kDelayBarWidth = 21;
constexpr int kDelayBarHeight = 209;
constexpr int kDelayBarTop = kLevelBarTop - (kDelayBarHeight - kLevelBarHeight) / 2;
constexpr int kBlockOffset = -18;  // texts and buttons start this far left of the level bar
constexpr int kTextWidth = 63;
constexpr int kTextHeight = 24;
constexpr int kLevelTextTop = 272;
constexpr int kDelayTextTop = 304;
constexpr int kButtonHeight = 27;
constexpr int kPolarityTop = 337;
constexpr int kMuteTop = 377;
constexpr int kTestBoxTop = 416;
constexpr int kTestBoxWidth = 69;
constexpr int kTestBoxHeight = 19;
constexpr int kUnitHeadTop = 41;

// The handle of a vertical bar is 14 pixels long (style sheet); a scale label sits at the
// handle's centre for its position.
constexpr int kHandleLength = 14;
constexpr int kTickLength = 4;

// Fixed scale of the level bars: text and the level it marks.
struct ScaleMark {
  const char* text;
  int level;
};
constexpr ScaleMark kLevelScale[] = {{"+8", 60}, {"0", 44}, {"-10.0", 24}, {"-22.0", 0}};

// Words for the screen reader.
QString LevelWord(const AppState& state) { return Caption(state, "电平", "level"); }
QString DelayWord(const AppState& state) { return Caption(state, "延时", "delay"); }

// Drawer pixels to the content's, which starts under the drawer's title bar.
QRect InContent(const QRect& drawerBounds) { return drawerBounds.translated(0, -SideChannel::kTitleHeight); }

int BarCentreY(int top, int height, int position, int maximum) {
  const int span = height - kHandleLength;
  return top + kHandleLength / 2 + (span * position + maximum / 2) / maximum;
}

QString Fixed(const char* text) { return QString::fromUtf8(text); }

QSlider* MakeBar(QWidget* parent, const QString& name, int maximum, int pageStep, int tickInterval) {
  auto* bar = new QSlider(Qt::Vertical, parent);
  bar->setObjectName(name);
  bar->setRange(0, maximum);
  bar->setPageStep(pageStep);
  bar->setSingleStep(1);
  bar->setTickInterval(tickInterval);
  bar->setTickPosition(QSlider::TicksRight);
  // Position 0 is at the top (the highest level, the longest delay), and
  // the arrow keys and the wheel move the handle the way it looks.
  bar->setInvertedAppearance(true);
  bar->setInvertedControls(true);
  return bar;
}

QLabel* MakeScaleLabel(QWidget* parent, const QString& text, const QRect& bounds, Qt::Alignment alignment) {
  auto* label = new QLabel(text, parent);
  SetSkinRole(label, SkinRole::OutputScale);
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setGeometry(InContent(bounds));
  return label;
}

QLabel* MakeValueText(QWidget* parent, int number, const QRect& bounds) {
  auto* text = new QLabel(parent);
  text->setObjectName(QStringLiteral("StaticText%1").arg(number));
  SetSkinRole(text, SkinRole::LcdText);
  text->setAlignment(Qt::AlignCenter);
  text->setGeometry(InContent(bounds));
  return text;
}

// Polarity and mute buttons are checkable so that their state, shown in red, is also told
// to screen readers; the handlers keep the check state equal to the image's bit.
QPushButton* MakeButton(QWidget* parent, const QString& text, int number, const QRect& bounds) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QStringLiteral("suiButton%1").arg(number));
  SetSkinRole(button, SkinRole::OutputKey);
  button->setCheckable(true);
  button->setFocusPolicy(Qt::TabFocus);
  button->setGeometry(InContent(bounds));
  return button;
}

}  // namespace

OutputColumn::OutputColumn(UiContext& context, int slot, QWidget* drawer) : m_context(context), m_slot(slot) {
  const auto s = static_cast<std::size_t>(slot);
  const int x = kColumnX[s];
  const int blockX = x + kBlockOffset;

  m_levelBar = MakeBar(drawer, QStringLiteral("suiTrackBar%1").arg(kLevelBarNumbers[s]), kLevelMax, 2, 2);
  m_levelBar->setGeometry(InContent(QRect(x, kLevelBarTop, kLevelBarWidth, kLevelBarHeight)));
  m_levelBar->setValue(kLevelMax - 44);

  const int delayX = x + kDelayBarOffset;
  m_delayBar = MakeBar(drawer, QStringLiteral("TrackBar%1").arg(kDelayBarNumbers[s]), kDelayMax, 1, 5);
  m_delayBar->setGeometry(InContent(QRect(delayX, kDelayBarTop, kDelayBarWidth, kDelayBarHeight)));
  m_delayBar->setValue(kDelayMax);

  for (const ScaleMark& mark : kLevelScale) {
    const int y = BarCentreY(kLevelBarTop, kLevelBarHeight, kLevelMax - mark.level, kLevelMax);
    MakeScaleLabel(drawer, Fixed(mark.text), QRect(x - 33, y - 7, 31, 14), Qt::AlignRight);
  }
  const int delayTopY = BarCentreY(kDelayBarTop, kDelayBarHeight, 0, kDelayMax);
  MakeScaleLabel(drawer, QStringLiteral("200"), QRect(delayX + kDelayBarWidth + kTickLength + 2, delayTopY - 7, 22, 14),
                 Qt::AlignLeft);
  MakeScaleLabel(drawer, QStringLiteral("dB"), QRect(x - 6, kUnitHeadTop, kLevelBarWidth + 12, 15), Qt::AlignHCenter);
  MakeScaleLabel(drawer, QStringLiteral("mS"), QRect(delayX - 5, kUnitHeadTop, kDelayBarWidth + 10, 15),
                 Qt::AlignHCenter);

  m_levelText = MakeValueText(drawer, kLevelTextNumbers[s], QRect(blockX, kLevelTextTop, kTextWidth, kTextHeight));
  m_delayText = MakeValueText(drawer, kDelayTextNumbers[s], QRect(blockX, kDelayTextTop, kTextWidth, kTextHeight));
  m_polarity = MakeButton(drawer, QString(), kPolarityNumbers[s], QRect(blockX, kPolarityTop, kTextWidth, kButtonHeight));
  m_mute = MakeButton(drawer, CaptionTable::Text(kMuteRow, 0), kMuteNumbers[s],
                      QRect(blockX, kMuteTop, kTextWidth, kButtonHeight));

  m_testBox = new QCheckBox(drawer);
  m_testBox->setObjectName(QStringLiteral("suiCheckBox%1").arg(kTestBoxNumbers[s]));
  SetSkinRole(m_testBox, SkinRole::OutputLamp);
  m_testBox->setGeometry(InContent(QRect(blockX, kTestBoxTop, kTestBoxWidth, kTestBoxHeight)));

  ShowLevel();
  ShowDelay();
  ShowPolarity(CaptionTable::Text(kNormalRow, 0), false);
}

int OutputColumn::CentreX(int slot) { return kColumnX[static_cast<std::size_t>(slot)] + kBlockOffset + kTextWidth / 2; }

std::uint8_t OutputColumn::LevelFromBar() const { return static_cast<std::uint8_t>(kLevelMax - m_levelBar->value()); }

std::uint8_t OutputColumn::DelayFromBar() const { return static_cast<std::uint8_t>(kDelayMax - m_delayBar->value()); }

void OutputColumn::Refresh() {
  const ParameterImage& image = m_context.image;
  // Out-of-range values are clamped by the bar; the text shows the stored value.
  m_levelBar->setValue(kLevelMax - image.outputLevel(m_slot));
  ShowLevel();
  m_delayBar->setValue(kDelayMax - image.outputDelay(m_slot));
  ShowDelay();
  // The refresh writes these two fixed captions whatever the language; a click or the
  // next language change puts the table's captions back.
  const bool inverted = (image.polarityMask() & Bit(m_slot)) != 0;
  ShowPolarity(inverted ? QStringLiteral("反 相") : QStringLiteral("正 相"), inverted);
  ShowMute();
}

void OutputColumn::ApplyLanguage() {
  ShowPolarity();
  m_mute->setText(Caption(m_context.state, kMuteRow));
}

void OutputColumn::ShowLevel() {
  m_levelText->setText(QString::fromStdString(FormatOutputLevelDb(m_context.image.outputLevel(m_slot))));
  NameValues();
}

void OutputColumn::ShowDelay() {
  m_delayText->setText(QString::fromStdString(FormatDelayMs(m_context.image.outputDelay(m_slot))));
  NameValues();
}

void OutputColumn::ShowPolarity() {
  const bool inverted = (m_context.image.polarityMask() & Bit(m_slot)) != 0;
  ShowPolarity(Caption(m_context.state, inverted ? kInvertRow : kNormalRow), inverted);
}

void OutputColumn::ShowPolarity(const QString& caption, bool inverted) {
  m_polarity->setText(caption);
  m_polarity->setChecked(inverted);
  Skin::SetAlert(m_polarity, inverted);
  m_polarity->setAccessibleName(OutputName() + QLatin1Char(' ') + caption);
}

void OutputColumn::ShowMute() {
  const bool muted = (m_context.image.muteMask() & Bit(m_slot)) != 0;
  m_mute->setChecked(muted);
  Skin::SetAlert(m_mute, muted);
}

void OutputColumn::ApplyAccessibleNames() {
  const QString output = OutputName() + QLatin1Char(' ');
  m_levelBar->setAccessibleName(output + LevelWord(m_context.state));
  m_delayBar->setAccessibleName(output + DelayWord(m_context.state));
  m_mute->setAccessibleName(output + m_mute->text().trimmed());
  m_polarity->setAccessibleName(output + m_polarity->text());
  m_testBox->setAccessibleName(output + m_testBox->text());
  NameValues();
}

void OutputColumn::NameValues() {
  // A label's accessible name replaces its text for a screen reader, so the name carries
  // the value; the bars tell their value in dB and ms instead of their inverted position.
  const QString output = OutputName() + QLatin1Char(' ');
  const QString level = m_levelText->text();
  const QString delay = m_delayText->text();
  m_levelText->setAccessibleName(output + LevelWord(m_context.state) + QLatin1Char(' ') + level);
  m_levelBar->setAccessibleDescription(level);
  m_delayText->setAccessibleName(output + DelayWord(m_context.state) + QLatin1Char(' ') + delay);
  m_delayBar->setAccessibleDescription(delay);
}

void OutputColumn::PaintTicks(QPainter& painter) const {
  for (const QSlider* bar : {m_levelBar, m_delayBar}) {
    const QRect r = bar->geometry();
    const int x = r.right() + 2;
    for (int position = bar->minimum(); position <= bar->maximum(); position += bar->tickInterval()) {
      const int y = BarCentreY(r.top(), r.height(), position - bar->minimum(), bar->maximum() - bar->minimum());
      painter.drawLine(x, y, x + kTickLength - 1, y);
    }
  }
}

QString OutputColumn::OutputName() const {
  return Caption(m_context.state, kOutputNameRows[static_cast<std::size_t>(m_slot)]).trimmed();
}

}  // namespace mzr
