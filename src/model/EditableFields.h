#pragma once
// Every value an editor of the program changes, as data: the field and record member as the
// field table names them (the names `mzr4700ctl show --json`, `get` and `set` use), which
// rows and entries an editor reaches, the stored range and step, and the span the editor
// sends (EditedField; none for the profile texts, which stay in the image and the project
// file). Widgets take their ranges from here, the companion its rules for `set`. Checked at
// compile time: every EditedField has a row, every range is ordered, every slider scale maps
// its field's stored range onto its positions exactly.

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "model/WriteSpan.h"

namespace mzr {

struct EditableField {
  std::string_view field;   // as FieldTable names it
  std::string_view member;  // record member, or empty
  int rows;                 // rows an editor reaches (geqGain: the five full-range channels)
  int entries;              // elements an editor reaches (outputs 6 and 7 are carried only)
  int low;                  // stored range
  int high;
  int step;                 // smallest change, in stored units (0.1 dB for the gains)
  std::optional<EditedField> edited;  // nothing: the image and the file only (profile texts)
  bool singleBit = false;             // 0 or exactly one bit (the test-signal outputs)

  constexpr bool Allows(int v) const {
    if (v < low || v > high) return false;
    return !singleBit || (v & (v - 1)) == 0;
  }
};

using EF = EditedField;

inline constexpr EditableField kEditableFields[] = {
    {"presetLevel", "", 1, 5, 0, 100, 1, EF::presetLevel},
    {"presetEnableMask", "", 1, 1, 0, 31, 1, EF::presetEnableMask},
    {"micRouteFlags", "", 1, 1, 0, 7, 1, EF::micRouteFlags},
    {"subLpfFreq", "", 1, 1, 0, 10, 1, EF::subLpf},
    {"subLpfSlope", "", 1, 1, 0, 4, 1, EF::subLpf},
    {"outputLevel", "", 1, 6, 0, 60, 1, EF::outputLevel},
    {"outputDelay", "", 1, 6, 0, 200, 1, EF::outputDelay},
    {"polarityMask", "", 1, 1, 0, 255, 1, EF::polarityMask},
    {"muteMask", "", 1, 1, 0, 255, 1, EF::muteMask},
    {"subPeq", "freq", 1, 2, 20, 120, 1, EF::subPeqFreqGain},
    {"subPeq", "gain", 1, 2, -120, 30, 1, EF::subPeqFreqGain},
    {"subPeq", "qIndex", 1, 2, 0, 38, 1, EF::subPeqQ},
    {"toneControl", "bassGain", 1, 5, -60, 60, 1, EF::toneBass},
    {"toneControl", "bassFreq", 1, 5, 0, 10, 1, EF::toneBass},
    {"toneControl", "trebleGain", 1, 5, -60, 60, 1, EF::toneTreble},
    {"toneControl", "trebleFreq", 1, 5, 0, 9, 1, EF::toneTreble},
    {"geqGain", "", 5, kGeqBands, -60, 60, 1, EF::geqGain},
    {"monitorLevel", "", 1, 6, 0, 70, 1, EF::monitorLevel},
    {"serialNumber", "", 1, 1, 0, 0, 1, EF::serialNumber},
    {"inputSource", "", 1, 1, 0, kInputs - 1, 1, EF::inputSource},
    {"faderLevel", "", 1, 5, 0, 100, 1, EF::faderLevel},
    {"testSignalMask", "", 1, 1, 0, 128, 1, EF::testSignal, true},
    {"testSignalType", "", 1, 1, 0, 5, 1, EF::testSignal},
    {"fadeTime", "", 1, 1, 0, 9, 1, EF::fadeTime},
    {"powerOnSource", "", 1, 1, 0, 5, 1, EF::powerOnSource},
    {"masterFlags", "", 1, 1, 0, 3, 1, EF::masterFlags},
    {"prologicMask", "", 1, 1, 0, 15, 1, EF::prologicMask},
    {"digitalPlayer1", "", 1, 1, 0, 0, 1, std::nullopt},
    {"digitalPlayer2", "", 1, 1, 0, 0, 1, std::nullopt},
    {"projectName", "", 1, 1, 0, 0, 1, std::nullopt},
    {"theaterName", "", 1, 1, 0, 0, 1, std::nullopt},
    {"screenNumber", "", 1, 1, 0, 0, 1, std::nullopt},
    {"projectorModel", "", 1, 1, 0, 0, 1, std::nullopt},
    {"automationSystem", "", 1, 1, 0, 0, 1, std::nullopt},
    {"comments", "", 1, 1, 0, 0, 1, std::nullopt},
};

// The index of a field's (and member's) row, or -1 when no editor changes it. Indexes, not
// pointers, so that every compiler, sanitizers included, evaluates the checks below.
constexpr int EditableIndex(std::string_view field, std::string_view member = {}) {
  for (std::size_t i = 0; i < std::size(kEditableFields); ++i) {
    if (kEditableFields[i].field == field && kEditableFields[i].member == member) return static_cast<int>(i);
  }
  return -1;
}

// The row of a field (and member), or nothing when no editor changes it.
inline const EditableField* FindEditable(std::string_view field, std::string_view member = {}) {
  const int i = EditableIndex(field, member);
  return i < 0 ? nullptr : &kEditableFields[static_cast<std::size_t>(i)];
}

// The row that must exist: stops the build when a widget asks for a field the table lacks.
constexpr const EditableField& Editable(std::string_view field, std::string_view member = {}) {
  const int i = EditableIndex(field, member);
  if (i < 0) throw "no editable field of that name";  // only ever evaluated at compile time
  return kEditableFields[static_cast<std::size_t>(i)];
}

namespace detail {
constexpr bool EveryEditedFieldHasARow() {
  for (std::size_t f = 0; f < kEditedFieldCount; ++f) {
    bool found = false;
    for (const EditableField& row : kEditableFields) {
      if (row.edited && static_cast<std::size_t>(*row.edited) == f) found = true;
    }
    if (!found) return false;
  }
  for (const EditableField& row : kEditableFields) {
    if (row.low > row.high || row.step <= 0 || row.rows <= 0 || row.entries <= 0) return false;
  }
  return true;
}
// A slider shows its field's whole stored range and nothing beyond it.
constexpr bool ScaleCovers(const SliderScale& scale, const EditableField& row) {
  const int a = scale.ToStored(scale.minPosition);
  const int b = scale.ToStored(scale.maxPosition);
  return (a < b ? a : b) == row.low && (a < b ? b : a) == row.high;
}
}  // namespace detail
static_assert(detail::EveryEditedFieldHasARow(), "every EditedField needs a row, and every range low <= high");
static_assert(detail::ScaleCovers(slider::geqBand, Editable("geqGain")));
static_assert(detail::ScaleCovers(slider::shelfGain, Editable("toneControl", "bassGain")));
static_assert(detail::ScaleCovers(slider::shelfGain, Editable("toneControl", "trebleGain")));
static_assert(detail::ScaleCovers(slider::bassCorner, Editable("toneControl", "bassFreq")));
static_assert(detail::ScaleCovers(slider::trebleCorner, Editable("toneControl", "trebleFreq")));
static_assert(detail::ScaleCovers(slider::subPeqGain, Editable("subPeq", "gain")));
static_assert(detail::ScaleCovers(slider::subPeqFreq, Editable("subPeq", "freq")));
static_assert(detail::ScaleCovers(slider::subPeqQ, Editable("subPeq", "qIndex")));
static_assert(detail::ScaleCovers(slider::outputLevel, Editable("outputLevel")));
static_assert(detail::ScaleCovers(slider::outputDelay, Editable("outputDelay")));
static_assert(detail::ScaleCovers(slider::monitorLevel, Editable("monitorLevel")));
static_assert(detail::ScaleCovers(slider::fader, Editable("faderLevel")));
static_assert(detail::ScaleCovers(slider::fader, Editable("presetLevel")));

}  // namespace mzr
