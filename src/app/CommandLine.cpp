#include "app/CommandLine.h"

#include <QCommandLineParser>

#include "ui/window/ProgramVersion.h"

namespace mzr {
namespace {

// Options QApplication takes itself; with a value unless listed as a flag.
const QStringList kQtValueOptions{QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
                                  QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
                                  QStringLiteral("display"),         QStringLiteral("style"),
                                  QStringLiteral("stylesheet"),      QStringLiteral("geometry"),
                                  QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
                                  QStringLiteral("qwindowtitle"),    QStringLiteral("session")};
const QStringList kQtFlags{QStringLiteral("reverse"), QStringLiteral("nograb"), QStringLiteral("dograb"),
                           QStringLiteral("widgetcount")};

QString PlatformOption(const QStringList& args) {
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if ((arg == QLatin1String("-platform") || arg == QLatin1String("--platform")) && i + 1 < args.size()) {
      return args[i + 1];
    }
    if (arg.startsWith(QLatin1String("-platform="))) return arg.mid(10);
    if (arg.startsWith(QLatin1String("--platform="))) return arg.mid(11);
  }
  return {};
}

}  // namespace

CommandLineOutcome ParseCommandLine(const QStringList& args) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("MZR4700 control program: set up MZR4700 cinema audio processors on the local network."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the program's version and exit."));
  parser.addOption(help);
  parser.addOption(version);
  for (const QString& name : kQtValueOptions) {
    QCommandLineOption option(name, QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const QString& name : kQtFlags) {
    QCommandLineOption option(name);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A project file (.KVdat) to open at start."),
                               QStringLiteral("[FILE]"));

  CommandLineOutcome outcome;
  if (!parser.parse(args)) {
    outcome.exitCode = 2;
    outcome.toStdErr = true;
    QString error = parser.errorText();
    if (error.endsWith(QLatin1Char('.'))) error.chop(1);
    outcome.text = QStringLiteral("mzr4700: %1; see mzr4700 --help\n").arg(error);
    return outcome;
  }
  if (parser.isSet(help)) {
    // The usage line names the program as installed, whatever path started it.
    outcome.text = QStringLiteral("Usage: mzr4700 [options] [FILE]\n") + parser.helpText().section(QLatin1Char('\n'), 1) +
                   QStringLiteral("\nWithout a display the program cannot start; QT_QPA_PLATFORM=offscreen runs it "
                                  "without one (for tests).\n");
    return outcome;
  }
  if (parser.isSet(version)) {
    outcome.text = QStringLiteral("mzr4700 %1\n").arg(ProgramFileVersion());
    return outcome;
  }
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    outcome.exitCode = 2;
    outcome.toStdErr = true;
    outcome.text = QStringLiteral("mzr4700: give at most one project file; see mzr4700 --help\n");
    return outcome;
  }
  outcome.start = CommandLine{files.value(0)};
  return outcome;
}

QString MissingDisplay(const QProcessEnvironment& environment, const QStringList& args) {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
  Q_UNUSED(environment);
  Q_UNUSED(args);
  return {};
#else
  QString platform = PlatformOption(args);
  if (platform.isEmpty()) platform = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
  platform = platform.section(QLatin1Char(':'), 0, 0).section(QLatin1Char(';'), 0, 0).trimmed();
  const bool x11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
  const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
  const QString none = QStringLiteral("mzr4700: no display to open the window on (%1); start it in a desktop session");
  if (platform.isEmpty()) {
    return x11 || wayland ? QString() : none.arg(QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set"));
  }
  if (platform.startsWith(QLatin1String("xcb")) && !x11) return none.arg(QStringLiteral("DISPLAY is not set"));
  if (platform.startsWith(QLatin1String("wayland")) && !wayland) {
    return none.arg(QStringLiteral("WAYLAND_DISPLAY is not set"));
  }
  return {};  // offscreen, minimal, vnc, eglfs ...: the platform brings its own
#endif
}

}  // namespace mzr
