#pragma once
// What a start-up child reports, shared by the program's window and its hello-world anchor so
// both are measured exactly alike: once the window's first frame has been painted it prints
// "painted rss_kb=<resident memory> platform=<Qt platform>" and quits.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QObject>
#include <QTimer>

#include <cstdio>

namespace mzr::bench {

inline long ResidentKilobytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

// A paint of the top level starts the frame, and a zero timer runs after the synchronous
// paint of all its children.
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

}  // namespace mzr::bench
