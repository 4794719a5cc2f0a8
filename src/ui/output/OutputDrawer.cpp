#include "ui/output/OutputDrawer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
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
#include "ui/SkinRole.h"
#include "ui/output/ColumnHeadLabel.h"
#include "ui/window/SideChannel.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kHeadRow = 45;
constexpr int kPinkRow = 49;
constexpr int kGeneratorRow = 50;

// Geometry in drawer pixels (the drawer's title bar included), as the drawer is drawn.
constexpr int kHeadsTop = 25;
const QRect kGeneratorBounds(30, 449, 611, 41);

const char* const kGeneratorFrequencies[] = {"120Hz", "500Hz", "1KHz", "5KHz", "10KHz"};

// Drawer pixels to the content's, which starts under the drawer's title bar.
QRect InContent(const QRect& drawerBounds) { return drawerBounds.translated(0, -SideChannel::kTitleHeight); }

}  // namespace

OutputDrawer::OutputDrawer(UiContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("outputDrawerContent"));

  QList<int> centres;
  for (int slot = 0; slot < kSlots; ++slot) centres << OutputColumn::CentreX(slot);
  m_columnHeads = new ColumnHeadLabel(centres, this);
  m_columnHeads->setObjectName(QStringLiteral("StaticText21"));
  SetSkinRole(m_columnHeads, SkinRole::HeadCaption);
  m_columnHeads->setGeometry(InContent(QRect(0, kHeadsTop, 650, 16)));
  m_columnHeads->setText(CaptionTable::Text(kHeadRow, 0));

  for (int slot = 0; slot < kSlots; ++slot) {
    auto& column = m_columns[static_cast<std::size_t>(slot)];
    column = std::make_unique<OutputColumn>(m_context, slot, this);
    connect(column->levelBar(), &QSlider::valueChanged, this, [this, slot] { OnOutputLevelMoved(slot); });
    connect(column->delayBar(), &QSlider::valueChanged, this, [this, slot] { OnOutputDelayMoved(slot); });
    connect(column->polarityButton(), &QPushButton::clicked, this, [this, slot] { OnPolarityClicked(slot); });
    connect(column->muteButton(), &QPushButton::clicked, this, [this, slot] { OnMuteClicked(slot); });
  }
  BuildGenerator();
  ApplyAccessibleNames();
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
    const QString text =
        item == 0 ? CaptionTable::Text(kPinkRow, 0) : QString::fromUtf8(kGeneratorFrequencies[item - 1]);
    auto* button = new QRadioButton(text, m_generator);
    button->setObjectName(QStringLiteral("suiRadioGroup3Item%1").arg(item));
    SetSkinRole(button, SkinRole::OutputLamp);
    m_generatorGroup->addButton(button, item);
    row->addWidget(button, 1);
    m_generatorItems[static_cast<std::size_t>(item)] = button;
  }
  m_generatorItems[0]->setChecked(true);
}

void OutputDrawer::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setPen(QColor(0x4a, 0x55, 0x61));
  for (const auto& column : m_columns) column->PaintTicks(painter);
}

// ---- Handlers -------------------------------------------------------------------------

void OutputDrawer::OnOutputLevelMoved(int slot) {
  if (m_context.state.refreshing == 1) return;
  const std::uint8_t level = column(slot).LevelFromBar();
  m_context.edits.Apply(EditedField::outputLevel, slot, [&](ParameterImage& image) { image.setOutputLevel(slot, level); });
  column(slot).ShowLevel();
}

void OutputDrawer::OnOutputDelayMoved(int slot) {
  if (m_context.state.refreshing == 1) return;
  const std::uint8_t delay = column(slot).DelayFromBar();
  m_context.edits.Apply(EditedField::outputDelay, slot, [&](ParameterImage& image) { image.setOutputDelay(slot, delay); });
  column(slot).ShowDelay();
}

void OutputDrawer::OnPolarityClicked(int slot) {
  m_context.edits.Apply(EditedField::polarityMask, 0, [slot](ParameterImage& image) {
    image.setPolarityMask(static_cast<std::uint8_t>(image.polarityMask() ^ Bit(slot)));
  });
  column(slot).ShowPolarity();
}

void OutputDrawer::OnMuteClicked(int slot) {
  m_context.edits.Apply(EditedField::muteMask, 0, [slot](ParameterImage& image) {
    image.setMuteMask(static_cast<std::uint8_t>(image.muteMask() ^ Bit(slot)));
  });
  column(slot).ShowMute();
}

// ---- Refresh, language ----------------------------------------------------------------------

void OutputDrawer::RefreshOutputSection() {
  m_context.state.refreshing = 1;
  for (const auto& column : m_columns) column->Refresh();
}

void OutputDrawer::ApplyLanguage() {
  const AppState& state = m_context.state;
  m_columnHeads->setText(Caption(state, kHeadRow));
  for (const auto& column : m_columns) column->ApplyLanguage();
  // Only the six output boxes: suiCheckBox14 takes its own caption with the channel page.
  const QString name = GeneratorCaption(state, m_context.image.testSignalType());
  for (const auto& column : m_columns) column->testBox()->setText(name);
  m_generatorItems[0]->setText(Caption(state, kPinkRow));
  m_generator->setTitle(Caption(state, kGeneratorRow));
  ApplyAccessibleNames();
}

void OutputDrawer::ApplyAccessibleNames() {
  for (const auto& column : m_columns) column->ApplyAccessibleNames();
}

}  // namespace mzr
