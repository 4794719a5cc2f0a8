#include "ui/output/OutputDrawer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/output/ColumnHeadLabel.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

using Slots = std::array<int, OutputDrawer::kSlots>;

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

constexpr int kHeadRow = 45;
constexpr int kNormalRow = 46;
constexpr int kInvertRow = 47;
constexpr int kMuteRow = 48;
constexpr int kPinkRow = 49;
constexpr int kGeneratorRow = 50;

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
constexpr int kHeadsTop = 25;
constexpr int kUnitHeadTop = 41;
const QRect kGeneratorBounds(30, 449, 611, 41);

// The handle of a vertical bar is 14 pixels long (style sheet); a scale label sits at the
// handle's centre for its position.
constexpr int kHandleLength = 14;
// Tick marks right of each bar, drawn by the drawer (a styled bar draws none itself).
constexpr int kTickLength = 4;

// Fixed scale of the level bars: text and the level it marks.
struct ScaleMark {
  const char* text;
  int level;
};
constexpr ScaleMark kLevelScale[] = {{"+8", 60}, {"0", 44}, {"-10.0", 24}, {"-22.0", 0}};

const char* const kGeneratorFrequencies[] = {"120Hz", "500Hz", "1KHz", "5KHz", "10KHz"};

// Words for the screen reader, in Chinese and English.
const char* const kLevelWord[] = {"电平", "level"};
const char* const kDelayWord[] = {"延时", "delay"};

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
  label->setProperty("outputScale", true);
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setGeometry(InContent(bounds));
  return label;
}

}  // namespace

OutputDrawer::OutputDrawer(UiContext& context, QCheckBox* channelTestBox, QWidget* parent)
    : QWidget(parent), m_context(context), m_channelTestBox(channelTestBox) {
  setObjectName(QStringLiteral("outputDrawerContent"));

  QList<int> centres;
  for (int x : kColumnX) centres << x + kBlockOffset + kTextWidth / 2;
  m_columnHeads = new ColumnHeadLabel(centres, this);
  m_columnHeads->setObjectName(QStringLiteral("StaticText21"));
  m_columnHeads->setProperty("columnHeads", true);
  m_columnHeads->setGeometry(InContent(QRect(0, kHeadsTop, 650, 16)));
  m_columnHeads->setText(CaptionTable::Text(kHeadRow, 0));

  for (int slot = 0; slot < kSlots; ++slot) BuildColumn(slot);
  BuildGenerator();

  if (m_channelTestBox != nullptr) {
    // Toggled, not clicked: the link resets uncheck it from program code and must run it.
    connect(m_channelTestBox, &QCheckBox::toggled, this, &OutputDrawer::suiCheckBox14Click);
  }
  ShowGeneratorName(CaptionTable::GeneratorName(0, 0));
  ApplyAccessibleNames();
}

void OutputDrawer::BuildColumn(int slot) {
  const auto s = static_cast<std::size_t>(slot);
  const int x = kColumnX[s];
  const int blockX = x + kBlockOffset;

  QSlider* level = MakeBar(this, QStringLiteral("suiTrackBar%1").arg(kLevelBarNumbers[s]), kLevelMax, 2, 2);
  level->setGeometry(InContent(QRect(x, kLevelBarTop, kLevelBarWidth, kLevelBarHeight)));
  level->setValue(kLevelMax - 44);
  m_levelBars[s] = level;

  const int delayX = x + kDelayBarOffset;
  QSlider* delay = MakeBar(this, QStringLiteral("TrackBar%1").arg(kDelayBarNumbers[s]), kDelayMax, 1, 5);
  delay->setGeometry(InContent(QRect(delayX, kDelayBarTop, kDelayBarWidth, kDelayBarHeight)));
  delay->setValue(kDelayMax);
  m_delayBars[s] = delay;

  for (const ScaleMark& mark : kLevelScale) {
    const int y = BarCentreY(kLevelBarTop, kLevelBarHeight, kLevelMax - mark.level, kLevelMax);
    MakeScaleLabel(this, Fixed(mark.text), QRect(x - 33, y - 7, 31, 14), Qt::AlignRight);
  }
  const int delayTopY = BarCentreY(kDelayBarTop, kDelayBarHeight, 0, kDelayMax);
  MakeScaleLabel(this, QStringLiteral("200"), QRect(delayX + kDelayBarWidth + kTickLength + 2, delayTopY - 7, 22, 14),
                 Qt::AlignLeft);
  MakeScaleLabel(this, QStringLiteral("dB"), QRect(x - 6, kUnitHeadTop, kLevelBarWidth + 12, 15), Qt::AlignHCenter)
      ->setProperty("unitHead", true);
  MakeScaleLabel(this, QStringLiteral("mS"), QRect(delayX - 5, kUnitHeadTop, kDelayBarWidth + 10, 15),
                 Qt::AlignHCenter)
      ->setProperty("unitHead", true);

  auto* levelText = new QLabel(this);
  levelText->setObjectName(QStringLiteral("StaticText%1").arg(kLevelTextNumbers[s]));
  levelText->setProperty("valueText", true);
  levelText->setAlignment(Qt::AlignCenter);
  levelText->setGeometry(InContent(QRect(blockX, kLevelTextTop, kTextWidth, kTextHeight)));
  m_levelTexts[s] = levelText;

  auto* delayText = new QLabel(this);
  delayText->setObjectName(QStringLiteral("StaticText%1").arg(kDelayTextNumbers[s]));
  delayText->setProperty("valueText", true);
  delayText->setAlignment(Qt::AlignCenter);
  delayText->setGeometry(InContent(QRect(blockX, kDelayTextTop, kTextWidth, kTextHeight)));
  m_delayTexts[s] = delayText;

  // Polarity and mute buttons are checkable so that their state, shown in red, is also
  // told to screen readers; the handlers keep the check state equal to the image's bit.
  auto* polarity = new QPushButton(this);
  polarity->setObjectName(QStringLiteral("suiButton%1").arg(kPolarityNumbers[s]));
  polarity->setProperty("outputButton", true);
  polarity->setCheckable(true);
  polarity->setFocusPolicy(Qt::TabFocus);
  polarity->setGeometry(InContent(QRect(blockX, kPolarityTop, kTextWidth, kButtonHeight)));
  m_polarityButtons[s] = polarity;

  auto* mute = new QPushButton(CaptionTable::Text(kMuteRow, 0), this);
  mute->setObjectName(QStringLiteral("suiButton%1").arg(kMuteNumbers[s]));
  mute->setProperty("outputButton", true);
  mute->setCheckable(true);
  mute->setFocusPolicy(Qt::TabFocus);
  mute->setGeometry(InContent(QRect(blockX, kMuteTop, kTextWidth, kButtonHeight)));
  m_muteButtons[s] = mute;

  auto* box = new QCheckBox(this);
  box->setObjectName(QStringLiteral("suiCheckBox%1").arg(kTestBoxNumbers[s]));
  box->setGeometry(InContent(QRect(blockX, kTestBoxTop, kTestBoxWidth, kTestBoxHeight)));
  m_testBoxes[s] = box;

  ShowLevel(slot);
  ShowDelay(slot);
  ShowPolarity(slot, CaptionTable::Text(kNormalRow, 0), false);

  connect(level, &QSlider::valueChanged, this, [this, slot] { suiTrackBar6Change(slot); });
  connect(delay, &QSlider::valueChanged, this, [this, slot] { TrackBar38Change(slot); });
  connect(polarity, &QPushButton::clicked, this, [this, slot] { suiButton14Click(slot); });
  connect(mute, &QPushButton::clicked, this, [this, slot] { suiButton6Click(slot); });
  // Toggled: the link resets uncheck the boxes from program code and must run the handler.
  connect(box, &QCheckBox::toggled, this, [this, slot] { suiCheckBox6Click(slot); });
}

void OutputDrawer::BuildGenerator() {
  m_generator = new QGroupBox(CaptionTable::Text(kGeneratorRow, 0), this);
  m_generator->setObjectName(QStringLiteral("suiRadioGroup3"));
  m_generator->setGeometry(InContent(kGeneratorBounds));
  m_generatorGroup = new QButtonGroup(m_generator);
  m_generatorGroup->setExclusive(true);
  auto* row = new QHBoxLayout(m_generator);
  row->setContentsMargins(10, 4, 4, 0);
  row->setSpacing(0);
  for (int item = 0; item < kGeneratorItems; ++item) {
    const QString text = item == 0 ? CaptionTable::Text(kPinkRow, 0) : Fixed(kGeneratorFrequencies[item - 1]);
    auto* button = new QRadioButton(text, m_generator);
    button->setObjectName(QStringLiteral("suiRadioGroup3Item%1").arg(item));
    m_generatorGroup->addButton(button, item);
    row->addWidget(button, 1);
    m_generatorItems[static_cast<std::size_t>(item)] = button;
  }
  m_generatorItems[0]->setChecked(true);
  // Runs when the selection changes, by the user or by a link reset, as a radio group's
  // click event does; choosing the item already selected changes nothing.
  connect(m_generatorGroup, &QButtonGroup::idToggled, this, [this](int item, bool checked) {
    if (checked) suiRadioGroup3Click(item);
  });
}

void OutputDrawer::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setPen(QColor(0x4a, 0x55, 0x61));
  const auto ticks = [&painter](const QSlider* bar) {
    const QRect r = bar->geometry();
    const int x = r.right() + 2;
    for (int position = bar->minimum(); position <= bar->maximum(); position += bar->tickInterval()) {
      const int y = BarCentreY(r.top(), r.height(), position - bar->minimum(), bar->maximum() - bar->minimum());
      painter.drawLine(x, y, x + kTickLength - 1, y);
    }
  };
  for (const QSlider* bar : m_levelBars) ticks(bar);
  for (const QSlider* bar : m_delayBars) ticks(bar);
}

// ---- Handlers -------------------------------------------------------------------------

void OutputDrawer::suiTrackBar6Change(int slot) {
  if (m_context.state.refreshing == 1) return;
  const auto s = static_cast<std::size_t>(slot);
  const auto level = static_cast<std::uint8_t>(kLevelMax - m_levelBars[s]->value());
  m_context.edits.Apply(EditedField::outputLevel, slot,
                        [slot, level](ParameterImage& image) { image.setOutputLevel(slot, level); });
  ShowLevel(slot);
}

void OutputDrawer::TrackBar38Change(int slot) {
  if (m_context.state.refreshing == 1) return;
  const auto s = static_cast<std::size_t>(slot);
  const auto delay = static_cast<std::uint8_t>(kDelayMax - m_delayBars[s]->value());
  m_context.edits.Apply(EditedField::outputDelay, slot,
                        [slot, delay](ParameterImage& image) { image.setOutputDelay(slot, delay); });
  ShowDelay(slot);
}

void OutputDrawer::suiButton14Click(int slot) {
  m_context.edits.Apply(EditedField::polarityMask, 0, [slot](ParameterImage& image) {
    image.setPolarityMask(static_cast<std::uint8_t>(image.polarityMask() ^ Bit(slot)));
  });
  const bool inverted = (m_context.image.polarityMask() & Bit(slot)) != 0;
  ShowPolarity(slot, Caption(m_context.state, inverted ? kInvertRow : kNormalRow), inverted);
}

void OutputDrawer::suiButton6Click(int slot) {
  m_context.edits.Apply(EditedField::muteMask, 0, [slot](ParameterImage& image) {
    image.setMuteMask(static_cast<std::uint8_t>(image.muteMask() ^ Bit(slot)));
  });
  ShowMute(slot);
}

void OutputDrawer::suiRadioGroup3Click(int item) {
  m_context.edits.Apply(EditedField::testSignal, 0,
                        [item](ParameterImage& image) { image.setTestSignalType(static_cast<std::uint8_t>(item)); });
  ShowGeneratorName(CaptionTable::GeneratorName(m_context.state.languageIndex, item));
}

void OutputDrawer::suiCheckBox6Click(int slot) {
  AppState& state = m_context.state;
  if (state.refreshing == 1) return;
  const RefreshingScope refreshing(state);
  const auto s = static_cast<std::size_t>(slot);
  const bool checked = m_testBoxes[s]->isChecked();
  if (checked) {
    for (int other = 0; other < kSlots; ++other) {
      if (other != slot) m_testBoxes[static_cast<std::size_t>(other)]->setChecked(false);
    }
  }
  m_context.edits.Apply(EditedField::testSignal, 0, [slot, checked, type = ShownGeneratorType()](ParameterImage& image) {
    image.setTestSignalMask(checked ? Bit(slot) : 0);
    image.setTestSignalType(type);
  });
  if (m_channelTestBox != nullptr) {
    const int tab = state.selectedChannel;
    m_channelTestBox->setChecked(tab >= 0 && tab < 8 && (m_context.image.testSignalMask() & Bit(tab)) != 0);
  }
}

void OutputDrawer::suiCheckBox14Click() {
  AppState& state = m_context.state;
  if (state.refreshing == 1 || m_channelTestBox == nullptr) return;
  const RefreshingScope refreshing(state);
  const int tab = state.selectedChannel;
  const bool checked = m_channelTestBox->isChecked();
  // On the monitor tab the box has no output of its own among the six (the monitor panel
  // covers it there); the image still takes the tab's bit, as the unit reads it.
  const std::uint8_t mask = checked && tab >= 0 && tab < 8 ? Bit(tab) : 0;
  for (int slot = 0; slot < kSlots; ++slot) {
    m_testBoxes[static_cast<std::size_t>(slot)]->setChecked(slot == tab && checked);
  }
  m_context.edits.Apply(EditedField::testSignal, 0, [mask, type = ShownGeneratorType()](ParameterImage& image) {
    image.setTestSignalMask(mask);
    image.setTestSignalType(type);
  });
}

std::uint8_t OutputDrawer::ShownGeneratorType() const {
  // A search or a connect leaves the group on pink noise while the image may keep the unit's
  // type; the box plays what the group shows, so that type goes with the mask.
  return static_cast<std::uint8_t>(std::max(0, m_generatorGroup->checkedId()));
}

// ---- Refresh, language, resets ----------------------------------------------------------

void OutputDrawer::RefreshOutputSection() {
  m_context.state.refreshing = 1;
  const ParameterImage& image = m_context.image;
  for (int slot = 0; slot < kSlots; ++slot) {
    const auto s = static_cast<std::size_t>(slot);
    // Out-of-range values are clamped by the bar; the text shows the stored value.
    m_levelBars[s]->setValue(kLevelMax - image.outputLevel(slot));
    ShowLevel(slot);
    m_delayBars[s]->setValue(kDelayMax - image.outputDelay(slot));
    ShowDelay(slot);
    // The refresh writes these two fixed captions whatever the language; a click or the
    // next language change puts the table's captions back.
    const bool inverted = (image.polarityMask() & Bit(slot)) != 0;
    ShowPolarity(slot, inverted ? QStringLiteral("反 相") : QStringLiteral("正 相"), inverted);
    ShowMute(slot);
  }
}

void OutputDrawer::ApplyLanguage() {
  const AppState& state = m_context.state;
  const ParameterImage& image = m_context.image;
  m_columnHeads->setText(Caption(state, kHeadRow));
  for (int slot = 0; slot < kSlots; ++slot) {
    const bool inverted = (image.polarityMask() & Bit(slot)) != 0;
    ShowPolarity(slot, Caption(state, inverted ? kInvertRow : kNormalRow), inverted);
    m_muteButtons[static_cast<std::size_t>(slot)]->setText(Caption(state, kMuteRow));
  }
  // Only the six output boxes: suiCheckBox14 takes its own caption with the channel page.
  const QString name = CaptionTable::GeneratorName(state.languageIndex, image.testSignalType());
  for (QCheckBox* box : m_testBoxes) box->setText(name);
  m_generatorItems[0]->setText(Caption(state, kPinkRow));
  m_generator->setTitle(Caption(state, kGeneratorRow));
  ApplyAccessibleNames();
}

void OutputDrawer::ResetTestSignal() {
  // Each control that changes runs its handler: the generator stores type 0 and each box
  // that was checked brings testSignalMask to 0; what they send goes out only while
  // connected.
  m_generatorItems[0]->setChecked(true);
  for (QCheckBox* box : m_testBoxes) box->setChecked(false);
  if (m_channelTestBox != nullptr) m_channelTestBox->setChecked(false);
}

void OutputDrawer::ShowTestSignal() {
  const ParameterImage& image = m_context.image;
  const int type = image.testSignalType();
  if (type >= 0 && type < kGeneratorItems) {
    // The group's handler stores and sends whatever the refreshing flag says; here the image
    // already holds the type, so only the display follows.
    const QSignalBlocker quiet(m_generatorGroup);
    m_generatorItems[static_cast<std::size_t>(type)]->setChecked(true);
    ShowGeneratorName(CaptionTable::GeneratorName(m_context.state.languageIndex, type));
  }
  for (int slot = 0; slot < kSlots; ++slot) {
    m_testBoxes[static_cast<std::size_t>(slot)]->setChecked((image.testSignalMask() & Bit(slot)) != 0);
  }
  if (m_channelTestBox != nullptr) {
    const int tab = m_context.state.selectedChannel;
    m_channelTestBox->setChecked(tab >= 0 && tab < 8 && (image.testSignalMask() & Bit(tab)) != 0);
  }
}

// ---- Display ------------------------------------------------------------------------------

void OutputDrawer::ShowLevel(int slot) {
  m_levelTexts[static_cast<std::size_t>(slot)]->setText(
      QString::fromStdString(FormatOutputLevelDb(m_context.image.outputLevel(slot))));
  NameValues(slot);
}

void OutputDrawer::ShowDelay(int slot) {
  m_delayTexts[static_cast<std::size_t>(slot)]->setText(
      QString::fromStdString(FormatDelayMs(m_context.image.outputDelay(slot))));
  NameValues(slot);
}

void OutputDrawer::NameValues(int slot) {
  // A label's accessible name replaces its text for a screen reader, so the name carries
  // the value; the bars tell their value in dB and ms instead of their inverted position.
  const auto s = static_cast<std::size_t>(slot);
  const int language = m_context.state.languageIndex;
  const QString output = OutputName(slot) + QLatin1Char(' ');
  const QString level = m_levelTexts[s]->text();
  const QString delay = m_delayTexts[s]->text();
  m_levelTexts[s]->setAccessibleName(output + Fixed(kLevelWord[language]) + QLatin1Char(' ') + level);
  m_levelBars[s]->setAccessibleDescription(level);
  m_delayTexts[s]->setAccessibleName(output + Fixed(kDelayWord[language]) + QLatin1Char(' ') + delay);
  m_delayBars[s]->setAccessibleDescription(delay);
}

void OutputDrawer::ShowPolarity(int slot, const QString& caption, bool inverted) {
  QPushButton* button = m_polarityButtons[static_cast<std::size_t>(slot)];
  button->setText(caption);
  button->setChecked(inverted);
  Skin::SetAlert(button, inverted);
  button->setAccessibleName(OutputName(slot) + QLatin1Char(' ') + caption);
}

void OutputDrawer::ShowMute(int slot) {
  QPushButton* button = m_muteButtons[static_cast<std::size_t>(slot)];
  const bool muted = (m_context.image.muteMask() & Bit(slot)) != 0;
  button->setChecked(muted);
  Skin::SetAlert(button, muted);
}

void OutputDrawer::ShowGeneratorName(const QString& name) {
  for (QCheckBox* box : m_testBoxes) box->setText(name);
  if (m_channelTestBox != nullptr) m_channelTestBox->setText(name);
  ApplyAccessibleNames();
}

void OutputDrawer::ApplyAccessibleNames() {
  const int language = m_context.state.languageIndex;
  for (int slot = 0; slot < kSlots; ++slot) {
    const auto s = static_cast<std::size_t>(slot);
    const QString output = OutputName(slot) + QLatin1Char(' ');
    m_levelBars[s]->setAccessibleName(output + Fixed(kLevelWord[language]));
    m_delayBars[s]->setAccessibleName(output + Fixed(kDelayWord[language]));
    m_muteButtons[s]->setAccessibleName(output + m_muteButtons[s]->text().trimmed());
    m_polarityButtons[s]->setAccessibleName(output + m_polarityButtons[s]->text());
    m_testBoxes[s]->setAccessibleName(output + m_testBoxes[s]->text());
    NameValues(slot);
  }
}

QString OutputDrawer::OutputName(int slot) const {
  return Caption(m_context.state, kOutputNameRows[static_cast<std::size_t>(slot)]).trimmed();
}

}  // namespace mzr
