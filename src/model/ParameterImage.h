#pragma once
// The program's complete copy of the unit's settings: 852 bytes whose byte N is the
// unit's parameter at device address N. Numbers are little-endian, int8 fields are
// two's complement, texts are GBK in fixed, zero-terminated slots.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mzr {

inline constexpr std::size_t kImageSize = 852;

// Device addresses of every named field (and of the record bases).
namespace addr {
inline constexpr int bannerText = 0;
inline constexpr int modelName = 64;
inline constexpr int serialNumber = 80;
inline constexpr int firmwareVersion = 96;
inline constexpr int firmwareDate = 112;
inline constexpr int netParam1 = 128;
inline constexpr int netParam2 = 130;
inline constexpr int macAddress = 132;
inline constexpr int ipAddress = 138;
inline constexpr int subnetMask = 142;
inline constexpr int gateway = 146;
inline constexpr int udpPort = 150;
inline constexpr int configToken = 166;
inline constexpr int presetLevel = 186;
inline constexpr int presetEnableMask = 194;
inline constexpr int micRouteFlags = 195;
inline constexpr int subLpfFreq = 196;
inline constexpr int subLpfSlope = 197;
inline constexpr int outputLevel = 198;
inline constexpr int outputDelay = 206;
inline constexpr int polarityMask = 214;
inline constexpr int muteMask = 215;
inline constexpr int subPeq = 216;       // 2 records of 4 bytes: freq u16, gain i8, qIndex u8
inline constexpr int toneControl = 224;  // 7 records of 4 bytes: bassGain, bassFreq, trebleGain, trebleFreq
inline constexpr int geqGain = 252;      // 7 rows of 28 bytes, bands 0..26, byte 27 carried
inline constexpr int speakerFilterEnable = 448;
inline constexpr int speakerSlopes = 450;
inline constexpr int speakerPeqGain = 451;
inline constexpr int speakerPeqQ = 457;
inline constexpr int lowDelay = 463;
inline constexpr int midDelay = 464;
inline constexpr int speakerFreq = 466;
inline constexpr int bandGain = 486;
inline constexpr int monitorLevel = 489;
inline constexpr int digitalPlayer1 = 502;
inline constexpr int digitalPlayer2 = 542;
inline constexpr int projectName = 582;
inline constexpr int theaterName = 622;
inline constexpr int screenNumber = 662;
inline constexpr int projectorModel = 702;
inline constexpr int automationSystem = 742;
inline constexpr int comments = 782;
inline constexpr int inputSource = 822;
inline constexpr int faderLevel = 823;
inline constexpr int testSignalMask = 831;
inline constexpr int testSignalType = 832;
inline constexpr int fadeTime = 833;
inline constexpr int powerOnSource = 834;
inline constexpr int masterFlags = 835;
inline constexpr int prologicMask = 836;
inline constexpr int makerTag = 837;
}  // namespace addr

inline constexpr int kGeqRowStride = 28;
inline constexpr int kGeqBands = 27;
inline constexpr int kChannelRows = 7;   // rows of toneControl and geqGain
inline constexpr int kOutputSlots = 8;   // outputLevel, outputDelay and the output masks
inline constexpr int kInputs = 5;

// The fixed-width text slots of the image.
enum class TextField {
  bannerText,
  modelName,
  serialNumber,
  firmwareVersion,
  firmwareDate,
  configToken,
  digitalPlayer1,
  digitalPlayer2,
  projectName,
  theaterName,
  screenNumber,
  projectorModel,
  automationSystem,
  comments,
  makerTag,
};

struct TextSlot {
  std::string_view name;
  int address;
  int width;
  bool terminatorOptional;  // the serial number may fill its slot with no zero
};

const TextSlot& SlotOf(TextField field);

// What a text setter did with its input.
enum class TextStoreResult {
  Stored,    // the whole text and its terminator fit
  Cut,       // the text was longer than the slot and was cut at a character boundary
  Refused,   // a character GBK cannot hold; the image is unchanged
};

struct SubPeq {
  std::uint16_t freq = 0;
  std::int8_t gain = 0;
  std::uint8_t qIndex = 0;
  friend bool operator==(const SubPeq&, const SubPeq&) = default;
};

struct ToneControl {
  std::int8_t bassGain = 0;
  std::uint8_t bassFreq = 0;
  std::int8_t trebleGain = 0;
  std::uint8_t trebleFreq = 0;
  friend bool operator==(const ToneControl&, const ToneControl&) = default;
};

using Ip4 = std::array<std::uint8_t, 4>;
using Mac = std::array<std::uint8_t, 6>;

class ParameterImage final {
 public:
  ParameterImage() = default;  // all zero, as at program start

  // Raw access. A span that would pass byte 851 is refused: Bytes gives nothing and
  // Store writes nothing and returns false.
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t address, std::size_t count) const;
  [[nodiscard]] bool Store(std::size_t address, std::span<const std::uint8_t> data);
  void ReplaceAll(std::span<const std::uint8_t, kImageSize> data);
  std::span<const std::uint8_t, kImageSize> All() const { return m_bytes; }

  // Writes exactly the New Project defaults and nothing else; the image is not cleared.
  void ApplyNewProjectDefaults();

  // Plain element access by device address (address must be < 852).
  std::uint8_t U8(int address) const { return m_bytes.at(static_cast<std::size_t>(address)); }
  std::int8_t I8(int address) const { return static_cast<std::int8_t>(U8(address)); }
  std::uint16_t U16(int address) const;
  void SetU8(int address, std::uint8_t v) { m_bytes.at(static_cast<std::size_t>(address)) = v; }
  void SetI8(int address, std::int8_t v) { SetU8(address, static_cast<std::uint8_t>(v)); }
  void SetU16(int address, std::uint16_t v);

  // Texts. Text() decodes the slot up to its terminator (or the slot's end) from GBK to
  // UTF-8; TextBytes() gives the raw GBK bytes before the terminator.
  std::string Text(TextField field) const;
  std::string TextBytes(TextField field) const;
  TextStoreResult SetText(TextField field, std::string_view utf8);
  // Stores raw GBK bytes (already encoded), cut to the slot like SetText.
  TextStoreResult SetTextBytes(TextField field, std::string_view gbk);

  // Network block.
  std::uint16_t netParam1() const { return U16(addr::netParam1); }
  std::uint16_t netParam2() const { return U16(addr::netParam2); }
  void setNetParam1(std::uint16_t v) { SetU16(addr::netParam1, v); }
  void setNetParam2(std::uint16_t v) { SetU16(addr::netParam2, v); }
  Mac macAddress() const;
  Ip4 ipAddress() const { return Ip(addr::ipAddress); }
  Ip4 subnetMask() const { return Ip(addr::subnetMask); }
  Ip4 gateway() const { return Ip(addr::gateway); }
  std::uint16_t udpPort() const { return U16(addr::udpPort); }
  void setMacAddress(const Mac& mac);
  void setIpAddress(const Ip4& ip) { SetIp(addr::ipAddress, ip); }
  void setSubnetMask(const Ip4& ip) { SetIp(addr::subnetMask, ip); }
  void setGateway(const Ip4& ip) { SetIp(addr::gateway, ip); }
  void setUdpPort(std::uint16_t port) { SetU16(addr::udpPort, port); }

  // Input and format block.
  std::uint8_t presetLevel(int input) const { return U8(addr::presetLevel + Index(input, 8)); }
  void setPresetLevel(int input, std::uint8_t v) { SetU8(addr::presetLevel + Index(input, 8), v); }
  std::uint8_t presetEnableMask() const { return U8(addr::presetEnableMask); }
  void setPresetEnableMask(std::uint8_t v) { SetU8(addr::presetEnableMask, v); }
  std::uint8_t micRouteFlags() const { return U8(addr::micRouteFlags); }
  void setMicRouteFlags(std::uint8_t v) { SetU8(addr::micRouteFlags, v); }
  std::uint8_t subLpfFreq() const { return U8(addr::subLpfFreq); }
  void setSubLpfFreq(std::uint8_t v) { SetU8(addr::subLpfFreq, v); }
  std::uint8_t subLpfSlope() const { return U8(addr::subLpfSlope); }
  void setSubLpfSlope(std::uint8_t v) { SetU8(addr::subLpfSlope, v); }

  // Outputs (slots 0..7).
  std::uint8_t outputLevel(int slot) const { return U8(addr::outputLevel + Index(slot, 8)); }
  void setOutputLevel(int slot, std::uint8_t v) { SetU8(addr::outputLevel + Index(slot, 8), v); }
  std::uint8_t outputDelay(int slot) const { return U8(addr::outputDelay + Index(slot, 8)); }
  void setOutputDelay(int slot, std::uint8_t v) { SetU8(addr::outputDelay + Index(slot, 8), v); }
  std::uint8_t polarityMask() const { return U8(addr::polarityMask); }
  void setPolarityMask(std::uint8_t v) { SetU8(addr::polarityMask, v); }
  std::uint8_t muteMask() const { return U8(addr::muteMask); }
  void setMuteMask(std::uint8_t v) { SetU8(addr::muteMask, v); }

  // Subwoofer parametric sections (k = 0, 1) and tone controls (rows 0..6).
  SubPeq subPeq(int k) const;
  void setSubPeq(int k, const SubPeq& peq);
  ToneControl toneControl(int ch) const;
  void setToneControl(int ch, const ToneControl& tone);

  // Graphic equalizer: row ch 0..6, band 0..26.
  std::int8_t geqGain(int ch, int band) const { return I8(GeqAddress(ch, band)); }
  void setGeqGain(int ch, int band, std::int8_t v) { SetI8(GeqAddress(ch, band), v); }
  static int GeqAddress(int ch, int band);

  // Speaker processor (never edited on screen; defaulted, carried and compared).
  std::uint16_t speakerFilterEnable() const { return U16(addr::speakerFilterEnable); }
  std::uint8_t speakerSlopes() const { return U8(addr::speakerSlopes); }
  std::int8_t speakerPeqGain(int k) const { return I8(addr::speakerPeqGain + Index(k, 6)); }
  std::uint8_t speakerPeqQ(int k) const { return U8(addr::speakerPeqQ + Index(k, 6)); }
  std::uint8_t lowDelay() const { return U8(addr::lowDelay); }
  std::uint8_t midDelay() const { return U8(addr::midDelay); }
  std::uint16_t speakerFreq(int k) const { return U16(addr::speakerFreq + 2 * Index(k, 10)); }
  std::int8_t bandGain(int k) const { return I8(addr::bandGain + Index(k, 3)); }
  void setSpeakerFilterEnable(std::uint16_t v) { SetU16(addr::speakerFilterEnable, v); }
  void setSpeakerSlopes(std::uint8_t v) { SetU8(addr::speakerSlopes, v); }
  void setSpeakerPeqGain(int k, std::int8_t v) { SetI8(addr::speakerPeqGain + Index(k, 6), v); }
  void setSpeakerPeqQ(int k, std::uint8_t v) { SetU8(addr::speakerPeqQ + Index(k, 6), v); }
  void setLowDelay(std::uint8_t v) { SetU8(addr::lowDelay, v); }
  void setMidDelay(std::uint8_t v) { SetU8(addr::midDelay, v); }
  void setSpeakerFreq(int k, std::uint16_t v) { SetU16(addr::speakerFreq + 2 * Index(k, 10), v); }
  void setBandGain(int k, std::int8_t v) { SetI8(addr::bandGain + Index(k, 3), v); }

  // Monitor mix (entries 0..11).
  std::uint8_t monitorLevel(int i) const { return U8(addr::monitorLevel + Index(i, 12)); }
  void setMonitorLevel(int i, std::uint8_t v) { SetU8(addr::monitorLevel + Index(i, 12), v); }

  // Master block.
  std::uint8_t inputSource() const { return U8(addr::inputSource); }
  void setInputSource(std::uint8_t v) { SetU8(addr::inputSource, v); }
  std::uint8_t faderLevel(int input) const { return U8(addr::faderLevel + Index(input, 8)); }
  void setFaderLevel(int input, std::uint8_t v) { SetU8(addr::faderLevel + Index(input, 8), v); }
  std::uint8_t testSignalMask() const { return U8(addr::testSignalMask); }
  void setTestSignalMask(std::uint8_t v) { SetU8(addr::testSignalMask, v); }
  std::uint8_t testSignalType() const { return U8(addr::testSignalType); }
  void setTestSignalType(std::uint8_t v) { SetU8(addr::testSignalType, v); }
  std::uint8_t fadeTime() const { return U8(addr::fadeTime); }
  void setFadeTime(std::uint8_t v) { SetU8(addr::fadeTime, v); }
  std::uint8_t powerOnSource() const { return U8(addr::powerOnSource); }
  void setPowerOnSource(std::uint8_t v) { SetU8(addr::powerOnSource, v); }
  std::uint8_t masterFlags() const { return U8(addr::masterFlags); }
  void setMasterFlags(std::uint8_t v) { SetU8(addr::masterFlags, v); }
  std::uint8_t prologicMask() const { return U8(addr::prologicMask); }
  void setPrologicMask(std::uint8_t v) { SetU8(addr::prologicMask, v); }

  friend bool operator==(const ParameterImage&, const ParameterImage&) = default;

 private:
  static int Index(int i, int count);  // checks 0 <= i < count
  Ip4 Ip(int address) const;
  void SetIp(int address, const Ip4& ip);

  std::array<std::uint8_t, kImageSize> m_bytes{};
};

// The 48-character banner written by New Project.
extern const std::string_view kDefaultBanner;

}  // namespace mzr
