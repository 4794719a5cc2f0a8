#include "support/WindowFixture.h"

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/UnsavedWorkQuestions.h"
#include "workspace/Workspace.h"
#include "ui/window/StatusBar.h"

namespace mzr::test {

WindowFixture::WindowFixture(int searchTimeMs) {
  if (!m_dir.isValid()) qFatal("WindowFixture: no temporary folder");
  // The file names the address too; the variable wins over the file, so it is set as well
  // and no address from the environment can take the window off loopback.
  qputenv("MZR4700_LOCAL_IP", "127.0.0.1");
  WriteConfig(searchTimeMs);
  NewPort();
}

WindowFixture::~WindowFixture() { Reset(); }

QString WindowFixture::configPath() const { return m_dir.filePath(QStringLiteral("Config.ini")); }

QString WindowFixture::Path(const QString& name) const { return m_dir.filePath(name); }

void WindowFixture::WriteConfig(int searchTimeMs) {
  QFile ini(configPath());
  if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("WindowFixture: cannot write Config.ini");
  ini.write(QStringLiteral("[SysPara]\nsearchTime=%1\nlocalIp=127.0.0.1\n").arg(searchTimeMs).toUtf8());
}

void WindowFixture::NewPort() {
  m_port = FreeUdpPort();
  if (m_port == 0) qFatal("WindowFixture: no free UDP port");
}

MainWindow& WindowFixture::MakeWindow(const Settings& settings) {
  m_window.reset();
  m_workspace.reset();
  Workspace::Options link;
  link.udpPort = m_port;
  link.bindAddress = QStringLiteral("127.0.0.1");
  link.configPath = configPath();
  link.linkTimeoutMs = settings.linkTimeoutMs;
  link.networkSettleMs = settings.networkSettleMs;
  m_workspace = std::make_unique<Workspace>(link);
  MainWindow::Options options;
  options.timer1IntervalMs = settings.timer1IntervalMs;
  options.drawerStepIntervalMs = settings.drawerStepIntervalMs;
  m_window = std::make_unique<MainWindow>(*m_workspace, options);
  m_messages.clear();
  m_window->deviceSession()->setMessageSink([this](const QString& text, bool errorIcon) { m_messages.append({text, errorIcon}); });
  // A modal question would wait for a click no test gives: unless a test answers them itself,
  // the questions about unsaved work are answered "Don't Save", which goes on as if unasked.
  m_window->questions().setAsker([](UnsavedWorkQuestions::Question, const QString&) {
    return UnsavedWorkQuestions::Answer::Discard;
  });
  if (settings.show) m_window->show();
  return *m_window;
}

MainWindow& WindowFixture::window() {
  if (!m_window) qFatal("WindowFixture: no window made");
  return *m_window;
}

LoopbackUnit& WindowFixture::StartUnit(const QString& address) {
  m_unit.reset();
  m_unit = std::make_unique<LoopbackUnit>(m_port, address);
  if (!m_unit->bound()) QTest::qFail("the loopback unit could not bind its sockets", __FILE__, __LINE__);
  return *m_unit;
}

LoopbackUnit& WindowFixture::unit() {
  if (!m_unit) qFatal("WindowFixture: no unit started");
  return *m_unit;
}

SimProcess& WindowFixture::StartSim(const QStringList& arguments) {
  m_sim.reset();
  m_sim = std::make_unique<SimProcess>();
  QString error;
  if (!m_sim->Start(QStringList{QStringLiteral("--port"), QString::number(m_port)} + arguments, &error))
    QTest::qFail(qPrintable(QStringLiteral("mzr4700-sim did not start: ") + error), __FILE__, __LINE__);
  return *m_sim;
}

SimProcess& WindowFixture::sim() {
  if (!m_sim) qFatal("WindowFixture: no simulator started");
  return *m_sim;
}

void WindowFixture::Reset() {
  m_window.reset();
  m_unit.reset();
  m_sim.reset();
  m_messages.clear();
  NewPort();
}

AppState& WindowFixture::state() { return window().state(); }
ParameterImage& WindowFixture::image() { return window().image(); }
DeviceDiscovery& WindowFixture::discovery() { return window().deviceSession()->discovery(); }
bool WindowFixture::MakeDrawerContents() {
  if (m_window == nullptr) return false;
  m_window->inputDrawerContent();
  m_window->outputDrawerContent();
  m_window->deviceSession()->panel();
  m_window->equalizerPage()->subwooferPanel();
  m_window->equalizerPage()->monitorPanel();
  return true;
}

DeviceListPanel* WindowFixture::panel() { return window().deviceSession()->panel(); }
QTableWidget* WindowFixture::grid() { return panel()->grid(); }
QString WindowFixture::Status(int panel) { return window().statusBarPanels()->panelText(panel); }

QAction* WindowFixture::Item(const char* name) {
  QAction* action = window().menuBar()->findChild<QAction*>(QString::fromUtf8(name));
  if (action == nullptr) qFatal("menu item %s missing", name);
  return action;
}

QWidget* WindowFixture::Region(QWidget* region, bool clientArea) {
  if (region != nullptr) return region;
  return clientArea ? window().centralWidget() : &window();
}

void WindowFixture::Missing(const char* name) { qFatal("control %s missing", name); }

void WindowFixture::SearchFromMenu() {
  QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
  Item("N17")->trigger();
  QVERIFY(completed.wait(10000));
}

// A row's second cell, as a click finds it: an empty row has no item, only its place.
void WindowFixture::SelectRow(int row) {
  const QModelIndex cell = grid()->model()->index(row - 1, 1);
  QVERIFY(cell.isValid());
  grid()->scrollTo(cell);
  QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(cell).center());
}

void WindowFixture::DoubleClickRow(int row) {
  const QModelIndex cell = grid()->model()->index(row - 1, 1);
  QVERIFY(cell.isValid());
  grid()->scrollTo(cell);
  const QPoint at = grid()->visualRect(cell).center();
  QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, at);
}

void WindowFixture::ConnectListed(const QString& ip) {
  const int row = discovery().RowOf(ip);
  QVERIFY2(row >= 1, qPrintable(ip + QStringLiteral(" is not listed")));
  SelectRow(row);
  QTest::mouseClick(Control<QPushButton>("suiButton24"), Qt::LeftButton);
  QCOMPARE(state().connected, 1);
}

void WindowFixture::SearchAndConnect(const QString& ip) {
  SearchFromMenu();
  if (QTest::currentTestFailed()) return;
  ConnectListed(ip);
}

void WindowFixture::ReadAll() {
  QSignalSpy received(&window().link(), &ParamLink::imageReceived);
  Item("N21")->trigger();
  QVERIFY(received.wait(10000));
}

void WindowFixture::RefreshAll() {
  state().refreshing = 1;
  window().RefreshAll();
  state().refreshing = 0;
}

}  // namespace mzr::test
