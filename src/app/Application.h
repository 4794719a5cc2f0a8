#pragma once
// The QApplication of the program: an exception escaping an event handler is shown in the
// standard error box and the event loop goes on.

#include <QApplication>

namespace mzr {

class Application final : public QApplication {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(Application)

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The standard error box with the exception's message.
  static void ShowError(const QString& message);
};

}  // namespace mzr
