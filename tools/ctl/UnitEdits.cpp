// The scripted edits of UnitSession: one frame at a time, each sent only after the unit
// acknowledged the one before. The link remembers only its newest request, so a second
// frame sent early would leave the first one's answer unheard.

#include <QEventLoop>
#include <QSignalBlocker>

#include <array>

#include "UnitSession.h"
#include "link/EditOperation.h"
#include "link/FrameCodec.h"

namespace mzr::ctl {

namespace {

int CommandOf(WriteKind kind) {
  return static_cast<int>(kind == WriteKind::BlockWrite ? frame::Command::BlockWrite : frame::Command::Write);
}

}  // namespace

CtlResult UnitSession::SendEdit(const QString& ip, const ParameterImage& image, const WriteSpan& span,
                                const QString& what) {
  QEventLoop loop;
  const int expected = CommandOf(span.kind);
  connect(&m_link, &ParamLink::acknowledged, &loop, [&loop, expected](int command) {
    if (command == expected) loop.exit(0);
  });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  m_image = image;
  m_link.SendSpan(span);
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the write of %1").arg(what));
  return CtlResult::Ok();
}

CtlResult UnitSession::ApplyEdit(const QString& ip, EditedField field, int index,
                                 const std::function<void(ParameterImage&)>& change, const QString& what, bool quiet) {
  QEventLoop loop;
  connect(&m_link, &ParamLink::acknowledged, &loop, [&loop](int command) {
    if (command == static_cast<int>(frame::Command::Write)) loop.exit(0);
  });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  {
    // The history and the unsaved mark follow the operation's applied signal; a quiet edit
    // does not raise it.
    const QSignalBlocker silent(quiet ? &m_workspace.edits() : nullptr);
    m_workspace.edits().Apply(field, index, change);
  }
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the write of %1").arg(what));
  return CtlResult::Ok();
}

CtlResult UnitSession::Store(const QString& ip) {
  QEventLoop loop;
  connect(&m_link, &ParamLink::acknowledged, &loop, [&loop](int command) {
    if (command == static_cast<int>(frame::Command::Write)) loop.exit(0);
  });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  static constexpr std::array<std::uint8_t, 1> kStore{frame::kCommandValue};
  m_link.SendWrite(frame::kSaveCommandAddress, 1, kStore);
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the store command"));
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
