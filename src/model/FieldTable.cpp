#include "model/FieldTable.h"

#include <array>
#include <cstdio>

#include "model/GbkCodec.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

using K = FieldKind;
using F = FieldFormat;

constexpr std::array<FieldMember, 3> kSubPeqMembers{{
    {"freq", 0, K::u16, F::hz},
    {"gain", 2, K::i8, F::tenthsDb},
    {"qIndex", 3, K::u8, F::q},
}};

constexpr std::array<FieldMember, 4> kToneMembers{{
    {"bassGain", 0, K::i8, F::tenthsDb},
    {"bassFreq", 1, K::u8, F::bassCorner},
    {"trebleGain", 2, K::i8, F::tenthsDb},
    {"trebleFreq", 3, K::u8, F::trebleCorner},
}};

constexpr FieldSpec Single(std::string_view name, int address, int size, K kind, F format) {
  return {name, address, size, 1, 1, 0, kind, format, {}};
}
constexpr FieldSpec Table(std::string_view name, int address, int size, int count, K kind, F format) {
  return {name, address, size, count, 1, 0, kind, format, {}};
}
constexpr FieldSpec Text(std::string_view name, int address, int width) {
  return {name, address, width, 1, 1, 0, K::text, F::text, {}};
}

const FieldSpec kFields[] = {
    Text("bannerText", addr::bannerText, 64),
    Text("modelName", addr::modelName, 16),
    Text("serialNumber", addr::serialNumber, 16),
    Text("firmwareVersion", addr::firmwareVersion, 16),
    Text("firmwareDate", addr::firmwareDate, 16),
    Single("netParam1", addr::netParam1, 2, K::u16, F::number),
    Single("netParam2", addr::netParam2, 2, K::u16, F::number),
    Single("macAddress", addr::macAddress, 6, K::mac, F::mac),
    Single("ipAddress", addr::ipAddress, 4, K::ip, F::ip),
    Single("subnetMask", addr::subnetMask, 4, K::ip, F::ip),
    Single("gateway", addr::gateway, 4, K::ip, F::ip),
    Single("udpPort", addr::udpPort, 2, K::u16, F::port),
    // The token is 17 characters and its zero; the last two bytes of its 20-byte slot are
    // never written by the program and are carried like the other unnamed bytes.
    Text("configToken", addr::configToken, 18),
    Table("presetLevel", addr::presetLevel, 1, 8, K::u8, F::fader),
    Single("presetEnableMask", addr::presetEnableMask, 1, K::bits, F::bits),
    Single("micRouteFlags", addr::micRouteFlags, 1, K::bits, F::bits),
    Single("subLpfFreq", addr::subLpfFreq, 1, K::u8, F::bassCorner),
    Single("subLpfSlope", addr::subLpfSlope, 1, K::u8, F::slope),
    Table("outputLevel", addr::outputLevel, 1, kOutputSlots, K::u8, F::outputLevelDb),
    Table("outputDelay", addr::outputDelay, 1, kOutputSlots, K::u8, F::delayMs),
    Single("polarityMask", addr::polarityMask, 1, K::bits, F::bits),
    Single("muteMask", addr::muteMask, 1, K::bits, F::bits),
    {"subPeq", addr::subPeq, 4, 2, 1, 0, K::u8, F::number, kSubPeqMembers},
    {"toneControl", addr::toneControl, 4, kChannelRows, 1, 0, K::u8, F::number, kToneMembers},
    {"geqGain", addr::geqGain, 1, kGeqBands, kChannelRows, kGeqRowStride, K::i8, F::tenthsDb, {}},
    Single("speakerFilterEnable", addr::speakerFilterEnable, 2, K::bits, F::bits),
    Single("speakerSlopes", addr::speakerSlopes, 1, K::bits, F::bits),
    Table("speakerPeqGain", addr::speakerPeqGain, 1, 6, K::i8, F::tenthsDb),
    Table("speakerPeqQ", addr::speakerPeqQ, 1, 6, K::u8, F::speakerQ),
    Single("lowDelay", addr::lowDelay, 1, K::u8, F::number),
    Single("midDelay", addr::midDelay, 1, K::u8, F::number),
    Table("speakerFreq", addr::speakerFreq, 2, 10, K::u16, F::hz),
    Table("bandGain", addr::bandGain, 1, 3, K::i8, F::halfDb),
    Table("monitorLevel", addr::monitorLevel, 1, 12, K::u8, F::monitorDb),
    Text("digitalPlayer1", addr::digitalPlayer1, 40),
    Text("digitalPlayer2", addr::digitalPlayer2, 40),
    Text("projectName", addr::projectName, 40),
    Text("theaterName", addr::theaterName, 40),
    Text("screenNumber", addr::screenNumber, 40),
    Text("projectorModel", addr::projectorModel, 40),
    Text("automationSystem", addr::automationSystem, 40),
    Text("comments", addr::comments, 40),
    Single("inputSource", addr::inputSource, 1, K::u8, F::inputName),
    Table("faderLevel", addr::faderLevel, 1, 8, K::u8, F::fader),
    Single("testSignalMask", addr::testSignalMask, 1, K::bits, F::bits),
    Single("testSignalType", addr::testSignalType, 1, K::u8, F::testSignalName),
    Single("fadeTime", addr::fadeTime, 1, K::u8, F::fadeTime),
    Single("powerOnSource", addr::powerOnSource, 1, K::u8, F::powerOnName),
    Single("masterFlags", addr::masterFlags, 1, K::bits, F::bits),
    Single("prologicMask", addr::prologicMask, 1, K::bits, F::bits),
    Text("makerTag", addr::makerTag, 15),
};

// English names as the program's captions show them.
constexpr std::array<std::string_view, 6> kPowerOnNames{
    "Digital OPT 1", "Digital OPT 2", "Digital COAX 1", "Digital COAX 2", "MIC", "Last Selected"};
constexpr std::array<std::string_view, 6> kTestSignalNames{"Pink", "120Hz", "500Hz", "1KHz", "5KHz", "10KHz"};
constexpr std::array<std::string_view, 5> kSlopeNames{"OFF", "12dB/OCT", "24dB/OCT", "36dB/OCT", "48dB/OCT"};
constexpr std::array<std::string_view, 13> kSpeakerQ{"0.27", "0.4",  "0.67",  "0.92",  "1.41", "2.14",  "2.87",
                                                     "4.32", "8.65", "14.42", "28.85", "57.71", "100.99"};

template <std::size_t N>
std::string Lookup(const std::array<std::string_view, N>& names, int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= N) return std::string(kUnknownValueText);
  return std::string(names[static_cast<std::size_t>(i)]);
}

std::string Binary(int v, int bitCount) {
  std::string text;
  for (int bit = bitCount - 1; bit >= 0; --bit) text += ((v >> bit) & 1) ? '1' : '0';
  return text;
}

std::span<const std::uint8_t> ElementBytes(const ParameterImage& image, const FieldElement& element) {
  return image.All().subspan(static_cast<std::size_t>(element.address), static_cast<std::size_t>(element.size));
}

FieldElement MakeElement(const FieldSpec& field, const FieldMember* member, int row, int index) {
  FieldElement e;
  e.field = &field;
  e.member = member;
  e.row = row;
  e.index = index;
  e.address = field.address + row * field.rowStride + index * field.elementSize;
  if (member) {
    e.address += member->offset;
    e.size = member->kind == FieldKind::u16 ? 2 : 1;
    e.kind = member->kind;
    e.format = member->format;
  } else {
    e.size = field.elementSize;
    e.kind = field.kind;
    e.format = field.format;
  }
  return e;
}

}  // namespace

std::span<const FieldSpec> FieldTable() { return kFields; }

const FieldSpec* FindField(std::string_view name) {
  for (const auto& field : kFields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

std::vector<int> UncoveredBytes() {
  std::array<bool, kImageSize> covered{};
  for (const auto& element : AllElements()) {
    for (int i = 0; i < element.size; ++i) covered[static_cast<std::size_t>(element.address + i)] = true;
  }
  std::vector<int> result;
  for (std::size_t a = 0; a < kImageSize; ++a) {
    if (!covered[a]) result.push_back(static_cast<int>(a));
  }
  return result;
}

std::string FieldElement::Name() const {
  std::string name(field->name);
  if (field->rows > 1) name += "[" + std::to_string(row) + "]";
  if (field->count > 1) name += "[" + std::to_string(index) + "]";
  if (member) name += "." + std::string(member->name);
  return name;
}

std::vector<FieldElement> ElementsOf(const FieldSpec& field) {
  std::vector<FieldElement> elements;
  for (int row = 0; row < field.rows; ++row) {
    for (int index = 0; index < field.count; ++index) {
      if (field.members.empty()) {
        elements.push_back(MakeElement(field, nullptr, row, index));
      } else {
        for (const auto& member : field.members) elements.push_back(MakeElement(field, &member, row, index));
      }
    }
  }
  return elements;
}

std::vector<FieldElement> AllElements() {
  std::vector<FieldElement> elements;
  for (const auto& field : kFields) {
    auto more = ElementsOf(field);
    elements.insert(elements.end(), more.begin(), more.end());
  }
  return elements;
}

std::optional<int> StoredNumber(const ParameterImage& image, const FieldElement& element) {
  switch (element.kind) {
    case FieldKind::u8:
      return image.U8(element.address);
    case FieldKind::i8:
      return image.I8(element.address);
    case FieldKind::u16:
      return image.U16(element.address);
    case FieldKind::bits:
      return element.size == 2 ? image.U16(element.address) : image.U8(element.address);
    case FieldKind::ip:
    case FieldKind::mac:
    case FieldKind::text:
      break;
  }
  return std::nullopt;
}

std::string TextBytesOf(const ParameterImage& image, const FieldElement& element) {
  if (element.kind != FieldKind::text) return {};
  const auto bytes = ElementBytes(image, element);
  std::string text;
  for (const auto byte : bytes) {
    if (byte == 0) break;
    text += static_cast<char>(byte);
  }
  return text;
}

std::string StoredText(const ParameterImage& image, const FieldElement& element) {
  if (const auto number = StoredNumber(image, element)) return std::to_string(*number);
  if (element.kind != FieldKind::text) return DisplayText(image, element);
  std::string escaped = "\"";
  for (const char c : TextBytesOf(image, element)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
      escaped += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      escaped += hex;
    }
  }
  return escaped + "\"";
}

std::string DisplayText(const ParameterImage& image, const FieldElement& element) {
  const int v = StoredNumber(image, element).value_or(0);
  switch (element.format) {
    case FieldFormat::number:
      return std::to_string(v);
    case FieldFormat::bits:
      return Binary(v, 8 * element.size);
    case FieldFormat::fader:
      return FormatFader(v);
    case FieldFormat::tenthsDb:
      return FormatTenthsDb(v);
    case FieldFormat::outputLevelDb:
      return FormatOutputLevelDb(v);
    case FieldFormat::halfDb:
      return FormatTenthsDb(5 * v);
    case FieldFormat::q:
      return FormatQ(v);
    case FieldFormat::hz:
      return FormatHz(v);
    case FieldFormat::delayMs:
      return FormatDelayMs(v);
    case FieldFormat::monitorDb:
      return FormatMonitorDb(v);
    case FieldFormat::ip:
      return FormatIp(ElementBytes(image, element).first<4>());
    case FieldFormat::mac:
      return FormatMac(ElementBytes(image, element).first<6>());
    case FieldFormat::port:
      return FormatPort(static_cast<std::uint16_t>(v));
    case FieldFormat::bassCorner:
      return std::string(BassCornerLabel(v));
    case FieldFormat::trebleCorner:
      return std::string(TrebleCornerLabel(v));
    case FieldFormat::slope:
      return Lookup(kSlopeNames, v);
    case FieldFormat::speakerQ:
      return Lookup(kSpeakerQ, v);
    case FieldFormat::inputName:
      return v < kInputs ? Lookup(kPowerOnNames, v) : std::string(kUnknownValueText);
    case FieldFormat::powerOnName:
      return Lookup(kPowerOnNames, v);
    case FieldFormat::testSignalName:
      return Lookup(kTestSignalNames, v);
    case FieldFormat::fadeTime:
      return (v >= 0 && v <= 9) ? "Fade Time " + std::to_string(v + 1) + "S" : std::string(kUnknownValueText);
    case FieldFormat::text:
      return Utf8FromGbk(TextBytesOf(image, element));
  }
  return std::string(kUnknownValueText);
}

}  // namespace mzr
