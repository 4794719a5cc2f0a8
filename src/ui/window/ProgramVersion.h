#pragma once
// The program's file version text ("1.0.1.3"), taken from the project version at build time.

#include <QString>

namespace mzr {

inline QString ProgramFileVersion() { return QStringLiteral(MZR_VERSION_TEXT); }

}  // namespace mzr
