#pragma once
// Drives the real main window against one simulated unit the way an installer does, for the
// fault tests, the soak test and the soak benchmark: search from the Communication menu and
// connect from the device list, wait for the end of each exchange with the unit (answered,
// or "Connect Fail!" when Timer2 runs out), and make sure every late answer the unit still
// owes the program has been handled before the image is looked at. Everything it sends stays
// on 127.0.0.0/8. Also here: the event-loop heartbeat that records the longest stall, and
// the resident memory of the process.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "model/ParameterImage.h"

class QSlider;

namespace mzr {
class MainWindow;
}

namespace mzr::test {

// A timer that ticks every few milliseconds and records the longest time between two ticks:
// how long the event loop was kept from running (by the program's handlers or by whoever
// drives it).
class StallMeter final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(StallMeter)

 public:
  explicit StallMeter(int periodMs = 5, QObject* parent = nullptr);
  void Restart();
  qint64 longestGapMs() const { return m_longestNs / 1000000; }
  double longestGapMsExact() const { return static_cast<double>(m_longestNs) / 1e6; }

 private:
  QTimer m_timer;
  QElapsedTimer m_clock;
  qint64 m_longestNs = 0;
};

// VmRSS of this process in KiB (0 when /proc is not there).
long ResidentKiB();

class WindowDriver final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(WindowDriver)

 public:
  enum class Outcome { Answered, TimedOut, Stuck };

  // unitIp: the unit's loopback address; port: the port the window and the unit share.
  WindowDriver(MainWindow& window, QString unitIp, quint16 port, QObject* parent = nullptr);

  // Searches from the Communication menu until the unit is listed (at most attempts
  // searches; a search whose request the unit lost finds nothing), then selects its row and
  // presses Connect. False with the reason in error() when it never gets listed.
  bool SearchAndConnect(int attempts = 30);
  // Selects the unit's row left by the last search and presses Connect, without searching.
  bool ConnectListed();

  // Runs the event loop until the link's exchange has ended: Timer2 stopped by an answer or
  // run out. TimedOut when "Connect Fail!" came during the wait; Stuck when neither happened
  // within limitMs.
  Outcome WaitExchange(int limitMs = 60000);

  // Sends a one-byte read from a socket of its own to the unit and waits until the unit has
  // logged it (probeOutcome gives the outcome of the probe's line in the simulator's log once
  // it is there) and, when the unit answered it, until the answer is here. The unit handles
  // and answers requests in the order they come, so after this every answer it owed the
  // program has reached the program's socket; the wait ends once the program has read them
  // all. False with the reason in error() when the unit never logs the probe.
  bool Settle(const std::function<std::optional<QString>(quint16 probePort)>& probeOutcome);

  // Every "Connect Fail!" and every "DownLoad Success" the window showed so far.
  int connectFails() const { return m_connectFails; }
  int downloadSuccesses() const { return m_downloadSuccesses; }
  int searches() const { return m_searches; }
  int connects() const { return m_connects; }
  // Called at every "DownLoad Success" the moment it is shown.
  void setOnDownloadSuccess(std::function<void()> hook) { m_onDownloadSuccess = std::move(hook); }

  QString status0() const;
  const QString& error() const { return m_error; }
  MainWindow& window() { return m_window; }
  const QString& unitIp() const { return m_unitIp; }
  // The unit's stored image in a state folder (its project file), if it is there and good.
  std::optional<ParameterImage> StoredImage(const QString& stateDir) const;
  QString StoredImagePath(const QString& stateDir) const;

 private:
  bool WaitSearch();

  MainWindow& m_window;
  QString m_unitIp;
  quint16 m_port;
  QUdpSocket m_probe;
  int m_connectFails = 0;
  int m_downloadSuccesses = 0;
  int m_searches = 0;
  int m_connects = 0;
  std::function<void()> m_onDownloadSuccess;
  QString m_error;
};

// The first image address where two images differ, or -1.
int FirstDifference(const ParameterImage& a, const ParameterImage& b);

// Edits through the window's controls, one at a time, each waited for: a moved bar stores
// into the image and sends its span; a lost request ends in "Connect Fail!", after which the
// soak searches, connects (which takes the unit's image) and makes the same edit again. A
// model image gets every edit too, so the program's image can be compared with what was
// edited at any time.
class WindowSoak final {
  Q_DISABLE_COPY_MOVE(WindowSoak)

 public:
  WindowSoak(WindowDriver& driver, std::uint32_t seed);

  // Starts the model from the program's image (call once connected).
  void TakeModelFromWindow();
  // Makes count more edits; afterEach(n) runs after the n-th edit of the soak was answered.
  // False with the reason in error() on the first fault.
  bool RunEdits(int count, const std::function<void(int)>& afterEach = {});
  // File > Download until "DownLoad Success", reconnecting after each "Connect Fail!" (at
  // most attempts downloads). False with the reason in error() otherwise.
  bool DownloadUntilStored(const QString& stateDir, int attempts = 50);

  const ParameterImage& model() const { return m_model; }
  int edits() const { return m_edits; }
  int editTimeOuts() const { return m_editTimeOuts; }
  int downloadTimeOuts() const { return m_downloadTimeOuts; }
  const QString& error() const { return m_error; }

 private:
  struct Control {
    QSlider* bar;
    std::function<void(ParameterImage&, int value)> apply;  // what the handler stores
  };

  bool Fail(const QString& text);
  bool Reconnect();

  WindowDriver& m_driver;
  std::vector<Control> m_controls;
  std::mt19937 m_random;
  ParameterImage m_model;
  int m_edits = 0;
  int m_editTimeOuts = 0;
  int m_downloadTimeOuts = 0;
  QString m_error;
};

}  // namespace mzr::test
