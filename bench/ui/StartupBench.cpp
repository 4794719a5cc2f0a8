// Start-up of the program's window, measured as a user feels it: from the moment the
// process is launched to the first painted window, and the resident memory right after.
// The parent launches itself as a child (the child does exactly what the program's
// main() does) several times and reports the median, minimum and maximum.
//
//   mzr4700-startup-bench [--runs N]        (default 10, on the current Qt platform)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/MainWindow.h"
#include "ui/Skin.h"

namespace {

long ResidentKilobytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

// Reports once the window's first frame has been painted: a paint of the top level starts
// the frame, and a zero timer runs after the synchronous paint of all its children.
class FirstPaintWatcher final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !m_seen) {
      m_seen = true;
      QTimer::singleShot(0, watched, [] {
        std::printf("painted rss_kb=%ld platform=%s\n", ResidentKilobytes(),
                    QGuiApplication::platformName().toUtf8().constData());
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  bool m_seen = false;
};

int RunChild(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("MZR4700"));
  mzr::Skin::Apply(app);
  mzr::MainWindow window;
  FirstPaintWatcher watcher;
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

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (qstrcmp(argv[i], "--child") == 0) return RunChild(argc, argv);

  int runs = 10;
  for (int i = 1; i + 1 < argc; ++i)
    if (qstrcmp(argv[i], "--runs") == 0) runs = std::max(1, atoi(argv[i + 1]));

  QCoreApplication app(argc, argv);
  std::vector<double> times;
  std::vector<double> memory;
  QByteArray platform;
  for (int r = 0; r < runs; ++r) {
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
    QByteArray out;
    while (!out.contains('\n') && child.waitForReadyRead(10000)) out += child.readAllStandardOutput();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    child.waitForFinished(10000);
    out += child.readAllStandardOutput();
    const int at = out.indexOf("rss_kb=");
    if (!out.startsWith("painted") || at < 0) {
      std::fprintf(stderr, "run %d: the window did not report a first paint: %s\n", r, child.readAllStandardError().constData());
      return 1;
    }
    const QList<QByteArray> fields = out.mid(at).trimmed().split(' ');
    const double rssMb = fields.value(0).mid(7).toDouble() / 1024.0;
    platform = fields.value(1).mid(9);
    times.push_back(ms);
    memory.push_back(rssMb);
    std::printf("run %2d: first paint %.1f ms, resident %.1f MB\n", r + 1, ms, rssMb);
  }
  std::printf("platform %s, %d runs: first paint median %.1f ms (min %.1f, max %.1f); resident median %.1f MB (max %.1f)\n",
              platform.constData(), runs,
              Median(times), *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
              Median(memory), *std::max_element(memory.begin(), memory.end()));
  return 0;
}
