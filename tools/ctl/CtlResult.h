#pragma once
// The outcome of one command of the command-line companion: its exit code and, on failure,
// the one line that says what went wrong.

#include <QString>

namespace mzr::ctl {

enum class ExitCode {
  ok = 0,
  noAnswerOrDiffer = 1,  // the unit did not answer, or the compared images differ
  usage = 2,
  fileError = 3,
};

struct CtlResult {
  ExitCode code = ExitCode::ok;
  QString error;  // empty on success, and for "the images differ"

  static CtlResult Ok() { return {}; }
  static CtlResult Fail(ExitCode code, const QString& error) { return {code, error}; }
};

}  // namespace mzr::ctl
