#include "link/FrameCodec.h"

#include <algorithm>
#include <cstring>

#include "model/ParameterImage.h"

namespace mzr::frame {
namespace {

constexpr std::size_t kTagOffset = 0;
constexpr std::size_t kTagWidth = 10;
constexpr std::size_t kTokenOffset = 10;
constexpr std::size_t kTokenWidth = 20;
constexpr std::size_t kMarkerOffset = 30;
constexpr std::size_t kCommandOffset = 31;
constexpr std::size_t kAddressOffset = 32;
constexpr std::size_t kCountOffset = 34;

void PutText(std::uint8_t* at, std::string_view text, std::size_t width) {
  std::memset(at, 0, width);
  std::memcpy(at, text.data(), std::min(text.size(), width - 1));
}

void PutHeader(std::uint8_t* out, std::string_view tag, std::uint8_t command, std::uint16_t address,
               std::uint16_t count) {
  PutText(out + kTagOffset, tag, kTagWidth);
  PutText(out + kTokenOffset, kToken, kTokenWidth);
  out[kMarkerOffset] = kMarker;
  out[kCommandOffset] = command;
  out[kAddressOffset] = static_cast<std::uint8_t>(address & 0xFF);
  out[kAddressOffset + 1] = static_cast<std::uint8_t>(address >> 8);
  out[kCountOffset] = static_cast<std::uint8_t>(count & 0xFF);
  out[kCountOffset + 1] = static_cast<std::uint8_t>(count >> 8);
}

std::uint16_t U16At(View d, std::size_t offset) {
  return static_cast<std::uint16_t>(d[offset] | (d[offset + 1] << 8));
}

// The zero-terminated text at offset, compared with text; the terminator must lie inside
// the field and the datagram.
bool TextAt(View d, std::size_t offset, std::size_t width, std::string_view text) {
  if (d.size() < offset + text.size() + 1 || text.size() + 1 > width) return false;
  return std::memcmp(d.data() + offset, text.data(), text.size()) == 0 && d[offset + text.size()] == 0;
}

Bytes Frame(std::string_view tag, std::uint8_t command, std::uint16_t address, std::uint16_t count, View data) {
  Bytes out(kHeaderSize + data.size() + kTrailerSize, 0);
  PutHeader(out.data(), tag, command, address, count);
  std::copy(data.begin(), data.end(), out.begin() + kHeaderSize);
  return out;
}

}  // namespace

Bytes BuildRead(std::uint16_t address, std::uint16_t count) {
  return Frame(kRequestTag, static_cast<std::uint8_t>(Command::Read), address, count, {});
}

Bytes BuildWrite(Command command, std::uint16_t address, View data) {
  Bytes out;
  BuildWriteInto(out, command, address, data);
  return out;
}

void BuildWriteInto(Bytes& out, Command command, std::uint16_t address, View data) {
  out.assign(kHeaderSize + data.size() + kTrailerSize, 0);
  PutHeader(out.data(), kRequestTag, static_cast<std::uint8_t>(command), address,
            static_cast<std::uint16_t>(data.size()));
  std::copy(data.begin(), data.end(), out.begin() + kHeaderSize);
}

Bytes BuildReadReply(std::uint16_t address, View data) {
  return Frame(kReadReplyTag, static_cast<std::uint8_t>(Command::Read), address,
               static_cast<std::uint16_t>(data.size()), data);
}

Bytes BuildAck(Command command, std::uint16_t address, std::uint16_t count) {
  return Frame(kReadReplyTag, static_cast<std::uint8_t>(command), address, count, {});
}

Bytes BuildNetworkAck() {
  return Frame(kNetworkAckTag, static_cast<std::uint8_t>(Command::Write), 138, 12, {});
}

bool HasTag(View datagram, std::string_view tag) { return TextAt(datagram, kTagOffset, kTagWidth, tag); }

bool HasToken(View datagram) { return TextAt(datagram, kTokenOffset, kTokenWidth, kToken); }

std::optional<ReadReply> ParseReadReply(View d) {
  if (!HasTag(d, kReadReplyTag) || d.size() > kMaxReadReplySize || d.size() < kHeaderSize || !HasToken(d) ||
      d[kCommandOffset] != static_cast<std::uint8_t>(Command::Read)) {
    return std::nullopt;
  }
  const std::uint16_t address = U16At(d, kAddressOffset);
  const std::uint16_t count = U16At(d, kCountOffset);
  if (static_cast<std::size_t>(address) + count > kImageSize) return std::nullopt;
  if (count > d.size() - kHeaderSize) return std::nullopt;
  return ReadReply{address, count, d.subspan(kHeaderSize, count)};
}

bool IsAcknowledgement(View d, std::uint8_t pendingCommand) {
  return d.size() == kAckSize && HasToken(d) && d[kCommandOffset] == pendingCommand;
}

std::optional<Request> ParseRequest(View d) {
  if (d.size() < kHeaderSize + kTrailerSize || d.size() > kMaxDatagramSize || !HasTag(d, kRequestTag) ||
      !HasToken(d) || d[kMarkerOffset] != kMarker) {
    return std::nullopt;
  }
  const std::uint8_t command = d[kCommandOffset];
  const std::uint16_t address = U16At(d, kAddressOffset);
  const std::uint16_t count = U16At(d, kCountOffset);
  switch (command) {
    case static_cast<std::uint8_t>(Command::Read):
      if (d.size() != kAckSize) return std::nullopt;
      return Request{Command::Read, address, count, {}};
    case static_cast<std::uint8_t>(Command::Write):
    case static_cast<std::uint8_t>(Command::BlockWrite):
      if (d.size() != kHeaderSize + count + kTrailerSize) return std::nullopt;
      return Request{static_cast<Command>(command), address, count, d.subspan(kHeaderSize, count)};
    default:
      return std::nullopt;
  }
}

}  // namespace mzr::frame
