#pragma once
// Every named field of the parameter image as data: name, device address, element size and
// count, record members, storage kind and the display text the program shows for it. Tools
// that list, print or compare images (the command-line companion) walk this table instead of
// knowing the layout themselves. The bytes no field names are listed by UncoveredBytes().

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/ParameterImage.h"

namespace mzr {

// How an element is stored.
enum class FieldKind {
  u8,
  i8,
  u16,   // little-endian
  bits,  // a mask; 1 or 2 bytes (elementSize)
  ip,    // 4 bytes, first octet first
  mac,   // 6 bytes, first byte first
  text,  // GBK, zero-terminated inside its slot
};

// How an element is shown.
enum class FieldFormat {
  number,          // plain decimal
  bits,            // binary digits, highest bit first
  fader,           // FormatFader
  tenthsDb,        // FormatTenthsDb
  outputLevelDb,   // FormatOutputLevelDb
  halfDb,          // FormatTenthsDb of 5 v (half-dB steps)
  q,               // FormatQ
  hz,              // FormatHz
  delayMs,         // FormatDelayMs
  monitorDb,       // FormatMonitorDb
  ip,              // FormatIp
  mac,             // FormatMac
  port,            // FormatPort
  bassCorner,      // BassCornerLabel
  trebleCorner,    // TrebleCornerLabel
  slope,           // "OFF" or the slope item "12dB/OCT" .. "48dB/OCT"
  speakerQ,        // the speaker processor's quality-factor list
  inputName,       // "Digital OPT 1" .. "MIC"
  powerOnName,     // the input names and "Last Selected"
  testSignalName,  // "Pink", "120Hz" .. "10KHz"
  fadeTime,        // "Fade Time 1S" .. "Fade Time 10S"
  text,            // the text decoded from GBK
};

struct FieldMember {
  std::string_view name;
  int offset;  // inside the record
  FieldKind kind;
  FieldFormat format;
};

struct FieldSpec {
  std::string_view name;  // lowerCamel, as the image's accessors
  int address;            // device address of the first element
  int elementSize;        // bytes of one element (the whole record for records)
  int count;              // elements per row; 1 for a single value
  int rows;               // 1, or the channel rows of geqGain
  int rowStride;          // bytes from one row to the next (rows > 1 only)
  FieldKind kind;         // of a plain element (records: see members)
  FieldFormat format;
  std::span<const FieldMember> members;  // empty unless the element is a record

  bool isTable() const { return count > 1 || rows > 1; }
};

// The fields in address order.
std::span<const FieldSpec> FieldTable();
const FieldSpec* FindField(std::string_view name);

// Device addresses that no named field covers, ascending: bytes the program only carries.
std::vector<int> UncoveredBytes();

// One addressable value: an element of a field, or one member of a record element.
struct FieldElement {
  const FieldSpec* field = nullptr;
  const FieldMember* member = nullptr;  // set for record members
  int row = 0;
  int index = 0;
  int address = 0;
  int size = 0;
  FieldKind kind = FieldKind::u8;
  FieldFormat format = FieldFormat::number;

  // "outputLevel[2]", "geqGain[0][14]", "subPeq[1].qIndex", "modelName".
  std::string Name() const;
};

// Every value of one field, rows first, then elements, then members.
std::vector<FieldElement> ElementsOf(const FieldSpec& field);
// Every value of every field, in table order.
std::vector<FieldElement> AllElements();

// The stored number of a numeric element (u8, i8, u16, bits); nothing for ip, mac and text.
std::optional<int> StoredNumber(const ParameterImage& image, const FieldElement& element);
// The stored value as text: the number, the dotted or dashed address, or the raw GBK bytes
// of a text with bytes outside printable ASCII written as \xNN.
std::string StoredText(const ParameterImage& image, const FieldElement& element);
// The text the program shows for the value (UTF-8).
std::string DisplayText(const ParameterImage& image, const FieldElement& element);
// A text element's bytes before its terminator (GBK); empty for other kinds.
std::string TextBytesOf(const ParameterImage& image, const FieldElement& element);

}  // namespace mzr
