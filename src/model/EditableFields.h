#pragma once
// Every value an editor of the program changes, as data: the field and record member as the
// field table names them (the names `mzr4700ctl show --json`, `get` and `set` use), which
// rows and entries an editor reaches, the stored range and step, the span the editor sends
// (EditedField; none for the profile texts, which stay in the image and the project file)
// and, where a widget shows the value on a slider, which way up it stands. The slider scales
// the widgets use are derived from the rows here; the companion takes its `set` rules, its
// display texts and its parsing of a typed value from here. Checked at compile time: every
// EditedField has a row, each row once, every range ordered, on its step and inside its
// storage, every slider scale maps its field's stored range onto its positions exactly.

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "model/FieldTable.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "model/WriteSpan.h"

namespace mzr {

// How a widget's slider stands for a field.
enum class SliderDirection {
  none,      // no slider shows the field
  upright,   // position = stored value (horizontal bars, the faders)
  inverted,  // vertical bar, position 0 at the top = the highest stored value
};

struct EditableField {
  std::string_view field;   // as FieldTable names it
  std::string_view member;  // record member, or empty
  int rows;                 // rows an editor reaches (geqGain: the five full-range channels)
  int entries;              // elements an editor reaches (outputs 6 and 7 are carried only)
  int low;                  // stored range
  int high;
  int step;                 // smallest change, in stored units (1 = 0.1 dB for the gains)
  std::optional<EditedField> edited;  // nothing: the image and the file only (profile texts)
  SliderDirection slider = SliderDirection::none;
  bool singleBit = false;  // 0 or exactly one bit (the test-signal outputs)

  // In range, on the step, and 0 or one bit where the row says so.
  constexpr bool Allows(int v) const {
    if (v < low || v > high || (v - low) % step != 0) return false;
    return !singleBit || (v & (v - 1)) == 0;
  }
  // Whether an editor changes the element at row, index (the rest is carried, never edited).
  constexpr bool Reaches(int row, int index) const { return row >= 0 && row < rows && index >= 0 && index < entries; }
  // The slider's positions, one stored step each: an upright bar's positions are the stored
  // values; an inverted bar runs 0..high-low from the top and stores high - position.
  constexpr std::optional<SliderScale> Scale() const {
    switch (slider) {
      case SliderDirection::upright:
        return SliderScale{low, high, 0, false};
      case SliderDirection::inverted:
        return SliderScale{0, high - low, high, true};
      case SliderDirection::none:
        break;
    }
    return std::nullopt;
  }
};

namespace editable_rows {
using EF = EditedField;
inline constexpr SliderDirection kUp = SliderDirection::upright;
inline constexpr SliderDirection kDown = SliderDirection::inverted;
inline constexpr SliderDirection kNone = SliderDirection::none;

inline constexpr EditableField kRows[] = {
    {"presetLevel", "", 1, 5, 0, 100, 1, EF::presetLevel, kUp},
    {"presetEnableMask", "", 1, 1, 0, 31, 1, EF::presetEnableMask},
    {"micRouteFlags", "", 1, 1, 0, 7, 1, EF::micRouteFlags},
    {"subLpfFreq", "", 1, 1, 0, 10, 1, EF::subLpf},
    {"subLpfSlope", "", 1, 1, 0, 4, 1, EF::subLpf},
    {"outputLevel", "", 1, 6, 0, 60, 1, EF::outputLevel, kDown},
    {"outputDelay", "", 1, 6, 0, 200, 1, EF::outputDelay, kDown},
    {"polarityMask", "", 1, 1, 0, 255, 1, EF::polarityMask},
    {"muteMask", "", 1, 1, 0, 255, 1, EF::muteMask},
    {"subPeq", "freq", 1, 2, 20, 120, 1, EF::subPeqFreqGain, kUp},
    {"subPeq", "gain", 1, 2, -120, 30, 1, EF::subPeqFreqGain, kDown},
    {"subPeq", "qIndex", 1, 2, 0, 38, 1, EF::subPeqQ, kUp},
    {"toneControl", "bassGain", 1, 5, -60, 60, 1, EF::toneBass, kDown},
    {"toneControl", "bassFreq", 1, 5, 0, kBassCorners - 1, 1, EF::toneBass, kUp},
    {"toneControl", "trebleGain", 1, 5, -60, 60, 1, EF::toneTreble, kDown},
    {"toneControl", "trebleFreq", 1, 5, 0, kTrebleCorners - 1, 1, EF::toneTreble, kUp},
    {"geqGain", "", 5, kGeqBands, -60, 60, 1, EF::geqGain, kDown},
    {"monitorLevel", "", 1, 6, 0, 70, 1, EF::monitorLevel, kDown},
    {"serialNumber", "", 1, 1, 0, 0, 1, EF::serialNumber},
    {"inputSource", "", 1, 1, 0, kInputs - 1, 1, EF::inputSource},
    {"faderLevel", "", 1, 5, 0, 100, 1, EF::faderLevel, kUp},
    {"testSignalMask", "", 1, 1, 0, 128, 1, EF::testSignal, kNone, true},
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
}  // namespace editable_rows

// The one place that says which editor sends which field, and in what range.
inline constexpr auto& kEditableFields = editable_rows::kRows;

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

// The slider scale of a row that has one; a row without a slider stops the build.
consteval SliderScale SliderOf(std::string_view field, std::string_view member = {}) {
  const std::optional<SliderScale> scale = Editable(field, member).Scale();
  if (!scale) throw "no slider shows that field";
  return *scale;
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
  return true;
}
constexpr bool EachRowOnce() {
  for (std::size_t i = 0; i < std::size(kEditableFields); ++i) {
    if (EditableIndex(kEditableFields[i].field, kEditableFields[i].member) != static_cast<int>(i)) return false;
  }
  return true;
}
// Ordered, on its step, inside a signed byte, a byte or a 16-bit word; the single-bit rule
// only on a range of bits from 0.
constexpr bool RangeIsSound(const EditableField& row) {
  if (row.field.empty() || row.rows <= 0 || row.entries <= 0 || row.step <= 0) return false;
  if (row.low > row.high || (row.high - row.low) % row.step != 0) return false;
  if (row.low < -128 || row.high > 0xFFFF || (row.low < 0 && row.high > 127)) return false;
  return !row.singleBit || (row.low == 0 && row.high > 0 && (row.high & (row.high - 1)) == 0);
}
// A slider moves one stored step per position, shows the field's whole stored range and
// nothing beyond it, and its two ends come back to the same positions.
constexpr bool ScaleIsExact(const EditableField& row) {
  const std::optional<SliderScale> scale = row.Scale();
  if (!scale) return true;
  if (row.step != 1 || scale->minPosition >= scale->maxPosition) return false;
  const int a = scale->ToStored(scale->minPosition);
  const int b = scale->ToStored(scale->maxPosition);
  if ((a < b ? a : b) != row.low || (a < b ? b : a) != row.high) return false;
  if (scale->maxPosition - scale->minPosition != row.high - row.low) return false;
  return scale->ToPosition(a) == scale->minPosition && scale->ToPosition(b) == scale->maxPosition;
}
constexpr bool EveryRow(bool (*check)(const EditableField&)) {
  for (const EditableField& row : kEditableFields) {
    if (!check(row)) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::EveryEditedFieldHasARow(), "every EditedField needs a row");
static_assert(detail::EachRowOnce(), "a field (and member) has one row");
static_assert(detail::EveryRow(detail::RangeIsSound),
              "every range is ordered, on its step and inside its storage; single bits only from 0");
static_assert(detail::EveryRow(detail::ScaleIsExact), "every slider maps its stored range onto its positions exactly");

// The widgets' slider scales, by the names they have always had; each is its field's row.
namespace slider {
inline constexpr SliderScale geqBand = SliderOf("geqGain");
inline constexpr SliderScale shelfGain = SliderOf("toneControl", "bassGain");
inline constexpr SliderScale bassCorner = SliderOf("toneControl", "bassFreq");
inline constexpr SliderScale trebleCorner = SliderOf("toneControl", "trebleFreq");
inline constexpr SliderScale subPeqGain = SliderOf("subPeq", "gain");
inline constexpr SliderScale subPeqFreq = SliderOf("subPeq", "freq");
inline constexpr SliderScale subPeqQ = SliderOf("subPeq", "qIndex");
inline constexpr SliderScale outputLevel = SliderOf("outputLevel");
inline constexpr SliderScale outputDelay = SliderOf("outputDelay");
inline constexpr SliderScale monitorLevel = SliderOf("monitorLevel");
inline constexpr SliderScale presetLevel = SliderOf("presetLevel");
inline constexpr SliderScale fader = SliderOf("faderLevel");
// One pair of bars serves bass and treble gain.
static_assert(shelfGain == SliderOf("toneControl", "trebleGain"));
}  // namespace slider

// The row that governs element, or nothing when no editor changes its field. Entries no
// editor reaches still find their field's row: ask the row whether it Reaches them.
const EditableField* EditableFieldOf(const FieldElement& element);

// The element at row, index of the row's field (the member's, for a record member), or
// nothing when the field holds no such element.
std::optional<FieldElement> ElementOf(const EditableField& rule, int row = 0, int index = 0);

// The index WriteSpanFor takes for element: 28 * row + band for geqGain, else the entry.
int EditIndexOf(const FieldElement& element);

// The text the program shows for stored value v of element (UTF-8), as `show` prints it.
std::string DisplayTextOf(const FieldElement& element, int v);

// The stored value text stands for: the text the program shows for a value the rule allows
// (ignoring ASCII case, surrounding spaces and a leading '+'), else a decimal integer
// ("[+-]digits", at most six digits) the rule allows. Display texts come first: the bit masks
// show binary digits that also read as decimal. Nothing for a text element or a refused value.
std::optional<int> ParseStoredValue(const EditableField& rule, const FieldElement& element, std::string_view text);

// The range a refusal names: "0..60 (-22.0dB .. 8.0dB)", with the display texts only where
// they differ from the numbers; "0 or one bit (1, 2, 4 .. 128)" for a single-bit rule.
std::string RangeText(const EditableField& rule, const FieldElement& element);

}  // namespace mzr
