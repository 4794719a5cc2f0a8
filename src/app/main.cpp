// mzr4700: the control program of the MZR4700 cinema audio processor.

#include <QByteArray>
#include <QMessageBox>
#include <QTextStream>

#include "app/Application.h"
#include "core/Config.h"
#include "link/PortLock.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/MainWindow.h"
#include "ui/SideChannel.h"
#include "ui/Skin.h"

namespace {

// For screenshots and demonstrations: MZR4700_LANGUAGE=en starts in English (anything else
// keeps Chinese), MZR4700_OPEN_DRAWER=input|output|devices pins that drawer open.
void ApplyShowcaseEnvironment(mzr::MainWindow& window) {
  if (qgetenv("MZR4700_LANGUAGE").trimmed().toLower() == "en") window.Endlish1Click();
  const QByteArray drawer = qgetenv("MZR4700_OPEN_DRAWER").trimmed().toLower();
  if (drawer == "input") window.inputDrawer()->setPinned(true);
  if (drawer == "output") window.outputDrawer()->setPinned(true);
  if (drawer == "devices") window.deviceListDrawer()->ShowPinnedOpen();
}

// A second client on the port would take the other's answers: say who holds it, on stderr
// for whoever started the program from a shell, and in the error box.
int RefusePort(const mzr::PortLock& lock) {
  QTextStream(stderr) << "mzr4700: " << lock.refusal() << '\n';
  QMessageBox box(QMessageBox::Critical, mzr::ErrorCaption(), lock.refusalChinese() + QLatin1Char('\n') + lock.refusal() + QLatin1Char('.'),
                  QMessageBox::Ok);
  box.exec();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  mzr::Application app(argc, argv);
  return mzr::Application::RunGuarded([&app] {
    mzr::Application::setApplicationName(QStringLiteral("MZR4700"));
    mzr::Skin::Apply(app);

    // Held for the whole run; the kernel releases it however the program ends.
    mzr::PortLock portLock(mzr::UdpPort(), mzr::PortLock::Holder::Program);
    if (portLock.Acquire(0) != mzr::PortLock::Outcome::Locked) return RefusePort(portLock);

    mzr::MainWindow window;
    window.show();
    ApplyShowcaseEnvironment(window);
    return mzr::Application::exec();
  });
}
