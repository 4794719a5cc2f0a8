#include "ui/dialogs/TheaterProfileDialog.h"

#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"
#include "model/GbkCodec.h"
#include "model/ParameterImage.h"
#include "ui/CaptionTable.h"
#include "ui/SkinRole.h"
#include "ui/dialogs/DialogPlacement.h"
#include "ui/dialogs/GbkLengthValidator.h"
#include "ui/window/LogoImage.h"
#include "ui/window/ProgramVersion.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kCaptionRow = 91;
constexpr int kFirstLabelRow = 92;  // rows 92..99: the eight profile labels
constexpr int kTheaterHeadingRow = 100;
constexpr int kComponentHeadingRow = 101;
constexpr int kFirstIdentityRow = 102;  // rows 102..105: model, serial, firmware version, date

constexpr std::array<TextField, TheaterProfileDialog::kProfileTexts> kProfileFields{
    TextField::digitalPlayer1, TextField::digitalPlayer2, TextField::projectName,  TextField::theaterName,
    TextField::screenNumber,   TextField::projectorModel, TextField::automationSystem, TextField::comments};

constexpr std::array<TextField, 4> kIdentityFields{TextField::modelName, TextField::serialNumber,
                                                   TextField::firmwareVersion, TextField::firmwareDate};
// The identity lines as the control names give them: model, serial, firmware version, date.
const char* const kIdentityNames[] = {"StaticText12", "StaticText11", "StaticText13", "StaticText14"};
// After a refresh each line carries its Chinese prefix, with full-width colon and blanks,
// whatever the language.
const char* const kIdentityPrefixes[] = {"设备型号：      ", "设备序列号：  ", "固件版本：      ", "固件发布：      "};

// Everything sits 16 pixels higher than a 48-pixel top margin would put it, so that the
// margins above the frames and below them are alike.
constexpr int kRaise = 16;
constexpr int kFrameTop = 48 - kRaise;
constexpr int kFrameHeight = 280;
constexpr int kLabelTops[] = {78, 110, 143, 175, 208, 240, 273, 306};
constexpr int kEditTops[] = {75, 107, 139, 171, 203, 235, 267, 299};
constexpr int kIdentityTops[] = {78, 110, 142, 175};
constexpr int kVersionTop = 206;

// Columns of the left frame: labels, then edits; wide enough for the longest English
// label ("Projector Model Number:") on one line.
constexpr int kLabelLeft = 36;
constexpr int kEditLeft = 192;
constexpr int kEditWidth = 156;
constexpr int kEditHeight = 21;
constexpr int kIdentityLeft = 388;
constexpr int kIdentityWidth = 296;

// The caption without its trailing colon, as a name for screen readers.
QString NameOf(QString caption) {
  caption = caption.trimmed();
  while (caption.endsWith(QLatin1Char(':')) || caption.endsWith(QChar(0xFF1A))) caption.chop(1);
  return caption;
}

QLabel* MakeLabel(const QString& name, const QRect& bounds, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setGeometry(bounds);
  return label;
}

}  // namespace

TheaterProfileDialog::TheaterProfileDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form5"));
  setFixedSize(kClientWidth, kClientHeight);
  ApplyLanguage();
}

void TheaterProfileDialog::EnsureBuilt() {
  if (m_versionLine != nullptr) return;
  const bool identityFilled = m_identityFilled;

  // The two frames end inside the client area, each heading sits on its frame's top edge.
  auto* theaterFrame = new QFrame(this);
  theaterFrame->setObjectName(QStringLiteral("theaterFrame"));
  SetSkinRole(theaterFrame, SkinRole::OutlineFrame);
  theaterFrame->setGeometry(24, kFrameTop, 337, kFrameHeight);
  auto* componentFrame = new QFrame(this);
  componentFrame->setObjectName(QStringLiteral("componentFrame"));
  SetSkinRole(componentFrame, SkinRole::OutlineFrame);
  componentFrame->setGeometry(368, kFrameTop, 320, kFrameHeight);
  m_theaterHeading = MakeLabel(QStringLiteral("StaticText1"), QRect(38, kFrameTop - 8, 200, 16), this);
  m_componentHeading = MakeLabel(QStringLiteral("StaticText10"), QRect(382, kFrameTop - 8, 200, 16), this);
  for (QLabel* heading : {m_theaterHeading, m_componentHeading}) {
    SetSkinRole(heading, SkinRole::FrameHeading);
    heading->adjustSize();
  }

  for (int i = 0; i < kProfileTexts; ++i) {
    const auto k = static_cast<std::size_t>(i);
    m_labels[k] = MakeLabel(QStringLiteral("StaticText%1").arg(i + 2),
                            QRect(kLabelLeft, kLabelTops[k] - 2 - kRaise, kEditLeft - kLabelLeft - 4, 18), this);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
    edit->setGeometry(kEditLeft, kEditTops[k] - kRaise, kEditWidth, kEditHeight);
    edit->setValidator(new GbkLengthValidator(kProfileTextBytes, edit));
    // The user's edits only: a refresh shows the slot as it is and must leave the image as
    // it is, even a slot with no terminator or with bytes GBK cannot read.
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) { OnProfileTextEdited(i, text); });
    m_labels[k]->setBuddy(edit);
    m_edits[k] = edit;
  }

  for (std::size_t k = 0; k < m_identity.size(); ++k) {
    m_identity[k] = MakeLabel(QString::fromLatin1(kIdentityNames[k]),
                              QRect(kIdentityLeft, kIdentityTops[k] - kRaise, kIdentityWidth, 18), this);
    m_identity[k]->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  m_versionLine = MakeLabel(QStringLiteral("StaticText15"), QRect(kIdentityLeft, kVersionTop - kRaise, kIdentityWidth, 18), this);
  m_versionLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* picture = new LogoImage(this);
  picture->setObjectName(QStringLiteral("Image1"));
  picture->setGeometry(445, 226, 193, 80);

  ApplyLanguage();
  if (identityFilled) RefreshProfileDialog();
}

void TheaterProfileDialog::showEvent(QShowEvent* event) {
  EnsureBuilt();
  QDialog::showEvent(event);
}

void TheaterProfileDialog::ShowModeless() {
  // New Project and Open change the image without refreshing this dialog; edits left with
  // an older project's texts would write those back over the new ones at the first
  // keystroke. Opening shows the image's texts; the identity lines stay as they are.
  EnsureBuilt();
  if (!isVisible()) RefreshEdits();
  ShowCentredOnParent(this);
}

QString TheaterProfileDialog::VersionLine() {
  return QStringLiteral("软件版本： V") + ProgramFileVersion() + QStringLiteral("   ") +
         QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) + QStringLiteral("          TQV5600");
}

void TheaterProfileDialog::ApplyLanguage() {
  setWindowTitle(Caption(m_context.state, kCaptionRow));
  m_identityFilled = false;
  if (m_versionLine == nullptr) return;  // built later, in the language of that moment
  m_theaterHeading->setText(Caption(m_context.state, kTheaterHeadingRow));
  m_componentHeading->setText(Caption(m_context.state, kComponentHeadingRow));
  m_theaterHeading->adjustSize();
  m_componentHeading->adjustSize();
  for (int i = 0; i < kProfileTexts; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const QString caption = Caption(m_context.state, kFirstLabelRow + i);
    m_labels[k]->setText(caption);
    m_edits[k]->setAccessibleName(NameOf(caption));
  }
  for (std::size_t k = 0; k < m_identity.size(); ++k) {
    const QString caption = Caption(m_context.state, kFirstIdentityRow + static_cast<int>(k));
    m_identity[k]->setText(caption);
    m_identity[k]->setAccessibleName(NameOf(caption));
  }
  m_versionLine->setText(VersionLine());
  m_versionLine->setAccessibleName(Caption(m_context.state, "软件版本", "Software Version"));
}

void TheaterProfileDialog::RefreshEdits() {
  for (std::size_t k = 0; k < m_edits.size(); ++k) {
    m_edits[k]->setText(QString::fromStdString(StorableText(m_context.image.TextBytes(kProfileFields[k]))));
  }
}

std::string TheaterProfileDialog::StorableText(std::string_view gbk) {
  // The first keystroke stores the edit's whole text, so the edit must show only what the
  // slot can take back: a byte GBK cannot read shows as '?', and a slot filled to its end
  // with no terminator shows the 39 bytes that fit before one. The image keeps its bytes
  // until the user types.
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  const std::string decoded = Utf8FromGbk(gbk);
  const std::string_view rest(decoded);
  std::string utf8;
  for (std::size_t from = 0;;) {
    const std::size_t at = rest.find(kReplacement, from);
    utf8.append(rest.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) break;
    utf8 += '?';
    from = at + kReplacement.size();
  }
  const auto encoded = GbkFromUtf8(utf8);
  if (!encoded) return {};
  return Utf8FromGbk(std::string_view(*encoded).substr(0, GbkPrefixLength(*encoded, kProfileTextBytes)));
}

void TheaterProfileDialog::RefreshProfileDialog() {
  m_identityFilled = true;
  if (m_versionLine == nullptr) return;  // built later from the image of that moment
  const ParameterImage& image = m_context.image;
  RefreshEdits();
  // The serial number may fill its 16 bytes with no terminator; Text() stops at the slot's
  // end, so the firmware version after it never joins the line.
  for (std::size_t k = 0; k < m_identity.size(); ++k) {
    m_identity[k]->setText(QString::fromUtf8(kIdentityPrefixes[k]) +
                           QString::fromStdString(image.Text(kIdentityFields[k])));
  }
}

void TheaterProfileDialog::OnProfileTextEdited(int i, const QString& text) {
  // The validator lets through only what the slot holds; nothing is sent: the profile
  // reaches the unit with the next download and travels in project files.
  const TextField field = kProfileFields[static_cast<std::size_t>(i)];
  m_context.edits.Carry(m_context.workspace.intents().SetProfileText(field, text.toStdString()));
}

}  // namespace mzr
