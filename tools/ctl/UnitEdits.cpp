// The scripted edits of UnitSession: each is a plan of the workspace's intents, carried out
// by the edit operation's acknowledged queue, one frame at a time, each sent only after the
// unit acknowledged the one before.

#include <QEventLoop>

#include <map>

#include "UnitSession.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"

namespace mzr::ctl {

CtlResult UnitSession::Carry(const QString& ip, EditPlan plan, const QString& what) {
  if (plan.refusal) return CtlResult::Fail(ExitCode::usage, *plan.refusal);
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  EditOperation& edits = m_workspace.edits();
  QEventLoop loop;
  // A plan may end before Enqueue returns; every end is kept until the ticket is known.
  std::map<quint64, PlanOutcome> ended;
  quint64 ticket = 0;
  connect(&edits, &EditOperation::planFinished, &loop, [&](quint64 finished, const PlanOutcome& outcome) {
    ended[finished] = outcome;
    if (finished == ticket) loop.exit(0);
  });
  ticket = edits.Enqueue(std::move(plan));
  if (!ended.contains(ticket)) loop.exec();
  const PlanOutcome& outcome = ended[ticket];
  if (outcome.done) return CtlResult::Ok();
  if (outcome.frames <= 1) return NoAnswer(ip, what);
  CtlResult failed = NoAnswer(ip, what);
  failed.error += QStringLiteral(" (%1 of %2 frames acknowledged; nothing after the lost one was sent)")
                      .arg(outcome.acknowledged)
                      .arg(outcome.frames);
  return failed;
}

CtlResult UnitSession::Store(const QString& ip) {
  return Carry(ip, m_workspace.intents().Store(), QStringLiteral("the store command"));
}

}  // namespace mzr::ctl
