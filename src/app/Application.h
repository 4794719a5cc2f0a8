#pragma once
// The QApplication of the program: an exception escaping an event handler is shown in the
// standard error box and the event loop goes on.

#include <QApplication>

#include <functional>

namespace mzr {

class Application final : public QApplication {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(Application)

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The standard error box with the exception's message.
  static void ShowError(const QString& message);

  // Runs the program's start-up and event loop: an exception that escapes it is shown in
  // the error box and the program exits with 1, so a script or service manager sees the
  // failure. Otherwise body's own exit status.
  static int RunGuarded(const std::function<int()>& body);
};

}  // namespace mzr
