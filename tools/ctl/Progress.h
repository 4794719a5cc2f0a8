#pragma once
// Progress lines for a person watching: written to stderr only when stderr is a terminal,
// so a script or a cron job that captures it sees nothing but errors.

#include <QString>
#include <QTextStream>

#include <unistd.h>

namespace mzr::ctl {

class Progress final {
  Q_DISABLE_COPY_MOVE(Progress)

 public:
  explicit Progress(QTextStream& err) : m_err(err), m_enabled(isatty(STDERR_FILENO) == 1) {}

  bool enabled() const { return m_enabled; }
  void Line(const QString& text) {
    if (!m_enabled) return;
    m_err << text << '\n';
    m_err.flush();
  }

 private:
  QTextStream& m_err;
  const bool m_enabled;
};

}  // namespace mzr::ctl
