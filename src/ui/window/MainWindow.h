#pragma once
// The program's one working window (Form1): menu bar, input selector, channel pages, master
// row, the input, output and device-list drawers, the logo and the status bar. The program
// state, the image, the project document and the link belong to the workspace, which is
// built before the window and outlives it; each region is its own widget with its own
// handlers, sharing one UiContext. The window itself keeps only the refresh order, the
// language order and the menu wiring.

#include <QLabel>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include "core/AppState.h"
#include "files/ProjectDocument.h"
#include "model/ParameterImage.h"
#include "ui/UiContext.h"
#include "workspace/Workspace.h"

namespace mzr {

class AlignmentDialog;
class CompareDialog;
class DeviceCommands;
class DeviceInfoDialog;
class DeviceSession;
class EditOperation;
class EqCopyDialog;
class EqualizerPage;
class GestureTracker;
struct FieldElement;
class InputDrawer;
class InputSection;
class OutputDrawer;
class ParamLink;
class ProjectFileCommands;
class LogoImage;
class MainMenu;
class SideChannel;
class StatusBar;
class TestSignalSelector;
class TheaterProfileDialog;
class UnsavedWorkQuestions;

class MainWindow final : public QMainWindow {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(MainWindow)

 public:
  struct Options {
    int timer1IntervalMs = 100;       // logo long-press tick
    int drawerCheckIntervalMs = 1000; // how often an open drawer looks for the mouse
    int drawerStepIntervalMs = 15;    // device list slide-out step
  };

  static constexpr int kLongPressTicks = 30;  // more than this many ticks opens Form8

  // workspace outlives the window.
  explicit MainWindow(Workspace& workspace);
  MainWindow(Workspace& workspace, Options options);
  ~MainWindow() override;

  Workspace& workspace() { return m_workspace; }
  AppState& state() { return m_workspace.state(); }
  ParameterImage& image() { return m_workspace.image(); }
  ProjectDocument& document() { return m_workspace.document(); }
  UiContext& context() { return m_context; }
  StatusBar* statusBarPanels() const { return m_statusBar; }
  MainMenu* mainMenu() const { return m_menu; }
  InputSection* inputSection() const { return m_inputSection; }
  EqualizerPage* equalizerPage() const { return m_equalizer; }
  SideChannel* inputDrawer() const { return m_inputDrawer; }
  SideChannel* outputDrawer() const { return m_outputDrawer; }
  SideChannel* deviceListDrawer() const { return m_deviceListDrawer; }
  // The drawers' contents, made first if they are not yet.
  InputDrawer* inputDrawerContent();
  OutputDrawer* outputDrawerContent();
  ParamLink& link() { return m_workspace.link(); }
  DeviceCommands& commands() { return m_workspace.commands(); }
  ProjectFileCommands& files() { return *m_files; }
  // The device search and its drawer.
  DeviceSession* deviceSession() const { return m_session; }
  // The dialogs build their controls when first shown; these build them on demand.
  EqCopyDialog* eqCopyDialog() const;
  TheaterProfileDialog* profileDialog() const;
  DeviceInfoDialog* deviceInfoDialog() const;
  // Made when first asked for.
  CompareDialog* compareDialog();
  AlignmentDialog* alignmentDialog();
  // The questions before unsaved work is lost; tests give them an asker.
  UnsavedWorkQuestions& questions() { return *m_questions; }
  // The status-bar mark of edits the unit has not stored.
  QLabel* unitUnsavedMark() const { return m_unitMark; }
  QTimer& timer1() { return m_timer1; }
  const QString& exeDir() const { return m_exeDir; }

  // Brings every editor into line with the image, in the fixed order of the sections.
  // Callers bracket it with refreshing := 1 / 0.
  void RefreshAll();
  // Writes every language-dependent text of the window and its dialogs.
  void ApplyLanguage();
  // Defaults into the image, "Untitle.KVdat", channel tab 0, every editor refreshed.
  void NewProject();
  // The File and Communication items as the user chooses them: New and Open ask first about
  // changes not saved in the project file, Disconnect about edits the unit has not stored.
  void NewProjectAsked();
  void OpenProjectAsked();
  void DisconnectAsked();
  // Brings into view the control that edits element: its channel tab, drawer or dialog.
  void ShowFieldControl(const FieldElement& element);

  // Window caption forms: with the version (on a language change) and after the project
  // file changes (row 0, three blanks, the file name).
  QString LanguageCaption() const;
  QString ProjectCaption() const;
  void SetProjectCaption();

  // Menu and logo handlers.
  void OnChineseChosen();  // N24Click
  void OnEnglishChosen();  // Endlish1Click
  void OnEqCopyChosen();   // EQ3Click
  void OnProfileChosen();  // N22Click
  void OnLogoPressed();    // Image2MouseDown
  void OnLogoReleased();   // Image2MouseUp
  void OnLongPressTick();  // Timer1Timer

 signals:
  // The window's first frame is on the screen: what the window does not need to appear (the
  // window icon, whose picture may load image readers) can come now.
  void firstFramePainted();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  // Asks about the unit's unstored edits, then about the project file; a Store answer closes
  // once the unit acknowledged the store.
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnCreated();     // FormCreate
  void OnFirstShown();  // FormShow
  void BuildClientArea();
  void PrepareDrawerContents();
  void MakeDrawerContents();
  // After a whole image arrived or a unit was connected (refreshing is 1): the profile
  // dialog, then every editor.
  void RefreshFromImage();
  void CreateDialogs();
  void ConnectMenus();
  // The File and Communication items that talk to the unit or ask for files are wired here.
  void ConnectFileMenu();
  void ConnectCommMenu();
  QString ProjectFileName() const;
  // The title again, with or without the unsaved mark, in the form it has now.
  void UpdateTitle();
  // After an undo or redo: every control shows the image, nothing is sent.
  void RefreshAfterRestore();
  void UpdateUndoItems();
  void ShowCompare();
  void ShowAlignment();
  // What waits for the unit's store acknowledgement.
  enum class AfterStore { Nothing, Disconnect, Close };
  void ImageStored();

  Workspace& m_workspace;
  Options m_options;
  AppState& m_state;
  StatusBar* m_statusBar;
  UiContext m_context;
  ProjectFileCommands* m_files = nullptr;
  QString m_exeDir;
  bool m_shownOnce = false;
  bool m_painted = false;
  bool m_starting = true;          // the constructor's refresh leaves the drawers' contents unmade
  bool m_languageApplied = false;  // ApplyLanguage has run: contents made later take the language
  bool m_languageCaption = false;  // the title has the long form of a language change
  AfterStore m_afterStore = AfterStore::Nothing;
  GestureTracker* m_gestures = nullptr;
  UnsavedWorkQuestions* m_questions = nullptr;
  CompareDialog* m_compare = nullptr;
  AlignmentDialog* m_alignment = nullptr;
  QLabel* m_unitMark = nullptr;

  MainMenu* m_menu = nullptr;
  QWidget* m_client = nullptr;
  InputSection* m_inputSection = nullptr;
  EqualizerPage* m_equalizer = nullptr;
  LogoImage* m_logo = nullptr;
  SideChannel* m_inputDrawer = nullptr;
  SideChannel* m_outputDrawer = nullptr;
  SideChannel* m_deviceListDrawer = nullptr;
  InputDrawer* m_inputDrawerContent = nullptr;
  OutputDrawer* m_outputDrawerContent = nullptr;
  TestSignalSelector* m_testSignals = nullptr;
  DeviceSession* m_session = nullptr;
  QTimer m_timer1;

  EqCopyDialog* m_form4 = nullptr;
  TheaterProfileDialog* m_form5 = nullptr;
  DeviceInfoDialog* m_form8 = nullptr;
};

}  // namespace mzr
