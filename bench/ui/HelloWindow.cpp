// The anchor of the start-up benchmark: a Qt Widgets hello-world window, started and measured
// exactly as the program's window (mzr4700-startup-bench --anchor runs it), so the program's
// start-up time and memory can be read against what Qt alone costs on the same machine.

#include <QApplication>
#include <QLabel>

#include "FirstPaint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel window(QStringLiteral("Hello, world"));
  mzr::bench::FirstPaintWatcher watcher;
  window.installEventFilter(&watcher);
  window.show();
  return QApplication::exec();
}
