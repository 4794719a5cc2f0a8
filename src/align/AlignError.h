#pragma once
// One refusal of the alignment: the file it concerns, the line when there is one, and what
// is wrong, given back as a value and shown as one line.

#include <string>

namespace mzr {

struct AlignError {
  std::string file;
  int line = 0;  // 1-based; 0 when the fault is not on one line
  std::string message;

  std::string Text() const {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
  }
};

}  // namespace mzr
