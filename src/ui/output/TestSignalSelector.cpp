#include "ui/output/TestSignalSelector.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/output/OutputDrawer.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kOutputs = OutputDrawer::kSlots;

}  // namespace

TestSignalSelector::TestSignalSelector(UiContext& context, std::function<void()> makeDrawer, QCheckBox* channelBox,
                                       QObject* parent)
    : QObject(parent), m_context(context), m_makeDrawer(std::move(makeDrawer)), m_channelBox(channelBox) {
  if (m_channelBox != nullptr) {
    connect(m_channelBox, &QCheckBox::toggled, this, &TestSignalSelector::OnChannelTestBoxToggled);
    m_channelBox->setText(CaptionTable::GeneratorName(0, 0));
  }
}

void TestSignalSelector::Attach(OutputDrawer& drawer) {
  m_drawer = &drawer;
  // Toggled, not clicked: the link resets uncheck the boxes from program code and must run
  // the handlers.
  for (int slot = 0; slot < kOutputs; ++slot) {
    connect(drawer.testBox(slot), &QCheckBox::toggled, this, [this, slot] { OnOutputTestBoxToggled(slot); });
  }
  // Runs when the selection changes, by the user or by a link reset, as a radio group's
  // click event does; choosing the item already selected changes nothing.
  connect(drawer.generatorGroup(), &QButtonGroup::idToggled, this, [this](int item, bool checked) {
    if (checked) OnGeneratorChosen(item);
  });
  for (int slot = 0; slot < kOutputs; ++slot) drawer.testBox(slot)->setText(CaptionTable::GeneratorName(0, 0));
  drawer.ApplyAccessibleNames();
}

OutputDrawer& TestSignalSelector::Drawer() {
  if (m_drawer == nullptr && m_makeDrawer) m_makeDrawer();
  Q_ASSERT(m_drawer != nullptr);
  return *m_drawer;
}

void TestSignalSelector::ResetTestSignal() {
  // Each control that changes runs its handler: the generator stores type 0 and each box
  // that was checked brings testSignalMask to 0; what they send goes out only while
  // connected.
  OutputDrawer& drawer = Drawer();
  drawer.generatorItem(0)->setChecked(true);
  for (int slot = 0; slot < kOutputs; ++slot) drawer.testBox(slot)->setChecked(false);
  if (m_channelBox != nullptr) m_channelBox->setChecked(false);
}

void TestSignalSelector::OnGeneratorChosen(int item) {
  m_context.edits.Apply(EditedField::testSignal, 0,
                        [item](ParameterImage& image) { image.setTestSignalType(static_cast<std::uint8_t>(item)); });
  ShowGeneratorName(GeneratorCaption(m_context.state, item));
}

void TestSignalSelector::OnOutputTestBoxToggled(int slot) {
  AppState& state = m_context.state;
  if (state.refreshing == 1) return;
  const RefreshingScope refreshing(state);
  OutputDrawer& drawer = Drawer();
  const bool checked = drawer.testBox(slot)->isChecked();
  if (checked) {
    for (int other = 0; other < kOutputs; ++other) {
      if (other != slot) drawer.testBox(other)->setChecked(false);
    }
  }
  m_context.edits.Apply(EditedField::testSignal, 0, [slot, checked, type = ShownGeneratorType()](ParameterImage& image) {
    image.setTestSignalMask(checked ? Bit(slot) : 0);
    image.setTestSignalType(type);
  });
  if (m_channelBox != nullptr) {
    const int tab = state.selectedChannel;
    m_channelBox->setChecked(tab >= 0 && tab < 8 && (m_context.image.testSignalMask() & Bit(tab)) != 0);
  }
}

void TestSignalSelector::OnChannelTestBoxToggled() {
  AppState& state = m_context.state;
  if (state.refreshing == 1 || m_channelBox == nullptr) return;
  const RefreshingScope refreshing(state);
  const int tab = state.selectedChannel;
  const bool checked = m_channelBox->isChecked();
  // On the monitor tab the box has no output of its own among the six (the monitor panel
  // covers it there); the image still takes the tab's bit, as the unit reads it.
  const std::uint8_t mask = checked && tab >= 0 && tab < 8 ? Bit(tab) : 0;
  OutputDrawer& drawer = Drawer();
  for (int slot = 0; slot < kOutputs; ++slot) drawer.testBox(slot)->setChecked(slot == tab && checked);
  m_context.edits.Apply(EditedField::testSignal, 0, [mask, type = ShownGeneratorType()](ParameterImage& image) {
    image.setTestSignalMask(mask);
    image.setTestSignalType(type);
  });
}

std::uint8_t TestSignalSelector::ShownGeneratorType() {
  // A search or a connect leaves the group on pink noise while the image may keep the unit's
  // type; the box plays what the group shows, so that type goes with the mask.
  return static_cast<std::uint8_t>(std::max(0, Drawer().generatorGroup()->checkedId()));
}

void TestSignalSelector::ShowTestSignal() {
  const ParameterImage& image = m_context.image;
  OutputDrawer& drawer = Drawer();
  const int type = image.testSignalType();
  if (type >= 0 && type < OutputDrawer::kGeneratorItems) {
    // The group's handler stores and sends whatever the refreshing flag says; here the image
    // already holds the type, so only the display follows.
    const QSignalBlocker quiet(drawer.generatorGroup());
    drawer.generatorItem(type)->setChecked(true);
    ShowGeneratorName(GeneratorCaption(m_context.state, type));
  }
  for (int slot = 0; slot < kOutputs; ++slot) drawer.testBox(slot)->setChecked((image.testSignalMask() & Bit(slot)) != 0);
  if (m_channelBox != nullptr) {
    const int tab = m_context.state.selectedChannel;
    m_channelBox->setChecked(tab >= 0 && tab < 8 && (image.testSignalMask() & Bit(tab)) != 0);
  }
}

void TestSignalSelector::ShowGeneratorName(const QString& name) {
  OutputDrawer& drawer = Drawer();
  for (int slot = 0; slot < kOutputs; ++slot) drawer.testBox(slot)->setText(name);
  if (m_channelBox != nullptr) m_channelBox->setText(name);
  // The output boxes' accessible names carry the signal's name.
  drawer.ApplyAccessibleNames();
}

}  // namespace mzr
