#include "e2e/WindowDriver.h"

#include <QAction>
#include <QEventLoop>
#include <QFile>
#include <QMenuBar>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <array>

#include "files/ProjectFile.h"
#include "link/DeviceCommands.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/input/InputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/StatusBar.h"

namespace mzr::test {
namespace {

const QString kConnectFail = QStringLiteral("Connect Fail!");
const QString kDownloadSuccess = QStringLiteral("DownLoad Success");

// Runs the event loop (so the window, its timers and the heartbeat keep running) until done()
// holds or limitMs pass. done() is looked at after every event and at least every 5 ms.
bool RunUntil(const std::function<bool()>& done, int limitMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(5);
  limit.start(limitMs);
  loop.exec();
  return done();
}

QAction* MenuItem(MainWindow& window, const char* name) {
  return window.menuBar()->findChild<QAction*>(QString::fromLatin1(name));
}

}  // namespace

StallMeter::StallMeter(int periodMs, QObject* parent) : QObject(parent) {
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(periodMs);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    m_longestNs = std::max(m_longestNs, m_clock.nsecsElapsed());
    m_clock.restart();
  });
  Restart();
}

void StallMeter::Restart() {
  m_longestNs = 0;
  m_clock.start();
  m_timer.start();
}

long ResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

int FirstDifference(const ParameterImage& a, const ParameterImage& b) {
  const auto x = a.All();
  const auto y = b.All();
  const auto at = std::mismatch(x.begin(), x.end(), y.begin());
  return at.first == x.end() ? -1 : static_cast<int>(at.first - x.begin());
}

WindowDriver::WindowDriver(MainWindow& window, QString unitIp, quint16 port, QObject* parent)
    : QObject(parent), m_window(window), m_unitIp(std::move(unitIp)), m_port(port) {
  m_probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
  const auto watch = [this](int panel, const QString& text) {
    if (panel != 0) return;
    if (text == kConnectFail) ++m_connectFails;
    if (text == kDownloadSuccess) {
      ++m_downloadSuccesses;
      if (m_onDownloadSuccess) m_onDownloadSuccess();
    }
  };
  connect(&m_window.link(), &ParamLink::statusText, this, watch);
  connect(&m_window.commands(), &DeviceCommands::statusText, this, watch);
}

QString WindowDriver::status0() const { return m_window.statusBarPanels()->panelText(0); }

bool WindowDriver::WaitSearch() {
  DeviceDiscovery& discovery = m_window.deviceSession()->discovery();
  bool completed = false;
  QObject context;
  connect(&discovery, &DeviceDiscovery::searchCompleted, &context, [&] { completed = true; });
  QAction* search = MenuItem(m_window, "N17");
  if (search == nullptr) {
    m_error = QStringLiteral("menu item N17 missing");
    return false;
  }
  ++m_searches;
  search->trigger();
  if (!RunUntil([&] { return completed; }, 60000)) {
    m_error = QStringLiteral("a search never completed");
    return false;
  }
  return true;
}

bool WindowDriver::SearchAndConnect(int attempts) {
  DeviceDiscovery& discovery = m_window.deviceSession()->discovery();
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (!WaitSearch()) return false;
    if (discovery.RowOf(m_unitIp) != 0) return ConnectListed();
  }
  m_error = QStringLiteral("%1 was not listed after %2 searches").arg(m_unitIp).arg(attempts);
  return false;
}

bool WindowDriver::ConnectListed() {
  DeviceDiscovery& discovery = m_window.deviceSession()->discovery();
  const int row = discovery.RowOf(m_unitIp);
  if (row == 0) {
    m_error = QStringLiteral("%1 is not listed").arg(m_unitIp);
    return false;
  }
  discovery.SelectRow(row);
  auto* button = m_window.findChild<QPushButton*>(QStringLiteral("suiButton24"));
  if (button == nullptr || !button->isEnabled()) {
    m_error = QStringLiteral("the Connect button is missing or disabled with %1 selected").arg(m_unitIp);
    return false;
  }
  button->click();
  if (m_window.state().connected != 1) {
    m_error = QStringLiteral("Connect left the window disconnected");
    return false;
  }
  ++m_connects;
  return true;
}

WindowDriver::Outcome WindowDriver::WaitExchange(int limitMs) {
  const int failsBefore = m_connectFails;
  ParamLink& link = m_window.link();
  if (link.timerActive()) {
    QEventLoop loop;
    QTimer poll;
    QTimer limit;
    limit.setSingleShot(true);
    // Queued: a download sends its next frame from the handler of an acknowledgement, which
    // starts Timer2 again before the check runs.
    const auto check = [&] {
      if (!link.timerActive()) loop.quit();
    };
    QObject context;
    connect(&link, &ParamLink::acknowledged, &context, check, Qt::QueuedConnection);
    connect(&link, &ParamLink::imageReceived, &context, check, Qt::QueuedConnection);
    connect(&link, &ParamLink::timedOut, &context, check, Qt::QueuedConnection);
    // Any other ending (an answer that stops Timer2 without a signal) is seen by the poll.
    connect(&poll, &QTimer::timeout, &context, check);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(20);
    limit.start(limitMs);
    loop.exec();
    if (link.timerActive()) return Outcome::Stuck;
  }
  return m_connectFails > failsBefore ? Outcome::TimedOut : Outcome::Answered;
}

bool WindowDriver::Settle(const std::function<std::optional<QString>(quint16 probePort)>& probeOutcome) {
  const QHostAddress unit(m_unitIp);
  if (!unit.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)) {
    m_error = QStringLiteral("%1 is not a loopback address").arg(m_unitIp);
    return false;
  }
  while (m_probe.hasPendingDatagrams()) m_probe.receiveDatagram();
  const frame::Bytes read = frame::BuildRead(0, 1);
  m_probe.writeDatagram(reinterpret_cast<const char*>(read.data()), static_cast<qint64>(read.size()), unit, m_port);
  std::optional<QString> outcome;
  if (!RunUntil([&] { return (outcome = probeOutcome(m_probe.localPort())).has_value(); }, 30000)) {
    m_error = QStringLiteral("the unit never logged the probe");
    return false;
  }
  // Answers leave in the order their requests came: once the probe's is here, the program's
  // socket holds every earlier one.
  if (*outcome == QStringLiteral("answered") &&
      !RunUntil([&] { return m_probe.hasPendingDatagrams(); }, 30000)) {
    m_error = QStringLiteral("the unit logged the probe as answered but no answer came");
    return false;
  }
  ParamLink& link = m_window.link();
  if (link.isOpen() && !RunUntil([&] { return !link.hasWaitingDatagrams(); }, 30000)) {
    m_error = QStringLiteral("the program never read the datagrams waiting for it");
    return false;
  }
  return true;
}

QString WindowDriver::StoredImagePath(const QString& stateDir) const {
  const QHostAddress ip(m_unitIp);
  const quint32 v4 = ip.toIPv4Address();
  QString mac = QStringLiteral("4C-32");
  for (int shift = 24; shift >= 0; shift -= 8)
    mac += QStringLiteral("-%1").arg((v4 >> shift) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
  return stateDir + QStringLiteral("/") + mac + QStringLiteral(".kvdat");
}

std::optional<ParameterImage> WindowDriver::StoredImage(const QString& stateDir) const {
  ParameterImage image;
  if (LoadProjectFile(StoredImagePath(stateDir).toStdString(), image) != FileResult::Ok) return std::nullopt;
  return image;
}

// ---- Soak ------------------------------------------------------------------------------

WindowSoak::WindowSoak(WindowDriver& driver, std::uint32_t seed) : m_driver(driver), m_random(seed) {
  MainWindow& window = driver.window();
  const auto find = [](QWidget* parent, const QString& name, Qt::FindChildOptions options = Qt::FindChildrenRecursively) {
    auto* bar = parent->findChild<QSlider*>(name, options);
    if (bar == nullptr) qFatal("control %s missing", qPrintable(name));
    return bar;
  };
  // The output drawer's level bars: the image holds the attenuation, top of the bar is 0.
  const std::array<int, 6> outputBars{6, 7, 8, 9, 10, 13};
  for (int slot = 0; slot < 6; ++slot) {
    QSlider* bar = find(window.outputDrawerContent(), QStringLiteral("suiTrackBar%1").arg(outputBars[slot]));
    m_controls.push_back({bar, [slot, bar](ParameterImage& image, int value) {
                            image.setOutputLevel(slot, static_cast<std::uint8_t>(bar->maximum() - value));
                          }});
  }
  // The input drawer's preset level bars.
  for (int input = 0; input < 5; ++input) {
    QSlider* bar = find(window.inputDrawerContent(), QStringLiteral("suiTrackBar%1").arg(input + 1));
    m_controls.push_back(
        {bar, [input](ParameterImage& image, int value) { image.setPresetLevel(input, static_cast<std::uint8_t>(value)); }});
  }
  // The main fader: the level of the current input.
  QSlider* fader = find(window.centralWidget(), QStringLiteral("suiTrackBar14"), Qt::FindDirectChildrenOnly);
  m_controls.push_back({fader, [](ParameterImage& image, int value) {
                          if (image.inputSource() < 8) image.setFaderLevel(image.inputSource(), static_cast<std::uint8_t>(value));
                        }});
}

void WindowSoak::TakeModelFromWindow() { m_model = m_driver.window().image(); }

bool WindowSoak::Fail(const QString& text) {
  m_error = QStringLiteral("after %1 edits: %2").arg(m_edits).arg(text);
  return false;
}

bool WindowSoak::Reconnect() {
  if (m_driver.SearchAndConnect()) return true;
  return Fail(m_driver.error());
}

bool WindowSoak::RunEdits(int count, const std::function<void(int)>& afterEach) {
  MainWindow& window = m_driver.window();
  const ParameterImage& image = window.image();
  for (int k = 0; k < count; ++k) {
    Control& control = m_controls[m_random() % m_controls.size()];
    QSlider* bar = control.bar;
    std::uniform_int_distribution<int> pick(bar->minimum(), bar->maximum());
    int target = pick(m_random);
    while (target == bar->value()) target = pick(m_random);
    const ParameterImage before = m_model;
    control.apply(m_model, target);

    for (int attempt = 0;; ++attempt) {
      if (attempt == 20) return Fail(QStringLiteral("%1 was not answered in 20 tries").arg(bar->objectName()));
      // A reconnect took the unit's image, which already holds the edit when its request got
      // through and only the answer was late.
      if (attempt > 0 && bar->value() == target) break;
      if (window.state().connected != 1) return Fail(QStringLiteral("not connected before an edit"));
      bar->setValue(target);
      const WindowDriver::Outcome outcome = m_driver.WaitExchange();
      if (outcome == WindowDriver::Outcome::Stuck) return Fail(QStringLiteral("an edit's exchange never ended"));
      if (outcome == WindowDriver::Outcome::Answered) break;
      ++m_editTimeOuts;
      if (m_driver.status0() != QStringLiteral("Connect Fail!") || window.state().connected != 0)
        return Fail(QStringLiteral("a time-out showed \"%1\" and left connected %2")
                        .arg(m_driver.status0())
                        .arg(window.state().connected));
      if (image != m_model)
        return Fail(QStringLiteral("the time-out changed the image at %1").arg(FirstDifference(image, m_model)));
      if (!Reconnect()) return false;
      // The unit holds every answered edit, and this one only if its request got through.
      if (image != before && image != m_model)
        return Fail(QStringLiteral("after reconnecting the unit's image differs from the edits at %1")
                        .arg(FirstDifference(image, before)));
    }
    ++m_edits;
    if (image != m_model)
      return Fail(QStringLiteral("the image differs from the edits at %1").arg(FirstDifference(image, m_model)));
    if (afterEach) afterEach(m_edits);
  }
  return true;
}

bool WindowSoak::DownloadUntilStored(const QString& stateDir, int attempts) {
  MainWindow& window = m_driver.window();
  QAction* download = window.menuBar()->findChild<QAction*>(QStringLiteral("N20"));
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (window.state().connected != 1 && !Reconnect()) return false;
    if (window.image() != m_model)
      return Fail(QStringLiteral("before a download the image differs from the edits at %1")
                      .arg(FirstDifference(window.image(), m_model)));
    download->trigger();
    const WindowDriver::Outcome outcome = m_driver.WaitExchange();
    if (outcome == WindowDriver::Outcome::Stuck) return Fail(QStringLiteral("a download's exchange never ended"));
    if (outcome == WindowDriver::Outcome::Answered) {
      if (m_driver.status0() != QStringLiteral("DownLoad Success"))
        return Fail(QStringLiteral("a download ended with \"%1\"").arg(m_driver.status0()));
      const std::optional<ParameterImage> stored = m_driver.StoredImage(stateDir);
      if (!stored) return Fail(QStringLiteral("\"DownLoad Success\" but the unit stored no image"));
      if (*stored != window.image())
        return Fail(QStringLiteral("\"DownLoad Success\" but the stored image differs at %1")
                        .arg(FirstDifference(*stored, window.image())));
      return true;
    }
    ++m_downloadTimeOuts;
    if (m_driver.status0() != QStringLiteral("Connect Fail!"))
      return Fail(QStringLiteral("a failed download showed \"%1\"").arg(m_driver.status0()));
    if (window.image() != m_model) return Fail(QStringLiteral("a failed download changed the image"));
  }
  return Fail(QStringLiteral("no download succeeded in %1 tries").arg(attempts));
}

}  // namespace mzr::test
