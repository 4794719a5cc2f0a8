#pragma once
// One client per UDP port on this PC. Every process that binds the port shares it with the
// others (the simulator must sit beside the program), and a unit's answer reaches only one
// of the sockets that share it: two clients would take each other's answers, and a backup
// could save another unit's settings. The program and mzr4700ctl therefore take the same
// lock: a socket in the kernel's abstract namespace named after the port. Only one socket
// can hold a name; the kernel drops it with its holder however that ends, and no file is
// involved, so nothing in a shared folder can be redirected by a planted link or held by
// a stale file. A contender that finds the name taken connects to it: the kernel tells the
// holder's process id (SO_PEERCRED), and the holder answers with what it is.

#include <QString>

#include <optional>
#include <thread>

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
    CannotOpen,    // the lock's socket cannot be made
  };

  // What holds a port, as far as can be told.
  struct Occupant {
    std::optional<Holder> holder;  // what the holder says it is; empty when it said nothing
    qint64 pid = 0;                // from the kernel; 0 when it cannot be told
    QString command;               // the process's name from /proc when it did not say
  };

  PortLock(quint16 port, Holder self);
  ~PortLock();  // releases the lock

  // Takes the lock. The program never waits. A companion command or the bridge waits up to
  // waitMs while a companion command holds the port (commands started side by side take
  // turns), and gives up at once when the program or the bridge holds it.
  Outcome Acquire(int waitMs);
  bool held() const { return m_held; }

  // After a failed Acquire: one English sentence naming the port and what holds it (or why
  // the lock could not be taken), and the same in Chinese for the program's message box.
  QString refusal() const;
  QString refusalChinese() const;

  // The lock's name in the abstract namespace, without its leading NUL byte.
  static QByteArray NameFor(quint16 port);
  // What holds the port now; nothing when it is free.
  static std::optional<Occupant> Ask(quint16 port);
  // The name a holder goes by in refusals: "mzr4700", "mzr4700ctl" or "mzr4700ctl bridge".
  static QString HolderName(Holder holder);

 private:
  // Answers each contender with this holder's name, until the lock is released.
  void Serve() const;

  quint16 m_port;
  Holder m_self;
  int m_fd = -1;
  int m_wake[2] = {-1, -1};  // written to end Serve
  std::thread m_server;
  bool m_held = false;
  Outcome m_last = Outcome::Locked;
  Occupant m_occupant;
  QString m_openError;
};

}  // namespace mzr
