#pragma once
// The automation bridge's side towards the unit: one queue of commands from every client,
// carried out one at a time. Queries and refusals are answered from the image; every edit
// is the workspace's intent for it (the same plan the window's control carries out), handed
// to the edit operation's acknowledged queue, which sends each frame only after the unit
// acknowledged the one before. It is driven by signals, never by a local event loop, so the
// server keeps serving every client while a frame waits.
//
// The image is read when the bridge starts and again before the next command after any
// time-out, so a unit that was away or restarted is served from what it holds, not from
// what the bridge last sent.

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "bridge/BridgeCommand.h"
#include "link/EditPlan.h"
#include "model/ParameterImage.h"

namespace mzr {
class Workspace;
}  // namespace mzr

namespace mzr::bridge {

class BridgeUnit final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(BridgeUnit)

 public:
  // The workspace holds the unit's image and outlives the bridge; its link is open. Every
  // change goes into the image through the workspace's edit operation, as an editor's does.
  // unitAddress is the one unit every frame goes to.
  BridgeUnit(Workspace& workspace, const QString& unitAddress, int timeoutMs, QObject* parent = nullptr);

  // Reads the unit's image now, not only when the first command comes.
  void Start();
  // Queues a command; its one reply line comes with finished(ticket, ...), possibly before
  // Submit returns (queries and refusals answer at once when nothing waits before them).
  void Submit(quint64 ticket, const BridgeCommand& command);

  bool imageValid() const { return m_imageValid; }
  bool busy() const { return m_step != Step::Idle; }
  qsizetype queued() const { return static_cast<qsizetype>(m_jobs.size()); }

 signals:
  void finished(quint64 ticket, const QString& reply);
  // Log lines: the image read, a unit that stopped answering.
  void note(const QString& line);

 private:
  enum class Step { Idle, Reading, Sending };
  struct Job {
    quint64 ticket;
    BridgeCommand command;
  };
  // What a command does: a reply at once, or an intent's plan to carry out.
  struct Resolved {
    std::optional<QString> reply;
    EditPlan plan;
  };

  void Pump();
  Resolved Resolve(const BridgeCommand& command);
  Resolved Intent(EditPlan plan) const;
  Resolved ChooseInput(int input);
  void ReadImage();
  void Finish(const QString& reply);
  void FailAll(const QString& reason);
  void OnPlanFinished(quint64 ticket, const PlanOutcome& outcome);
  void OnImageReceived();
  void OnTimedOut();
  QString NoAnswer(const QString& what) const;

  Workspace& m_workspace;
  ParameterImage& m_image;  // the workspace's
  QString m_unitAddress;
  int m_timeoutMs;
  std::deque<Job> m_jobs;
  Step m_step = Step::Idle;
  bool m_imageValid = false;
  bool m_pumping = false;
  quint64 m_planTicket = 0;        // the edit operation's ticket of the plan being sent
  std::optional<int> m_lastInput;  // the input before the current one, for "last"
};

}  // namespace mzr::bridge
