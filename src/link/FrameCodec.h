#pragma once
// The datagrams of the unit's UDP parameter protocol, as pure functions: bytes in, bytes
// out, no socket. Every frame has a 36-byte header (tag, token, marker 0xCA, command,
// address, count; numbers little-endian), then the data, then 2 trailer bytes.
//
//   offset 0  tag     10 bytes  "SetPara" (requests), "MyPara" (read replies), "ModiNet!"
//   offset 10 token   20 bytes  "MZR4700ConfigData"
//   offset 30 marker   1 byte   0xCA
//   offset 31 command  1 byte   3 read, 6 write, 16 block write
//   offset 32 address  2 bytes  device address of the first byte
//   offset 34 count    2 bytes  bytes to read, written or carried
//   offset 36 data     count bytes (writes and read replies)
//   then      trailer  2 bytes  sent as zeros

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace mzr::frame {

enum class Command : std::uint8_t { Read = 3, Write = 6, BlockWrite = 16 };

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kTrailerSize = 2;
inline constexpr std::size_t kAckSize = 38;            // an acknowledgement, and a read request
inline constexpr std::size_t kMaxReadReplySize = 890;  // 38 + 852
inline constexpr std::size_t kMaxDatagramSize = 1600;  // anything longer is dropped unread
inline constexpr std::uint8_t kMarker = 0xCA;
inline constexpr std::string_view kRequestTag = "SetPara";
inline constexpr std::string_view kReadReplyTag = "MyPara";
inline constexpr std::string_view kNetworkAckTag = "ModiNet!";
inline constexpr std::string_view kToken = "MZR4700ConfigData";

// Command registers outside the image: writing the byte 2 stores the parameters (3000) or
// restarts the unit (3001).
inline constexpr std::uint16_t kSaveCommandAddress = 3000;
inline constexpr std::uint16_t kControlCommandAddress = 3001;
inline constexpr std::uint8_t kCommandValue = 2;

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

// Requests sent by the program.
Bytes BuildRead(std::uint16_t address, std::uint16_t count);                  // 38 bytes
Bytes BuildWrite(Command command, std::uint16_t address, View data);          // 38 + data bytes
// The same into a reused buffer (no allocation once it has grown): the send path of a slider.
void BuildWriteInto(Bytes& out, Command command, std::uint16_t address, View data);

// Frames sent by a unit (the simulator and tests).
Bytes BuildReadReply(std::uint16_t address, View data);                     // "MyPara", 38 + data
Bytes BuildAck(Command command, std::uint16_t address, std::uint16_t count);  // 38 bytes
Bytes BuildNetworkAck();                                                     // "ModiNet!", 38 bytes

// Checks on received datagrams.
// The zero-terminated text at offset 0 equals tag (a datagram too short to hold it fails).
bool HasTag(View datagram, std::string_view tag);
// The zero-terminated token at offset 10 is "MZR4700ConfigData".
bool HasToken(View datagram);

struct ReadReply {
  std::uint16_t address;
  std::uint16_t count;
  View data;  // exactly count bytes, inside the datagram
};
// A read reply the program may take: tag "MyPara", at most 890 bytes, the token, command 3,
// a span inside the 852-byte image and no more data claimed than received.
std::optional<ReadReply> ParseReadReply(View datagram);

// The acknowledgement of the newest request: exactly 38 bytes, the token, and the command
// byte of that request.
bool IsAcknowledgement(View datagram, std::uint8_t pendingCommand);

// A request as a unit sees it: tag "SetPara", the token, the marker, a known command, and a
// length that matches (38 for a read, 38 + count for a write).
struct Request {
  Command command;
  std::uint16_t address;
  std::uint16_t count;
  View data;  // empty for a read
};
std::optional<Request> ParseRequest(View datagram);

}  // namespace mzr::frame
