#pragma once
// Runs one parsed command of mzr4700ctl: reads and writes project files, talks to units
// through the program's own link and discovery, and prints the results. Results go to out,
// progress lines to err; the caller prints the error line of a failed result.

#include <QTextStream>

#include <memory>

#include "CtlArguments.h"
#include "CtlResult.h"
#include "UnitSession.h"
#include "link/PortLock.h"
#include "model/ParameterImage.h"

namespace mzr::ctl {

class CtlRunner final {
  Q_DISABLE_COPY_MOVE(CtlRunner)

 public:
  CtlRunner(CtlArguments arguments, QTextStream& out, QTextStream& err);
  ~CtlRunner();

  CtlResult Run();

 private:
  CtlResult Show();
  CtlResult Diff();
  CtlResult Curve();
  CtlResult Search();
  CtlResult Backup();
  CtlResult BackupAll();
  CtlResult Restore();
  CtlResult Restart();
  CtlResult SetNet();
  CtlResult Audit();     // AuditCommand.cpp
  CtlResult GetFields();  // FieldCommands.cpp
  CtlResult SetFields();  // FieldCommands.cpp
  CtlResult Bridge();     // BridgeCommandRun.cpp
  CtlResult Align();      // AlignCommand.cpp
  CtlResult Measure();    // MeasureCommand.cpp

  // A project file into image; a file error names the path and the program's message.
  CtlResult LoadFile(const QString& path, ParameterImage& image) const;
  CtlResult SaveFile(const QString& path, const ParameterImage& image) const;
  // A diff operand: a unit when it is an address and no such file exists, else a file.
  CtlResult LoadOperand(const QString& operand, ParameterImage& image);
  // The link to the units, opened on first use.
  CtlResult Session(UnitSession** session);

  CtlArguments m_args;
  QTextStream& m_out;
  QTextStream& m_err;
  // Held while the link is open; declared first so it is released after the socket closes.
  // Takes this PC's lock of the unit's UDP port for the rest of the run, waiting up to
  // waitMs for a companion command that holds it; Ok, or the refusal naming the holder.
  CtlResult LockPort(quint16 port, PortLock::Holder holder, int waitMs);

  std::unique_ptr<PortLock> m_portLock;
  std::unique_ptr<UnitSession> m_session;
};

}  // namespace mzr::ctl
