#pragma once
// What one run of mzr4700ctl gave: its exit code (-1 when it crashed or did not finish) and
// its two streams. Shared by the companion's end-to-end tests, which each start the program
// with their own arguments and environment.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace mzr::test {

struct CtlRun {
  int exitCode = -1;
  QString out;
  QString err;
  QStringList outLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
  QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

// Waits for a started mzr4700ctl and collects what it gave; one that does not finish within
// timeoutMs is killed and reported as such.
inline CtlRun FinishCtl(QProcess& process, int timeoutMs) {
  CtlRun run;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    run.err = QStringLiteral("mzr4700ctl did not finish");
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace mzr::test
