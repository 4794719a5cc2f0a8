// Start-up of the program's window, measured as a user feels it: from the moment the
// process is launched to the first painted window, and the resident memory right after.
// The parent launches itself as a child (the child does exactly what the program's
// main() does) several times and reports the median, minimum and maximum. With --anchor it
// also launches that program (mzr4700-hello-window, a Qt hello-world window that reports its
// first paint the same way) in turns with the program's window, and gives the ratios.
//
//   mzr4700-startup-bench [--runs N] [--anchor PROGRAM]   (default 10, on the current Qt platform)

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "FirstPaint.h"
#include "ui/window/MainWindow.h"
#include "workspace/Workspace.h"
#include "ui/Skin.h"

namespace {

int RunChild(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("MZR4700"));
  mzr::Skin::Apply(app);
  mzr::Workspace workspace;
  mzr::MainWindow window(workspace);
  mzr::bench::FirstPaintWatcher watcher;
  window.installEventFilter(&watcher);
  window.show();
  return QApplication::exec();
}

struct Run {
  double ms;
  double rssMb;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Launches program (with arguments) once and waits for its first-paint report.
bool Measure(const QString& program, const QStringList& arguments, Run& run, QByteArray& platform) {
  QProcess child;
  child.setProcessChannelMode(QProcess::SeparateChannels);
  QElapsedTimer clock;
  clock.start();
  child.start(program, arguments);
  QByteArray out;
  while (!out.contains('\n') && child.waitForReadyRead(10000)) out += child.readAllStandardOutput();
  run.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  child.waitForFinished(10000);
  out += child.readAllStandardOutput();
  const int at = out.indexOf("rss_kb=");
  if (!out.startsWith("painted") || at < 0) {
    std::fprintf(stderr, "%s did not report a first paint: %s\n", qPrintable(program),
                 child.readAllStandardError().constData());
    return false;
  }
  const QList<QByteArray> fields = out.mid(at).trimmed().split(' ');
  run.rssMb = fields.value(0).mid(7).toDouble() / 1024.0;
  platform = fields.value(1).mid(9);
  return true;
}

struct Series {
  std::vector<double> times;
  std::vector<double> memory;
  void Add(const Run& run) {
    times.push_back(run.ms);
    memory.push_back(run.rssMb);
  }
  void Print(const char* what, const QByteArray& platform) const {
    std::printf("%s: platform %s, %zu runs: first paint median %.1f ms (min %.1f, max %.1f); resident median %.1f MB (max %.1f)\n",
                what, platform.constData(), times.size(), Median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), Median(memory),
                *std::max_element(memory.begin(), memory.end()));
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (qstrcmp(argv[i], "--child") == 0) return RunChild(argc, argv);

  int runs = 10;
  QString anchor;
  for (int i = 1; i + 1 < argc; ++i) {
    if (qstrcmp(argv[i], "--runs") == 0) runs = std::max(1, atoi(argv[i + 1]));
    if (qstrcmp(argv[i], "--anchor") == 0) anchor = QString::fromLocal8Bit(argv[i + 1]);
  }

  QCoreApplication app(argc, argv);
  Series program;
  Series hello;
  QByteArray platform;
  for (int r = 0; r < runs; ++r) {
    Run run{};
    if (!Measure(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")}, run, platform)) return 1;
    program.Add(run);
    std::printf("run %2d: first paint %.1f ms, resident %.1f MB", r + 1, run.ms, run.rssMb);
    if (!anchor.isEmpty()) {
      // In turns with the program's window, so both see the same machine.
      if (!Measure(anchor, {}, run, platform)) return 1;
      hello.Add(run);
      std::printf("; hello-world window %.1f ms, %.1f MB", run.ms, run.rssMb);
    }
    std::printf("\n");
  }
  program.Print("program window", platform);
  if (!anchor.isEmpty()) {
    hello.Print("hello-world window", platform);
    std::printf("ratios program / hello-world: first paint %.2f, resident %.2f\n",
                Median(program.times) / Median(hello.times), Median(program.memory) / Median(hello.memory));
  }
  return 0;
}
