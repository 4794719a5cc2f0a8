// mzr4700: the control program of the MZR4700 cinema audio processor.

#include <QByteArray>

#include <exception>

#include "app/Application.h"
#include "ui/EqualizerPage.h"
#include "ui/MainWindow.h"
#include "ui/SideChannel.h"
#include "ui/Skin.h"

namespace {

// For screenshots and demonstrations: MZR4700_LANGUAGE=en starts in English (anything else
// keeps Chinese), MZR4700_OPEN_DRAWER=input|output|devices pins that drawer open,
// MZR4700_TAB=0..6 shows that channel tab.
void ApplyShowcaseEnvironment(mzr::MainWindow& window) {
  if (qgetenv("MZR4700_LANGUAGE").trimmed().toLower() == "en") window.Endlish1Click();
  const QByteArray drawer = qgetenv("MZR4700_OPEN_DRAWER").trimmed().toLower();
  if (drawer == "input") window.inputDrawer()->setPinned(true);
  if (drawer == "output") window.outputDrawer()->setPinned(true);
  if (drawer == "devices") window.deviceListDrawer()->ShowPinnedOpen();
  bool tabGiven = false;
  const int tab = qEnvironmentVariableIntValue("MZR4700_TAB", &tabGiven);
  if (tabGiven && tab >= 0 && tab <= 6) window.equalizerPage()->setCurrentIndex(tab);
}

}  // namespace

int main(int argc, char** argv) {
  mzr::Application app(argc, argv);
  try {
    mzr::Application::setApplicationName(QStringLiteral("MZR4700"));
    mzr::Skin::Apply(app);

    mzr::MainWindow window;
    window.show();
    ApplyShowcaseEnvironment(window);
    return mzr::Application::exec();
  } catch (const std::exception& e) {
    mzr::Application::ShowError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    mzr::Application::ShowError(QString());
  }
  return 0;
}
