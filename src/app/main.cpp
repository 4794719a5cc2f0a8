// mzr4700: the control program of the MZR4700 cinema audio processor.

#include <QByteArray>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QTextStream>
#include <QTimer>

#include <optional>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/QtLanguage.h"
#include "core/Config.h"
#include "link/PortLock.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/dialogs/AlignmentDialog.h"
#include "ui/dialogs/CompareDialog.h"
#include "ui/dialogs/DeviceInfoDialog.h"
#include "ui/dialogs/EqCopyDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/window/MainWindow.h"
#include "workspace/Workspace.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/window/UnsavedWorkQuestions.h"
#include "ui/Skin.h"
#include "ui/dialogs/TheaterProfileDialog.h"

namespace {

// For screenshots and demonstrations: MZR4700_LANGUAGE=en starts in English (anything else
// keeps Chinese), MZR4700_OPEN_DRAWER=input|output|devices pins that drawer open,
// MZR4700_OPEN_DIALOG=copy|profile|serial|compare|align|ask-file|ask-unit opens that dialog (the
// profile filled from the image, the compare dialog against MZR4700_COMPARE_FILE, the alignment
// of the current tab with the measurement files MZR4700_ALIGN_FILES lists, separated by ':',
// the questions about unsaved work),
// MZR4700_TAB=0..6 shows that channel tab.
void ApplyShowcaseEnvironment(mzr::MainWindow& window) {
  if (qgetenv("MZR4700_LANGUAGE").trimmed().toLower() == "en") window.OnEnglishChosen();
  const QByteArray drawer = qgetenv("MZR4700_OPEN_DRAWER").trimmed().toLower();
  if (drawer == "input") window.inputDrawer()->setPinned(true);
  if (drawer == "output") window.outputDrawer()->setPinned(true);
  if (drawer == "devices") window.deviceListDrawer()->ShowPinnedOpen();
  const QByteArray dialog = qgetenv("MZR4700_OPEN_DIALOG").trimmed().toLower();
  if (dialog == "copy") window.eqCopyDialog()->ShowModeless();
  if (dialog == "profile") {
    window.profileDialog()->RefreshProfileDialog();
    window.profileDialog()->ShowModeless();
  }
  if (dialog == "serial") window.deviceInfoDialog()->ShowModeless();
  // The compare dialog against the project file MZR4700_COMPARE_FILE names.
  if (dialog == "compare") {
    window.compareDialog()->ShowModeless();
    window.compareDialog()->CompareWithFile(qEnvironmentVariable("MZR4700_COMPARE_FILE"));
  }
  if (dialog == "align") {
    bool tabGiven = false;
    const int tab = qEnvironmentVariableIntValue("MZR4700_TAB", &tabGiven);
    if (tabGiven && tab >= 0 && tab <= 6) window.equalizerPage()->setCurrentIndex(tab);
    window.alignmentDialog()->ShowFor(window.equalizerPage()->currentIndex());
    window.alignmentDialog()->AddFiles(qEnvironmentVariable("MZR4700_ALIGN_FILES").split(QLatin1Char(':'), Qt::SkipEmptyParts));
  }
  // The questions about unsaved work as their boxes show them (answered by closing them).
  using Question = mzr::UnsavedWorkQuestions::Question;
  if (dialog == "ask-file" || dialog == "ask-unit") {
    const Question question = dialog == "ask-file" ? Question::SaveFile : Question::StoreInUnit;
    QTimer::singleShot(0, &window, [&window, question] {
      mzr::UnsavedWorkQuestions::AskWithBox(&window, window.state(), question, window.questions().Text(question));
    });
  }
  bool tabGiven = false;
  const int tab = qEnvironmentVariableIntValue("MZR4700_TAB", &tabGiven);
  if (tabGiven && tab >= 0 && tab <= 6) window.equalizerPage()->setCurrentIndex(tab);
}

// A second client on the port would take the other's answers: say who holds it, on stderr
// for whoever started the program from a shell, and in the error box.
int RefusePort(const mzr::PortLock& lock) {
  QTextStream(stderr) << "mzr4700: " << lock.refusal() << '\n';
  QMessageBox box(QMessageBox::Critical, mzr::ErrorCaption(), lock.refusalChinese() + QLatin1Char('\n') + lock.refusal() + QLatin1Char('.'),
                  QMessageBox::Ok);
  box.exec();
  return 1;
}

}  // namespace

// The command line, read before any window or display is needed; nothing when the program
// ends here (help, version, a refusal, no display), with the exit code in exitCode.
std::optional<mzr::CommandLine> ReadCommandLine(int argc, char** argv, int& exitCode) {
  QStringList args;
  {
    const QCoreApplication cli(argc, argv);
    args = QCoreApplication::arguments();
  }
  const mzr::CommandLineOutcome outcome = mzr::ParseCommandLine(args);
  if (!outcome.start) {
    QTextStream(outcome.toStdErr ? stderr : stdout) << outcome.text;
    exitCode = outcome.exitCode;
    return std::nullopt;
  }
  const QString missing = mzr::MissingDisplay(QProcessEnvironment::systemEnvironment(), args);
  if (!missing.isEmpty()) {
    QTextStream(stderr) << missing << '\n';
    exitCode = 1;
    return std::nullopt;
  }
  return outcome.start;
}

int main(int argc, char** argv) {
  int exitCode = 0;
  const std::optional<mzr::CommandLine> command = ReadCommandLine(argc, argv, exitCode);
  if (!command) return exitCode;

  mzr::Application app(argc, argv);
  return mzr::Application::RunGuarded([&app, &command] {
    mzr::Application::setApplicationName(QStringLiteral("MZR4700"));
    mzr::Application::setDesktopFileName(QStringLiteral("mzr4700"));
    mzr::Skin::Apply(app);

    // Held for the whole run; the kernel releases it however the program ends.
    mzr::PortLock portLock(mzr::UdpPort(), mzr::PortLock::Holder::Program);
    if (portLock.Acquire(0) != mzr::PortLock::Outcome::Locked) return RefusePort(portLock);

    // The state outlives the window: the window and its regions hold references into it.
    mzr::Workspace workspace;
    mzr::MainWindow window(workspace);
    // The icon's picture (an SVG from the icon theme) loads image readers: about 4 ms that the
    // first frame need not wait for.
    QObject::connect(&window, &mzr::MainWindow::firstFramePainted, &window,
                     [] { mzr::Application::setWindowIcon(QIcon::fromTheme(QStringLiteral("mzr4700"))); });
    mzr::QtLanguage qtLanguage;
    window.show();
    ApplyShowcaseEnvironment(window);
    qtLanguage.Follow(window);
    if (!command->projectFile.isEmpty()) {
      window.files().OpenProjectFile(QFileInfo(command->projectFile).absoluteFilePath());
    }
    return mzr::Application::exec();
  });
}
