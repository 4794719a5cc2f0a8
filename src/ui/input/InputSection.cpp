#include "ui/input/InputSection.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/window/ClientGeometry.h"
#include "ui/Skin.h"
#include "ui/UiContext.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"

namespace mzr {

namespace {

constexpr int kInputButtonTops[InputSection::kInputCount] = {83, 182, 281, 380, 480};
constexpr int kInputCaptionRow = 34;  // rows 34..38, one per input
constexpr int kMuteRow = 48;
constexpr int kMainFaderRow = 65;
constexpr int kFadeTimeRow = 66;  // rows 66..75: 1 to 10 seconds
constexpr int kFadeTimeCount = 10;
constexpr int kInputsWithFader = 8;  // faderLevel has an entry for input codes 0..7

}  // namespace

InputSection::InputSection(UiContext& context, QWidget* client, std::array<QAction*, kInputCount> formatItems,
                           std::array<QAction*, kPowerOnChoices> powerOnItems, QObject* parent)
    : QObject(parent), m_context(context), m_formatItems(formatItems), m_powerOnItems(powerOnItems) {
  for (int i = 0; i < kInputCount; ++i) {
    auto* button = new QPushButton(client);
    button->setObjectName(QStringLiteral("suiButton%1").arg(i + 1));
    button->setProperty("Tag", i);
    SetSkinRole(button, SkinRole::InputKey);
    button->setFocusPolicy(Qt::NoFocus);
    PlaceAt(button, QRect(21, kInputButtonTops[i], 120, 64));
    m_inputButtons[static_cast<std::size_t>(i)] = button;
    connect(button, &QPushButton::clicked, this, [this, i] { OnInputButtonClicked(i); });
  }

  // Qt checks a checkable item when it is chosen; a Format item must show the image's
  // input instead, so choosing one puts the mark back where the image says until the
  // input's own handler has changed the image and refreshed.
  for (QAction* item : m_formatItems) connect(item, &QAction::triggered, this, &InputSection::ShowFormatMark);
  for (int i = 0; i < kInputCount; ++i)
    connect(m_formatItems[static_cast<std::size_t>(i)], &QAction::triggered, this, [this, i] { OnFormatItemChosen(i); });
  for (int i = 0; i < kPowerOnChoices; ++i)
    connect(m_powerOnItems[static_cast<std::size_t>(i)], &QAction::triggered, this, [this, i] { OnPowerOnItemChosen(i); });

  m_fadeTime = new QComboBox(client);
  m_fadeTime->setObjectName(QStringLiteral("ComboBox1"));
  m_fadeTime->setEditable(false);  // a typed fade time has no meaning to the unit
  for (int i = 0; i < kFadeTimeCount; ++i) m_fadeTime->addItem(CaptionTable::Text(kFadeTimeRow + i, 0));
  PlaceAt(m_fadeTime, QRect(32, 552, 97, 21));
  // Only a choice of the user stores: the language change replaces the items and
  // reselects without raising this.
  connect(m_fadeTime, &QComboBox::activated, this, &InputSection::OnFadeTimeChosen);

  m_masterMute = new QPushButton(client);
  m_masterMute->setObjectName(QStringLiteral("suiButton23"));
  m_masterMute->setFocusPolicy(Qt::NoFocus);
  PlaceAt(m_masterMute, QRect(153, 549, 75, 25));
  connect(m_masterMute, &QPushButton::clicked, this, &InputSection::OnMasterMuteClicked);

  m_mainFaderCaption = new QLabel(client);
  m_mainFaderCaption->setObjectName(QStringLiteral("StaticText29"));
  m_mainFaderCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PlaceAt(m_mainFaderCaption, QRect(232, 552, 68, 20));

  m_mainFader = new QSlider(Qt::Horizontal, client);
  m_mainFader->setObjectName(QStringLiteral("suiTrackBar14"));
  m_mainFader->setRange(slider::fader.minPosition, slider::fader.maxPosition);
  m_mainFader->setPageStep(2);
  m_mainFader->setSingleStep(1);
  m_mainFader->setTickPosition(QSlider::NoTicks);
  m_mainFader->setTickInterval(1);
  PlaceAt(m_mainFader, QRect(304, 550, 545, 20));
  // Also raised when the input refresh moves the fader: with refreshing 0 that move is
  // stored and sent like a user's.
  connect(m_mainFader, &QSlider::valueChanged, this, &InputSection::OnFaderMoved);

  m_faderText = new QLabel(QStringLiteral("7.0"), client);
  m_faderText->setObjectName(QStringLiteral("StaticText30"));
  SetSkinRole(m_faderText, SkinRole::LcdText);
  m_faderText->setAlignment(Qt::AlignCenter);
  PlaceAt(m_faderText, QRect(858, 550, 36, 24));
}

void InputSection::RefreshInputSection() {
  AppState& state = m_context.state;
  const ParameterImage& image = m_context.image;
  for (int i = 0; i < kInputCount; ++i) {
    QPushButton* button = m_inputButtons[static_cast<std::size_t>(i)];
    button->setText(Caption(state, kInputCaptionRow + i));
    Skin::SetAlert(button, false);
  }
  const int input = image.inputSource();
  if (input < kInputCount) Skin::SetAlert(m_inputButtons[static_cast<std::size_t>(input)], true);
  ShowFormatMark();
  const int powerOn = image.powerOnSource();
  if (powerOn < kPowerOnChoices) m_powerOnItems[static_cast<std::size_t>(powerOn)]->setChecked(true);

  // An input code past the fader table has no level: the fader shows 0 and takes no moves
  // until an input is chosen.
  const bool hasFader = input < kInputsWithFader;
  const int level = hasFader ? image.faderLevel(input) : 0;
  m_mainFader->setEnabled(hasFader);
  m_mainFader->setValue(level);
  m_faderText->setText(QString::fromStdString(FormatFader(level)));

  const int fade = image.fadeTime();
  m_fadeTime->setCurrentIndex(fade < kFadeTimeCount ? fade : -1);
  // The output refresh shows it too; here it also follows a project or a unit's image at
  // once, whichever section refreshes first.
  ShowMasterMute();
}

void InputSection::ShowMasterMute() { Skin::SetAlert(m_masterMute, (m_context.image.masterFlags() & 0x01) != 0); }

void InputSection::SelectInput(const EditPlan& plan) {
  // The plan sends the faders first when the fader shows another level for the new input,
  // then the input's frame; the refresh that follows only shows it (the fader's own handler
  // would send the faders again).
  if (!m_context.edits.Carry(plan)) return;
  const RefreshingScope refreshing(m_context.state);
  RefreshInputSection();
}

void InputSection::OnInputButtonClicked(int input) {
  // While a test signal plays the input stays as it is (the intent refuses).
  SelectInput(m_context.workspace.intents().ChooseInput(input));
}

void InputSection::OnFormatItemChosen(int input) {
  if (m_context.state.refreshing == 1) return;
  SelectInput(m_context.workspace.intents().ChooseFormat(input));
}

void InputSection::OnPowerOnItemChosen(int choice) {
  m_context.edits.Apply(EditedField::powerOnSource, 0,
                        [choice](ParameterImage& image) { image.setPowerOnSource(static_cast<std::uint8_t>(choice)); });
}

void InputSection::OnFadeTimeChosen(int index) {
  if (index < 0 || index >= kFadeTimeCount) return;  // no item chosen: nothing to store
  m_context.edits.Apply(EditedField::fadeTime, 0,
                        [index](ParameterImage& image) { image.setFadeTime(static_cast<std::uint8_t>(index)); });
}

void InputSection::OnMasterMuteClicked() {
  m_context.edits.Carry(m_context.workspace.intents().ToggleMasterMute());
  ShowMasterMute();
}

void InputSection::OnFaderMoved(int position) {
  if (m_context.state.refreshing == 1) return;
  // No input chosen: the intent refuses and the move is not stored.
  if (!m_context.edits.Carry(m_context.workspace.intents().SetFader(position))) return;
  m_faderText->setText(QString::fromStdString(FormatFader(position)));
}

void InputSection::ShowFormatMark() {
  // An input code past the five items leaves the marks as they are.
  const int input = m_context.image.inputSource();
  if (input < kInputCount) m_formatItems[static_cast<std::size_t>(input)]->setChecked(true);
}

void InputSection::ApplyMasterRowLanguage() {
  const AppState& state = m_context.state;
  m_masterMute->setText(Caption(state, kMuteRow));
  m_mainFaderCaption->setText(Caption(state, kMainFaderRow));
  m_mainFader->setAccessibleName(Caption(state, kMainFaderRow));
  m_faderText->setAccessibleName(Caption(state, "主音量数值", "Main Fader value"));
  m_fadeTime->setAccessibleName(Caption(state, "淡入淡出时间", "Fade time"));
  m_masterMute->setAccessibleName(Caption(state, "主音量静音", "Master mute"));
  for (int i = 0; i < kFadeTimeCount; ++i) m_fadeTime->setItemText(i, Caption(state, kFadeTimeRow + i));
  const int fade = m_context.image.fadeTime();
  m_fadeTime->setCurrentIndex(fade < kFadeTimeCount ? fade : -1);
  RefreshInputSection();
}

}  // namespace mzr
