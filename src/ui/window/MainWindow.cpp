#include "ui/window/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>

#include "core/Config.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/FieldTable.h"
#include "ui/SkinRole.h"
#include "ui/dialogs/AlignmentDialog.h"
#include "ui/dialogs/CompareDialog.h"
#include "ui/window/GestureTracker.h"
#include "ui/window/UnsavedWorkQuestions.h"
#include "workspace/EditHistory.h"
#include "ui/CaptionTable.h"
#include "ui/window/ClientGeometry.h"
#include "ui/dialogs/DeviceInfoDialog.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/dialogs/EqCopyDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/input/InputDrawer.h"
#include "ui/input/InputSection.h"
#include "ui/window/LogoImage.h"
#include "ui/window/MainMenu.h"
#include "ui/output/OutputDrawer.h"
#include "ui/output/TestSignalSelector.h"
#include "ui/window/ProgramVersion.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/window/StatusBar.h"
#include "ui/dialogs/TheaterProfileDialog.h"

namespace mzr {

namespace {

constexpr int kTitleRow = 0;
constexpr int kInputDrawerRow = 32;
constexpr int kOutputDrawerRow = 44;
constexpr int kDeviceListRow = 127;
constexpr int kDeviceListStep = 15;  // pixels per slide-out step
constexpr int kUnitUnsavedRow = 141;
constexpr int kSubwooferTab = 5;
constexpr int kMonitorTab = 6;

const QString kLongCaptionInfix = QStringLiteral("  FOR MZR4700   ");
const QString kShortCaptionInfix = QStringLiteral("   ");

}  // namespace

MainWindow::MainWindow(Workspace& workspace) : MainWindow(workspace, Options{}) {}

MainWindow::MainWindow(Workspace& workspace, Options options)
    : m_workspace(workspace),
      m_options(options),
      m_state(workspace.state()),
      m_statusBar(new StatusBar(this)),
      m_context{workspace,           workspace.state(), workspace.image(),   workspace.document(),
                *m_statusBar,        workspace.edits(), workspace.commands()} {
  setObjectName(QStringLiteral("Form1"));
  setStatusBar(m_statusBar);
  m_statusBar->setFixedHeight(kStatusBarHeight);

  menuBar()->setObjectName(QStringLiteral("suiMainMenu1"));
  menuBar()->setNativeMenuBar(false);
  menuBar()->setFixedHeight(kMenuBarHeight);
  m_menu = new MainMenu(m_state, menuBar(), this);

  m_timer1.setInterval(m_options.timer1IntervalMs);
  connect(&m_timer1, &QTimer::timeout, this, &MainWindow::OnLongPressTick);

  BuildClientArea();
  // The dialogs come before the device session, whose refresh reaches the profile dialog.
  CreateDialogs();
  PrepareDrawerContents();
  ConnectMenus();
  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }

  OnCreated();
  m_starting = false;

  // Undo, redo and the unsaved marks.
  EditHistory& history = m_workspace.history();
  m_gestures = new GestureTracker(*this, history, this);
  connect(&history, &EditHistory::changed, this, &MainWindow::UpdateUndoItems);
  connect(&history, &EditHistory::restored, this, &MainWindow::RefreshAfterRestore);
  connect(&m_workspace.edits(), &EditOperation::applied, this, &MainWindow::UpdateTitle);
  m_unitMark = new QLabel(m_statusBar);
  m_unitMark->setObjectName(QStringLiteral("unitUnsavedMark"));
  m_unitMark->setProperty("alert", true);
  m_unitMark->hide();
  m_statusBar->addPermanentWidget(m_unitMark);
  connect(&m_workspace, &Workspace::unitUnsavedChanged, m_unitMark, &QWidget::setVisible);
  connect(&m_workspace.commands(), &DeviceCommands::imageStored, this, &MainWindow::ImageStored);
  connect(&m_workspace.link(), &ParamLink::timedOut, this, [this] { m_afterStore = AfterStore::Nothing; });
  UpdateUndoItems();
}

MainWindow::~MainWindow() {
  // The workspace outlives the window: nothing of it may reach the window's slots while the
  // window's parts go. A gesture still open ends here, into the history.
  disconnect(&m_workspace.history(), nullptr, this, nullptr);
  disconnect(&m_workspace.edits(), nullptr, this, nullptr);
  disconnect(&m_workspace, nullptr, this, nullptr);
  disconnect(&m_workspace.commands(), nullptr, this, nullptr);
  disconnect(&m_workspace.link(), nullptr, this, nullptr);
  delete m_gestures;
}

void MainWindow::BuildClientArea() {
  m_client = new QWidget(this);
  m_client->setObjectName(QStringLiteral("clientArea"));
  SetSkinRole(m_client, SkinRole::ClientArea);
  m_client->setAttribute(Qt::WA_StyledBackground, true);
  setCentralWidget(m_client);

  // A dark band under the menu bar carries the logo, as a hardware front panel would.
  auto* header = new QFrame(m_client);
  header->setObjectName(QStringLiteral("headerBand"));
  SetSkinRole(header, SkinRole::HeaderBand);
  PlaceAt(header, QRect(0, kMenuBarHeight, kClientWidth, 47));

  m_logo = new LogoImage(m_client);
  PlaceAt(m_logo, QRect(759, 46, 138, 44));
  connect(m_logo, &LogoImage::pressed, this, &MainWindow::OnLogoPressed);
  connect(m_logo, &LogoImage::released, this, &MainWindow::OnLogoReleased);

  m_inputSection = new InputSection(m_context, m_client, m_menu->formatItems(), m_menu->powerOnItems(), this);

  m_equalizer = new EqualizerPage(m_context, m_client);
  PlaceAt(m_equalizer, QRect(161, 85, 769, 457));

  SideChannel::Options inputOptions;
  inputOptions.edge = SideChannel::Edge::Left;
  inputOptions.colour = Skin::kSkyBlue;
  inputOptions.checkIntervalMs = m_options.drawerCheckIntervalMs;
  m_inputDrawer = new SideChannel(QStringLiteral("suiSideChannel1"), ToCentral(QRect(0, 50, 297, 536)),
                                  inputOptions, m_client);

  SideChannel::Options outputOptions = inputOptions;
  outputOptions.edge = SideChannel::Edge::Right;
  outputOptions.colour = Skin::kMoneyGreen;
  m_outputDrawer = new SideChannel(QStringLiteral("suiSideChannel2"), ToCentral(QRect(296, 50, 650, 536)),
                                   outputOptions, m_client);

  SideChannel::Options listOptions = inputOptions;
  listOptions.pinnable = false;
  listOptions.colour = Skin::kListGrey;
  listOptions.openStep = kDeviceListStep;
  listOptions.stepIntervalMs = m_options.drawerStepIntervalMs;
  m_deviceListDrawer = new SideChannel(QStringLiteral("suiSideChannel3"), ToCentral(QRect(297, 50, 576, 536)),
                                       listOptions, m_client);
}

void MainWindow::PrepareDrawerContents() {
  // The input and output drawers' contents are made when either drawer first opens, when a
  // control in them is needed (the test-signal rule, a refresh after start-up) or when asked
  // for; until then the window starts and paints without their 140 controls.
  m_inputDrawer->setContentMaker([this] { MakeDrawerContents(); });
  m_outputDrawer->setContentMaker([this] { MakeDrawerContents(); });
  m_testSignals = new TestSignalSelector(m_context, [this] { MakeDrawerContents(); }, m_equalizer->channelTestBox(), this);
}

void MainWindow::MakeDrawerContents() {
  if (m_inputDrawerContent != nullptr) return;
  m_inputDrawerContent = new InputDrawer(m_context);
  m_inputDrawer->setContent(m_inputDrawerContent);
  m_outputDrawerContent = new OutputDrawer(m_context);
  m_outputDrawer->setContent(m_outputDrawerContent);
  m_testSignals->Attach(*m_outputDrawerContent);
  // What the contents would have been given had they been made with the window: the start-up
  // refresh from the image (nothing the refresh stores is an edit), then the language, once
  // the window has applied one.
  {
    const RefreshingHold refreshing(m_state);
    const EditHistory::Pause pause(m_workspace.history());
    m_inputDrawerContent->RefreshPresetSection();
    m_outputDrawerContent->RefreshOutputSection();
  }
  if (m_languageApplied) {
    m_inputDrawerContent->ApplyLanguage();
    m_outputDrawerContent->ApplyLanguage();
  }
}

InputDrawer* MainWindow::inputDrawerContent() {
  MakeDrawerContents();
  return m_inputDrawerContent;
}

OutputDrawer* MainWindow::outputDrawerContent() {
  MakeDrawerContents();
  return m_outputDrawerContent;
}

void MainWindow::CreateDialogs() {
  m_form4 = new EqCopyDialog(m_context, this);
  m_form5 = new TheaterProfileDialog(m_context, this);
  m_form8 = new DeviceInfoDialog(m_context, this);
}

EqCopyDialog* MainWindow::eqCopyDialog() const {
  m_form4->EnsureBuilt();
  return m_form4;
}

TheaterProfileDialog* MainWindow::profileDialog() const {
  m_form5->EnsureBuilt();
  return m_form5;
}

DeviceInfoDialog* MainWindow::deviceInfoDialog() const {
  m_form8->EnsureBuilt();
  return m_form8;
}

void MainWindow::OnCreated() {
  m_state.connected = 0;
  // The per-channel control tables are built by the sections as they create their controls.
  m_deviceListDrawer->hide();
  NewProject();
  m_state.languageIndex = 0;
  m_exeDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shownOnce && !event->spontaneous()) {
    m_shownOnce = true;
    OnFirstShown();
  }
}

void MainWindow::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  if (m_painted) return;
  m_painted = true;
  // The top level paints first; its children paint in the same pass, and a zero timer runs
  // once the frame has gone to the screen.
  QTimer::singleShot(0, this, &MainWindow::firstFramePainted);
}

void MainWindow::OnFirstShown() { ApplyLanguage(); }

void MainWindow::ConnectMenus() {
  connect(m_menu->item(QStringLiteral("N24")), &QAction::triggered, this, &MainWindow::OnChineseChosen);
  connect(m_menu->item(QStringLiteral("Endlish1")), &QAction::triggered, this, &MainWindow::OnEnglishChosen);
  connect(m_menu->item(QStringLiteral("EQ3")), &QAction::triggered, this, &MainWindow::OnEqCopyChosen);
  connect(m_menu->item(QStringLiteral("AlignItem")), &QAction::triggered, this, &MainWindow::ShowAlignment);
  connect(m_menu->item(QStringLiteral("N22")), &QAction::triggered, this, &MainWindow::OnProfileChosen);
  ConnectFileMenu();
  ConnectCommMenu();
}

void MainWindow::ConnectFileMenu() {
  // The device-list drawer's contents come with the menus that use them.
  m_session = new DeviceSession(m_workspace, *m_deviceListDrawer, *m_statusBar, [this] { RefreshFromImage(); }, this);
  connect(&m_session->discovery(), &DeviceDiscovery::testSignalReset, m_testSignals,
          &TestSignalSelector::ResetTestSignal);
  m_files = new ProjectFileCommands(
      m_state, m_workspace.image(), m_workspace.document(),
      ProjectFileCommands::WindowHooks{[this] { SetProjectCaption(); }, [this] { RefreshFromImage(); }}, this, this);
  connect(m_files, &ProjectFileCommands::statusText, m_statusBar, &StatusBar::SetPanelText);
  connect(m_files, &ProjectFileCommands::projectOpened, &m_workspace.history(), &EditHistory::Clear);
  connect(m_files, &ProjectFileCommands::projectSaved, this, &MainWindow::UpdateTitle);
  m_questions = new UnsavedWorkQuestions(m_workspace, *m_files, this, this);
  ProjectFileCommands& files = *m_files;
  DeviceCommands& commands = m_workspace.commands();
  connect(m_menu->item(QStringLiteral("N2")), &QAction::triggered, this, &MainWindow::NewProjectAsked);
  connect(m_menu->item(QStringLiteral("N3")), &QAction::triggered, this, &MainWindow::OpenProjectAsked);
  connect(m_menu->item(QStringLiteral("N4")), &QAction::triggered, &files, &ProjectFileCommands::SaveProject);
  connect(m_menu->item(QStringLiteral("N5")), &QAction::triggered, &files, &ProjectFileCommands::SaveProjectAs);
  connect(m_menu->item(QStringLiteral("N21")), &QAction::triggered, &commands, &DeviceCommands::ReadAll);
  connect(m_menu->item(QStringLiteral("N20")), &QAction::triggered, &commands, &DeviceCommands::DownloadAll);
  connect(m_menu->item(QStringLiteral("N27")), &QAction::triggered, &commands, &DeviceCommands::Restart);
  EditHistory& history = m_workspace.history();
  connect(m_menu->item(QStringLiteral("UndoItem")), &QAction::triggered, &history, &EditHistory::Undo);
  connect(m_menu->item(QStringLiteral("RedoItem")), &QAction::triggered, &history, &EditHistory::Redo);
  connect(m_menu->item(QStringLiteral("CompareItem")), &QAction::triggered, this, &MainWindow::ShowCompare);
}

void MainWindow::ConnectCommMenu() {
  DeviceDiscovery& discovery = m_session->discovery();
  connect(m_menu->item(QStringLiteral("N17")), &QAction::triggered, &discovery, &DeviceDiscovery::SearchDevices);
  connect(m_menu->item(QStringLiteral("N18")), &QAction::triggered, this, &MainWindow::DisconnectAsked);
}

void MainWindow::RefreshAll() {
  // The sections' refreshers, always in this order: input, preset, graphic equalizer,
  // subwoofer panel, tone, output, monitor.
  // Past start-up a refresh makes the drawers' contents, so they take part in it as they
  // always did; the start-up refresh leaves them to be made from the image later.
  if (!m_starting) MakeDrawerContents();
  m_inputSection->RefreshInputSection();
  if (m_inputDrawerContent != nullptr) m_inputDrawerContent->RefreshPresetSection();
  m_equalizer->RefreshGraphicEq();
  m_equalizer->RefreshSubwooferPanel();
  m_equalizer->RefreshTone();
  if (m_outputDrawerContent != nullptr) m_outputDrawerContent->RefreshOutputSection();
  // The output step also colours the master mute; the button is the master row's, so the
  // window asks that section rather than the drawer reaching into it.
  m_inputSection->ShowMasterMute();
  m_equalizer->RefreshMonitor();
}

// The profile dialog is refreshed on every change of the whole image, New and Open included:
// its edits store their whole text on the next keystroke, so edits left showing the previous
// project's texts would write them over the new project's.
void MainWindow::RefreshFromImage() {
  // What the refresh stores to bring a control and the image into line is no user's edit.
  const EditHistory::Pause pause(m_workspace.history());
  m_form5->RefreshProfileDialog();
  RefreshAll();
  UpdateTitle();
}

void MainWindow::RefreshAfterRestore() {
  const RefreshingScope refreshing(m_state);
  const EditHistory::Pause pause(m_workspace.history());
  m_form5->RefreshProfileDialog();
  RefreshAll();
  m_testSignals->ShowTestSignal();
  UpdateTitle();
}

void MainWindow::UpdateUndoItems() {
  m_menu->item(QStringLiteral("UndoItem"))->setEnabled(m_workspace.history().canUndo());
  m_menu->item(QStringLiteral("RedoItem"))->setEnabled(m_workspace.history().canRedo());
}

void MainWindow::ApplyLanguage() {
  // 1. Window caption.
  m_languageCaption = true;
  setWindowTitle(LanguageCaption());
  // 2. The profile dialog's version line is rebuilt with the dialog's texts (step 10).
  // 3. Menus.
  m_menu->ApplyMenuLanguage();
  // 4. Input drawer.
  m_languageApplied = true;
  m_inputDrawer->setCaption(Caption(m_state, kInputDrawerRow));
  if (m_inputDrawerContent != nullptr) m_inputDrawerContent->ApplyLanguage();
  // 5. Output drawer.
  m_outputDrawer->setCaption(Caption(m_state, kOutputDrawerRow));
  if (m_outputDrawerContent != nullptr) m_outputDrawerContent->ApplyLanguage();
  // 6. Channel tabs.
  m_equalizer->ApplyTabLanguage();
  // 7. Channel page texts.
  m_equalizer->ApplyPageLanguage();
  // 8. Master row, then the input refresh.
  m_inputSection->ApplyMasterRowLanguage();
  // 9. EQ copy dialog.
  m_form4->ApplyLanguage();
  // 10. Theater profile dialog.
  m_form5->ApplyLanguage();
  // 11. Subwoofer panel texts.
  m_equalizer->ApplySubwooferLanguage();
  // 12. Device list drawer: labels, buttons, drawer caption, grid headers.
  m_session->ApplyCaptions([this](int row) { return Caption(m_state, row); });
  m_deviceListDrawer->setCaption(Caption(m_state, kDeviceListRow));
  // 13. The compare dialog and the unit's unsaved mark.
  if (m_compare != nullptr) m_compare->ApplyLanguage();
  if (m_alignment != nullptr) m_alignment->ApplyLanguage();
  m_unitMark->setText(Caption(m_state, kUnitUnsavedRow));
}

void MainWindow::NewProject() {
  m_workspace.document().NewProject(m_workspace.image());
  m_workspace.history().Clear();
  SetProjectCaption();
  m_equalizer->setCurrentIndex(0);
  const RefreshingScope refreshing(m_state);
  RefreshFromImage();
}

void MainWindow::NewProjectAsked() {
  if (m_questions->SettleFile()) NewProject();
}

void MainWindow::OpenProjectAsked() {
  if (m_questions->SettleFile()) m_files->OpenProject();
}

void MainWindow::DisconnectAsked() {
  switch (m_questions->SettleUnit()) {
    case UnsavedWorkQuestions::UnitOutcome::Proceed:
      m_session->discovery().Disconnect();
      return;
    case UnsavedWorkQuestions::UnitOutcome::Storing:
      m_afterStore = AfterStore::Disconnect;
      return;
    case UnsavedWorkQuestions::UnitOutcome::Cancel:
      return;
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  switch (m_questions->SettleUnit()) {
    case UnsavedWorkQuestions::UnitOutcome::Proceed:
      break;
    case UnsavedWorkQuestions::UnitOutcome::Storing:
      m_afterStore = AfterStore::Close;
      event->ignore();
      return;
    case UnsavedWorkQuestions::UnitOutcome::Cancel:
      event->ignore();
      return;
  }
  if (!m_questions->SettleFile()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::ImageStored() {
  const AfterStore next = std::exchange(m_afterStore, AfterStore::Nothing);
  if (next == AfterStore::Disconnect) m_session->discovery().Disconnect();
  if (next == AfterStore::Close) close();
}

CompareDialog* MainWindow::compareDialog() {
  if (m_compare == nullptr) {
    m_compare = new CompareDialog(m_context, this);
    connect(m_compare, &CompareDialog::showFieldRequested, this, &MainWindow::ShowFieldControl);
  }
  return m_compare;
}

void MainWindow::ShowCompare() { compareDialog()->ShowModeless(); }

AlignmentDialog* MainWindow::alignmentDialog() {
  if (m_alignment == nullptr) {
    m_alignment = new AlignmentDialog(m_context, this);
    connect(m_alignment, &AlignmentDialog::settingsApplied, this, &MainWindow::RefreshAfterRestore);
  }
  return m_alignment;
}

void MainWindow::ShowAlignment() { alignmentDialog()->ShowFor(m_equalizer->currentIndex()); }

void MainWindow::ShowFieldControl(const FieldElement& element) {
  const std::string_view name = element.field->name;
  const auto startsWith = [name](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; };
  if (name == "geqGain") {
    m_equalizer->setCurrentIndex(element.row);
  } else if (name == "toneControl") {
    m_equalizer->setCurrentIndex(element.index);
  } else if (startsWith("subPeq") || startsWith("subLpf")) {
    m_equalizer->setCurrentIndex(kSubwooferTab);
  } else if (name == "monitorLevel") {
    m_equalizer->setCurrentIndex(kMonitorTab);
  } else if (startsWith("output") || name == "polarityMask" || name == "muteMask" || startsWith("testSignal")) {
    m_outputDrawer->Open();
  } else if (startsWith("preset") || name == "prologicMask" || name == "micRouteFlags") {
    m_inputDrawer->Open();
  } else if (element.kind == FieldKind::text && name != "bannerText" && name != "configToken" && name != "makerTag") {
    m_form5->ShowModeless();  // the profile texts and the unit's identity lines
  }
}

QString MainWindow::ProjectFileName() const {
  // The mark says the image holds changes its file does not.
  const QString name = QString::fromStdString(m_workspace.document().currentName().string());
  return m_workspace.document().IsModified(m_workspace.image()) ? name + QLatin1Char('*') : name;
}

void MainWindow::UpdateTitle() {
  const QString title = m_languageCaption ? LanguageCaption() : ProjectCaption();
  if (title != windowTitle()) setWindowTitle(title);
}

QString MainWindow::LanguageCaption() const {
  return Caption(m_state, kTitleRow) + ProgramFileVersion() + kLongCaptionInfix + ProjectFileName();
}

QString MainWindow::ProjectCaption() const {
  return Caption(m_state, kTitleRow) + kShortCaptionInfix + ProjectFileName();
}

void MainWindow::SetProjectCaption() {
  m_languageCaption = false;
  setWindowTitle(ProjectCaption());
}

void MainWindow::OnChineseChosen() {
  m_state.languageIndex = 0;
  ApplyLanguage();
}

void MainWindow::OnEnglishChosen() {
  m_state.languageIndex = 1;
  ApplyLanguage();
}

void MainWindow::OnEqCopyChosen() { m_form4->ShowModeless(); }

void MainWindow::OnProfileChosen() { m_form5->ShowModeless(); }

void MainWindow::OnLogoPressed() {
  m_state.pressTicks = 0;
  m_timer1.start();
}

void MainWindow::OnLongPressTick() { ++m_state.pressTicks; }

void MainWindow::OnLogoReleased() {
  m_timer1.stop();
  if (m_state.pressTicks > kLongPressTicks) m_form8->ShowModeless();
  m_state.pressTicks = 0;
}

}  // namespace mzr
