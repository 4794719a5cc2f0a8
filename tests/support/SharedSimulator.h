#pragma once
// One mzr4700-sim for a whole test binary: the first test that asks starts it, and it is
// started again only when a test asks for other options. Before each test every unit gets
// back the image it started with (one block write each, answered before the test goes on),
// and LogLines() gives the log from there on, so the tests that share it stay independent.
// For tests that only read and write settings: a restart or a move of a unit is not undone,
// so such tests start a SimProcess of their own. The units sit at 127.0.0.2, 127.0.0.3, ...
// (no --first-address).

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <memory>
#include <vector>

#include "support/SimProcess.h"

namespace mzr::test {

class SharedSimulator final {
  Q_DISABLE_COPY_MOVE(SharedSimulator)

 public:
  SharedSimulator() = default;

  // The simulator with these arguments (without --port and --log) on port(), its units as
  // they started. False with the reason in error when it cannot be started or reset.
  bool Acquire(const QStringList& arguments, QString* error);
  quint16 port() const { return m_port; }

  // The log lines written since the last Acquire.
  QList<QJsonObject> LogLines() const;
  // Waits until the log holds count lines since the last Acquire.
  bool WaitForLogLines(qsizetype count, int timeoutMs = 10000) const;

 private:
  bool Start(const QStringList& arguments, QString* error);
  bool Reset(QString* error);

  std::unique_ptr<SimProcess> m_sim;
  QStringList m_arguments;
  quint16 m_port = 0;
  int m_units = 0;
  std::vector<QByteArray> m_startImages;  // per unit, read once after the start
  qsizetype m_skip = 0;
};

}  // namespace mzr::test
