#pragma once
// The automation bridge's side towards the unit: one queue of commands from every client,
// carried out one at a time, each frame sent only after the unit acknowledged the one
// before (the link remembers only its newest request, so an early second frame would leave
// the first one's answer unheard). It is driven by the link's signals, never by a local
// event loop, so the server keeps serving every client while a frame waits.
//
// The frames are those of the program's controls: the main fader's span, the master mute's,
// the input buttons' (with the fader frame an input change carries), and for "set" the span
// of the field's editor. The image is read when the bridge starts and again before the next
// command after any time-out, so a unit that was away or restarted is served from what it
// holds, not from what the bridge last sent.

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "bridge/BridgeCommand.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

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
  struct Frame {
    WriteSpan span;     // from the image
    bool store = false; // the store command instead
  };
  struct Job {
    quint64 ticket;
    BridgeCommand command;
  };
  // What a command does: a reply at once, or frames to send (the image already changed).
  struct Plan {
    std::optional<QString> reply;
    std::vector<Frame> frames;
  };

  void Pump();
  Plan Resolve(const BridgeCommand& command);
  Plan FaderTo(int level);
  Plan ChooseInput(int input);
  void ReadImage();
  void SendFrame(const Frame& frame);
  void Finish(const QString& reply);
  void FailAll(const QString& reason);
  void OnAcknowledged(int command);
  void OnImageReceived();
  void OnTimedOut();
  QString NoAnswer(const QString& what) const;

  // Stores a change in the workspace's image (the frames go out one by one from the queue).
  void Store(const std::function<void(ParameterImage&)>& change);

  Workspace& m_workspace;
  ParameterImage& m_image;  // the workspace's
  QString m_unitAddress;
  int m_timeoutMs;
  std::deque<Job> m_jobs;
  Step m_step = Step::Idle;
  bool m_imageValid = false;
  bool m_pumping = false;
  std::vector<Frame> m_frames;  // of the job at the head, still to send
  std::size_t m_nextFrame = 0;
  int m_expected = 0;           // the command byte whose acknowledgement is awaited
  std::optional<int> m_lastInput;  // the input before the current one, for "last"
};

}  // namespace mzr::bridge
