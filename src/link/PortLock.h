#pragma once
// One client per UDP port on this PC. Every process that binds the port shares it with the
// others (the simulator must sit beside the program), and a unit's answer reaches only one
// of the sockets that share it: two clients would take each other's answers, and a backup
// could save another unit's settings. The program and mzr4700ctl therefore take the same
// lock, one file per port in the temporary folder, locked with flock so that the kernel
// releases it when the holder exits or is killed. The holder writes its kind and process id
// into the file so that a refusal can say what holds the port.

#include <QString>

#include <optional>

namespace mzr {

class PortLock final {
  Q_DISABLE_COPY_MOVE(PortLock)

 public:
  // Bridge: mzr4700ctl bridge, the show automation service, which holds the port for as
  // long as it runs.
  enum class Holder { Program, Companion, Bridge };

  enum class Outcome {
    Locked,
    HeldByOther,   // another client holds the port; refusal() says which
    CannotOpen,    // the lock file cannot be created or opened
  };

  PortLock(quint16 port, Holder self);
  ~PortLock();  // releases the lock

  // Takes the lock. The program never waits. A companion command or the bridge waits up to
  // waitMs while a companion command holds the port (commands started side by side take
  // turns), and gives up at once when the program or the bridge holds it.
  Outcome Acquire(int waitMs);
  bool held() const { return m_held; }

  // After a failed Acquire: one English sentence naming the port and what holds it (or why
  // the lock file could not be used), and the same in Chinese for the program's message box.
  QString refusal() const;
  QString refusalChinese() const;

  static QString PathFor(quint16 port);
  // The name a holder goes by in refusals: "mzr4700", "mzr4700ctl" or "mzr4700ctl bridge".
  static QString HolderName(Holder holder);

 private:
  struct Occupant {
    std::optional<Holder> holder;  // empty when the file does not say (yet)
    qint64 pid = 0;
  };
  Occupant ReadOccupant() const;
  void WriteSelf();

  quint16 m_port;
  Holder m_self;
  int m_fd = -1;
  bool m_held = false;
  Outcome m_last = Outcome::Locked;
  Occupant m_occupant;
  QString m_openError;
};

}  // namespace mzr
