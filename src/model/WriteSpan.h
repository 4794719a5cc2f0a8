#pragma once
// The span each editor sends when it changes a field: fixed per field, sometimes wider
// than the field itself (an input change also carries faders 0..3, a monitor change the
// whole monitor table). The bytes always come from the image.

#include <cstdint>

namespace mzr {

enum class WriteKind { Write, BlockWrite };

struct WriteSpan {
  WriteKind kind;
  std::uint16_t address;
  std::uint16_t count;
  friend bool operator==(const WriteSpan&, const WriteSpan&) = default;
};

// Fields that editors change; the index argument is the output slot, channel row, input,
// section or band as the field needs (ignored where the span does not depend on it).
enum class EditedField {
  presetLevel,
  presetEnableMask,
  micRouteFlags,
  subLpf,              // subLpfFreq or subLpfSlope
  outputLevel,         // index: output slot
  outputDelay,         // index: output slot
  polarityMask,
  muteMask,
  subPeqFreqGain,      // index: section k
  subPeqQ,             // index: section k
  toneBass,            // index: channel row
  toneTreble,          // index: channel row
  geqGain,             // index: 28 * row + band
  monitorLevel,
  serialNumber,
  inputSource,
  faderLevel,
  testSignal,          // testSignalMask or testSignalType
  fadeTime,
  powerOnSource,
  masterFlags,
  prologicMask,
};

struct WriteSpanRule {
  EditedField field;
  WriteKind kind;
  std::uint16_t base;
  std::uint16_t stride;  // address = base + stride * index
  std::uint16_t count;
};

inline constexpr WriteSpanRule kWriteSpanRules[] = {
    {EditedField::presetLevel, WriteKind::Write, 186, 0, 5},
    {EditedField::presetEnableMask, WriteKind::Write, 194, 0, 1},
    {EditedField::micRouteFlags, WriteKind::Write, 195, 0, 1},
    {EditedField::subLpf, WriteKind::Write, 196, 0, 2},
    {EditedField::outputLevel, WriteKind::Write, 198, 1, 1},
    {EditedField::outputDelay, WriteKind::Write, 206, 1, 1},
    {EditedField::polarityMask, WriteKind::Write, 214, 0, 1},
    {EditedField::muteMask, WriteKind::Write, 215, 0, 1},
    {EditedField::subPeqFreqGain, WriteKind::Write, 216, 4, 3},
    {EditedField::subPeqQ, WriteKind::Write, 216, 4, 4},
    {EditedField::toneBass, WriteKind::Write, 224, 4, 2},
    {EditedField::toneTreble, WriteKind::Write, 226, 4, 2},
    {EditedField::geqGain, WriteKind::Write, 252, 1, 1},
    {EditedField::monitorLevel, WriteKind::Write, 489, 0, 12},
    {EditedField::serialNumber, WriteKind::BlockWrite, 80, 0, 16},
    {EditedField::inputSource, WriteKind::Write, 822, 0, 5},
    {EditedField::faderLevel, WriteKind::Write, 823, 0, 8},
    {EditedField::testSignal, WriteKind::Write, 831, 0, 2},
    {EditedField::fadeTime, WriteKind::BlockWrite, 833, 0, 1},
    {EditedField::powerOnSource, WriteKind::BlockWrite, 834, 0, 1},
    {EditedField::masterFlags, WriteKind::Write, 835, 0, 1},
    {EditedField::prologicMask, WriteKind::Write, 836, 0, 1},
};

constexpr WriteSpan WriteSpanFor(EditedField field, int index = 0) {
  for (const auto& rule : kWriteSpanRules) {
    if (rule.field == field) {
      return {rule.kind, static_cast<std::uint16_t>(rule.base + rule.stride * index), rule.count};
    }
  }
  return {WriteKind::Write, 0, 0};
}

// Whole-image transfers: read all reads 852 bytes at 0; download all and the EQ copy
// block-write 852 bytes at 0.
inline constexpr WriteSpan kWholeImage{WriteKind::BlockWrite, 0, 852};

}  // namespace mzr
