#include "app/Application.h"

#include <QMessageBox>

#include <cstdlib>
#include <exception>

namespace mzr {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowError(QString());
  }
  return false;
}

int Application::RunGuarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    ShowError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowError(QString());
  }
  return EXIT_FAILURE;
}

void Application::ShowError(const QString& message) {
  QMessageBox::critical(activeWindow(), applicationName(), message);
}

}  // namespace mzr
