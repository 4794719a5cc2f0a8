// mzr4700ctl: the command-line companion of the MZR4700 control program.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <memory>

#include "CtlArguments.h"
#include "CtlRunner.h"

namespace {

// Errors of the tool are its own one-line messages; Qt's notes about the platform (the
// offscreen plugin's run-time folder, for one) would only break that rule for scripts.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    QTextStream(stderr) << "mzr4700ctl: " << message << '\n';
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace mzr::ctl;
  qInstallMessageHandler(QuietMessages);
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

  QTextStream out(stdout);
  QTextStream err(stderr);
  auto parsed = ParseArguments(args);
  if (auto* refusal = std::get_if<QString>(&parsed)) {
    err << "mzr4700ctl: " << *refusal << "; see mzr4700ctl --help\n";
    return static_cast<int>(ExitCode::usage);
  }
  CtlArguments arguments = std::get<CtlArguments>(std::move(parsed));

  // Only the graph needs Qt Gui; it paints into an image, so no display is ever needed.
  std::unique_ptr<QCoreApplication> app;
  const bool paints = (arguments.command == Command::curve && !arguments.pngPath.isEmpty()) ||
                      (arguments.command == Command::align && !arguments.reportPath.isEmpty());
  if (paints) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }

  CtlRunner runner(std::move(arguments), out, err);
  const CtlResult result = runner.Run();
  out.flush();
  if (!result.error.isEmpty()) err << "mzr4700ctl: " << result.error << '\n';
  return static_cast<int>(result.code);
}
