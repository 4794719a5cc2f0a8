#pragma once
// The span each editor sends when it changes a field: fixed per field, sometimes wider
// than the field itself (an input change also carries faders 0..3, a monitor change the
// whole monitor table). The bytes always come from the image.

#include <cstddef>
#include <cstdint>

#include "model/ParameterImage.h"

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
// Every field has exactly one rule below, in this order (checked at compile time).
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
inline constexpr std::size_t kEditedFieldCount = static_cast<std::size_t>(EditedField::prologicMask) + 1;

struct WriteSpanRule {
  EditedField field;
  WriteKind kind;
  int base;
  int stride;  // address = base + stride * index
  int count;
};

inline constexpr WriteSpanRule kWriteSpanRules[] = {
    {EditedField::presetLevel, WriteKind::Write, addr::presetLevel, 0, 5},
    {EditedField::presetEnableMask, WriteKind::Write, addr::presetEnableMask, 0, 1},
    {EditedField::micRouteFlags, WriteKind::Write, addr::micRouteFlags, 0, 1},
    {EditedField::subLpf, WriteKind::Write, addr::subLpfFreq, 0, 2},
    {EditedField::outputLevel, WriteKind::Write, addr::outputLevel, 1, 1},
    {EditedField::outputDelay, WriteKind::Write, addr::outputDelay, 1, 1},
    {EditedField::polarityMask, WriteKind::Write, addr::polarityMask, 0, 1},
    {EditedField::muteMask, WriteKind::Write, addr::muteMask, 0, 1},
    {EditedField::subPeqFreqGain, WriteKind::Write, addr::subPeq, 4, 3},
    {EditedField::subPeqQ, WriteKind::Write, addr::subPeq, 4, 4},
    {EditedField::toneBass, WriteKind::Write, addr::toneControl, 4, 2},
    {EditedField::toneTreble, WriteKind::Write, addr::toneControl + 2, 4, 2},
    {EditedField::geqGain, WriteKind::Write, addr::geqGain, 1, 1},
    {EditedField::monitorLevel, WriteKind::Write, addr::monitorLevel, 0, 12},
    {EditedField::serialNumber, WriteKind::BlockWrite, addr::serialNumber, 0, 16},
    {EditedField::inputSource, WriteKind::Write, addr::inputSource, 0, 5},
    {EditedField::faderLevel, WriteKind::Write, addr::faderLevel, 0, 8},
    {EditedField::testSignal, WriteKind::Write, addr::testSignalMask, 0, 2},
    {EditedField::fadeTime, WriteKind::BlockWrite, addr::fadeTime, 0, 1},
    {EditedField::powerOnSource, WriteKind::BlockWrite, addr::powerOnSource, 0, 1},
    {EditedField::masterFlags, WriteKind::Write, addr::masterFlags, 0, 1},
    {EditedField::prologicMask, WriteKind::Write, addr::prologicMask, 0, 1},
};

namespace detail {
// One rule per field, at the field's own position, with a span inside the image: a field
// added to EditedField without its rule stops the build here.
constexpr bool EveryFieldHasItsRule() {
  if (std::size(kWriteSpanRules) != kEditedFieldCount) return false;
  for (std::size_t i = 0; i < kEditedFieldCount; ++i) {
    const WriteSpanRule& rule = kWriteSpanRules[i];
    if (static_cast<std::size_t>(rule.field) != i || rule.count <= 0 || rule.base < 0) return false;
    if (rule.base + rule.count > static_cast<int>(kImageSize)) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::EveryFieldHasItsRule(), "every EditedField needs exactly one rule, in enum order");

constexpr WriteSpan WriteSpanFor(EditedField field, int index = 0) {
  const WriteSpanRule& rule = kWriteSpanRules[static_cast<std::size_t>(field)];
  return {rule.kind, static_cast<std::uint16_t>(rule.base + rule.stride * index),
          static_cast<std::uint16_t>(rule.count)};
}

// Whole-image transfers: read all reads 852 bytes at 0; download all and the EQ copy
// block-write 852 bytes at 0.
inline constexpr WriteSpan kWholeImage{WriteKind::BlockWrite, 0, 852};
// A unit's new network settings: address, mask and gateway, 12 bytes from the address, sent
// to the unit the device list selected.
inline constexpr WriteSpan kNetworkSettings{WriteKind::Write, addr::ipAddress, 12};
static_assert(addr::subnetMask == addr::ipAddress + 4 && addr::gateway == addr::ipAddress + 8,
              "the network-settings write carries address, mask and gateway back to back");

}  // namespace mzr
