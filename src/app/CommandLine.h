#pragma once
// The program's command line, read before any window exists: --help and --version answer
// without a display, a project file given as the one argument is opened at start, and a
// start without any display says so in one line instead of aborting in the platform plugin.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace mzr {

struct CommandLine {
  QString projectFile;  // empty: start with New Project
};

// What the command line asks for.
struct CommandLineOutcome {
  std::optional<CommandLine> start;  // set: open the window
  int exitCode = 0;                  // else: exit with this code after printing text
  QString text;                      // for stdout (help, version) or stderr (a refusal)
  bool toStdErr = false;
};

// args as the program received them, its name first. Qt's own window options (-platform,
// -style, -geometry ...) are accepted and left to the application object.
CommandLineOutcome ParseCommandLine(const QStringList& args);

// Why no window can be shown under this environment and platform option, in one line; empty
// when a display (or a platform that needs none, such as offscreen) is there.
QString MissingDisplay(const QProcessEnvironment& environment, const QStringList& args);

}  // namespace mzr
