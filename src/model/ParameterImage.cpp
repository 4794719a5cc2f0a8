#include "model/ParameterImage.h"

#include <algorithm>
#include <stdexcept>

#include "model/GbkCodec.h"

namespace mzr {

const std::string_view kDefaultBanner = "MZR4700 Digital Cinema Audio Processor by KORVEn";
static_assert(std::string_view("MZR4700 Digital Cinema Audio Processor by KORVEn").size() == 48);

namespace {

constexpr std::array<TextSlot, 15> kSlots{{
    {"bannerText", addr::bannerText, 64, false},
    {"modelName", addr::modelName, 16, false},
    {"serialNumber", addr::serialNumber, 16, true},
    {"firmwareVersion", addr::firmwareVersion, 16, false},
    {"firmwareDate", addr::firmwareDate, 16, false},
    {"configToken", addr::configToken, 20, false},
    {"digitalPlayer1", addr::digitalPlayer1, 40, false},
    {"digitalPlayer2", addr::digitalPlayer2, 40, false},
    {"projectName", addr::projectName, 40, false},
    {"theaterName", addr::theaterName, 40, false},
    {"screenNumber", addr::screenNumber, 40, false},
    {"projectorModel", addr::projectorModel, 40, false},
    {"automationSystem", addr::automationSystem, 40, false},
    {"comments", addr::comments, 40, false},
    {"makerTag", addr::makerTag, 15, false},
}};

}  // namespace

const TextSlot& SlotOf(TextField field) { return kSlots.at(static_cast<std::size_t>(field)); }

std::optional<std::span<const std::uint8_t>> ParameterImage::Bytes(std::size_t address, std::size_t count) const {
  if (address > kImageSize || count > kImageSize - address) return std::nullopt;
  return std::span<const std::uint8_t>(m_bytes).subspan(address, count);
}

bool ParameterImage::Store(std::size_t address, std::span<const std::uint8_t> data) {
  if (address > kImageSize || data.size() > kImageSize - address) return false;
  std::copy(data.begin(), data.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(address));
  return true;
}

void ParameterImage::ReplaceAll(std::span<const std::uint8_t, kImageSize> data) {
  std::copy(data.begin(), data.end(), m_bytes.begin());
}

std::uint16_t ParameterImage::U16(int address) const {
  return static_cast<std::uint16_t>(U8(address) | (U8(address + 1) << 8));
}

void ParameterImage::SetU16(int address, std::uint16_t v) {
  SetU8(address, static_cast<std::uint8_t>(v & 0xFF));
  SetU8(address + 1, static_cast<std::uint8_t>(v >> 8));
}

int ParameterImage::Index(int i, int count) {
  if (i < 0 || i >= count) throw std::out_of_range("parameter image index out of range");
  return i;
}

int ParameterImage::GeqAddress(int ch, int band) {
  return addr::geqGain + kGeqRowStride * Index(ch, kChannelRows) + Index(band, kGeqBands);
}

Ip4 ParameterImage::Ip(int address) const {
  return {U8(address), U8(address + 1), U8(address + 2), U8(address + 3)};
}

void ParameterImage::SetIp(int address, const Ip4& ip) {
  for (int i = 0; i < 4; ++i) SetU8(address + i, ip[static_cast<std::size_t>(i)]);
}

Mac ParameterImage::macAddress() const {
  Mac mac{};
  for (int i = 0; i < 6; ++i) mac[static_cast<std::size_t>(i)] = U8(addr::macAddress + i);
  return mac;
}

void ParameterImage::setMacAddress(const Mac& mac) {
  for (int i = 0; i < 6; ++i) SetU8(addr::macAddress + i, mac[static_cast<std::size_t>(i)]);
}

SubPeq ParameterImage::subPeq(int k) const {
  const int base = addr::subPeq + 4 * Index(k, 2);
  return {U16(base), I8(base + 2), U8(base + 3)};
}

void ParameterImage::setSubPeq(int k, const SubPeq& peq) {
  const int base = addr::subPeq + 4 * Index(k, 2);
  SetU16(base, peq.freq);
  SetI8(base + 2, peq.gain);
  SetU8(base + 3, peq.qIndex);
}

ToneControl ParameterImage::toneControl(int ch) const {
  const int base = addr::toneControl + 4 * Index(ch, kChannelRows);
  return {I8(base), U8(base + 1), I8(base + 2), U8(base + 3)};
}

void ParameterImage::setToneControl(int ch, const ToneControl& tone) {
  const int base = addr::toneControl + 4 * Index(ch, kChannelRows);
  SetI8(base, tone.bassGain);
  SetU8(base + 1, tone.bassFreq);
  SetI8(base + 2, tone.trebleGain);
  SetU8(base + 3, tone.trebleFreq);
}

std::string ParameterImage::TextBytes(TextField field) const {
  const TextSlot& slot = SlotOf(field);
  const auto* begin = m_bytes.data() + slot.address;
  const auto* end = std::find(begin, begin + slot.width, std::uint8_t{0});
  return std::string(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
}

std::string ParameterImage::Text(TextField field) const { return Utf8FromGbk(TextBytes(field)); }

TextStoreResult ParameterImage::SetTextBytes(TextField field, std::string_view gbk) {
  const TextSlot& slot = SlotOf(field);
  // A zero inside the input would end the text early: keep only what comes before it.
  gbk = gbk.substr(0, std::min(gbk.find('\0'), gbk.size()));
  const std::size_t room = static_cast<std::size_t>(slot.width) - (slot.terminatorOptional ? 0 : 1);
  const std::size_t n = GbkPrefixLength(gbk, room);
  auto* dst = m_bytes.data() + slot.address;
  std::copy_n(gbk.data(), n, reinterpret_cast<char*>(dst));
  if (n < static_cast<std::size_t>(slot.width)) dst[n] = 0;
  return n < gbk.size() ? TextStoreResult::Cut : TextStoreResult::Stored;
}

TextStoreResult ParameterImage::SetText(TextField field, std::string_view utf8) {
  const auto gbk = GbkFromUtf8(utf8);
  if (!gbk) return TextStoreResult::Refused;
  return SetTextBytes(field, *gbk);
}

void ParameterImage::ApplyNewProjectDefaults() {
  // 1. Identity texts and tags.
  SetTextBytes(TextField::bannerText, kDefaultBanner);
  SetTextBytes(TextField::configToken, "MZR4700ConfigData");
  SetTextBytes(TextField::modelName, "MZR4700");
  SetTextBytes(TextField::serialNumber, "Ser:00000001");
  SetTextBytes(TextField::firmwareVersion, "V0.9");
  SetTextBytes(TextField::firmwareDate, "Nov  2 2010");
  SetTextBytes(TextField::makerTag, "KORVEn");

  // 2. Network block.
  setNetParam1(1);
  setNetParam2(38400);
  setMacAddress({76, 50, 192, 168, 0, 7});
  setIpAddress({192, 168, 0, 7});
  setSubnetMask({255, 255, 255, 0});
  setGateway({192, 168, 0, 1});
  setUdpPort(2305);

  // 3. Master block.
  setInputSource(0);
  setFadeTime(4);
  setPowerOnSource(5);
  setTestSignalMask(0);
  setTestSignalType(0);
  setMasterFlags(2);
  for (int i = 0; i < 8; ++i) setFaderLevel(i, 70);

  // 4. Input block.
  for (int i = 0; i < 8; ++i) setPresetLevel(i, 80);
  setPresetEnableMask(0);
  setMicRouteFlags(4);
  setSubLpfFreq(3);
  setSubLpfSlope(2);

  // 5. Outputs; muteMask is deliberately left as it is.
  for (int i = 0; i < kOutputSlots; ++i) {
    setOutputLevel(i, 44);
    setOutputDelay(i, 0);
  }
  setPolarityMask(0);

  // 6. Tone controls and graphic equalizer rows (byte 27 of each row is carried).
  for (int ch = 0; ch < kChannelRows; ++ch) {
    setToneControl(ch, {0, 3, 0, 3});
    for (int b = 0; b < kGeqBands; ++b) setGeqGain(ch, b, 0);
  }

  // 7. Subwoofer parametric sections.
  setSubPeq(0, {60, 0, 2});
  setSubPeq(1, {80, 0, 2});

  // 8. Speaker processor.
  setSpeakerFilterEnable(0);
  setSpeakerSlopes(255);
  for (int k = 0; k < 6; ++k) {
    setSpeakerPeqGain(k, 0);
    setSpeakerPeqQ(k, 7);
  }
  setLowDelay(0);
  setMidDelay(0);
  constexpr std::array<std::uint16_t, 10> kSpeakerFreq{1000, 4500, 6000, 8000, 10000, 12000, 500, 4000, 5000, 12000};
  for (int k = 0; k < 10; ++k) setSpeakerFreq(k, kSpeakerFreq[static_cast<std::size_t>(k)]);
  for (int k = 0; k < 3; ++k) setBandGain(k, 12);

  // 9. Monitor mix.
  for (int i = 0; i < 12; ++i) setMonitorLevel(i, 0);

  // 10. Profile texts that New Project blanks; the others keep their contents.
  for (TextField f : {TextField::projectName, TextField::theaterName, TextField::screenNumber,
                      TextField::projectorModel, TextField::comments}) {
    SetTextBytes(f, " ");
  }
}

}  // namespace mzr
