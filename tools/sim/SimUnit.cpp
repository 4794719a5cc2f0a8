#include "SimUnit.h"

#include <algorithm>
#include <cstdio>

#include "files/ProjectFile.h"

namespace mzr::sim {
namespace {

// Bytes 132..151 (MAC, address, mask, gateway, port) belong to the unit, not to the writer.
constexpr std::size_t kIdentityBegin = addr::macAddress;
constexpr std::size_t kIdentityEnd = addr::udpPort + 2;
constexpr std::uint16_t kNetworkWriteCount = 12;

Ip4 ToIp4(Address a) {
  return {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
          static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)};
}

Address FromIp4(frame::View b) {
  return (Address{b[0]} << 24) | (Address{b[1]} << 16) | (Address{b[2]} << 8) | Address{b[3]};
}

}  // namespace

SimUnit::SimUnit(int index, Address address, std::uint16_t port, std::optional<std::filesystem::path> stateDir)
    : m_index(index), m_address(address), m_port(port), m_stateDir(std::move(stateDir)) {
  // The MAC comes from the address the unit starts at and stays with it after a move, so its
  // stored image is found again on the next run.
  const Ip4 ip = ToIp4(address);
  m_mac = {0x4C, 0x32, ip[0], ip[1], ip[2], ip[3]};
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", m_mac[0], m_mac[1], m_mac[2], m_mac[3],
                m_mac[4], m_mac[5]);
  m_macText = text;

  m_image.ApplyNewProjectDefaults();
  m_image.setSubnetMask({255, 0, 0, 0});
  m_image.setGateway({127, 0, 0, 1});
  const std::string number = std::to_string(index + 1);
  m_image.SetText(TextField::theaterName, "Hall " + number);
  m_image.SetText(TextField::screenNumber, number);
  WriteIdentity();
}

void SimUnit::WriteIdentity() {
  m_image.setMacAddress(m_mac);
  m_image.setIpAddress(ToIp4(m_listedAddress.value_or(m_address)));
  m_image.setUdpPort(m_port);
}

void SimUnit::SetListedAddress(Address address) {
  m_listedAddress = address;
  WriteIdentity();
}

std::optional<std::string> SimUnit::LoadStored() {
  if (!m_stateDir) return std::nullopt;
  const auto path = *m_stateDir / (m_macText + ".kvdat");
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return std::nullopt;
  const FileResult result = LoadProjectFile(path, m_image);
  // The stored bytes may name another address (a move in an earlier run); the unit always
  // starts where the command line puts it, and the image says so.
  WriteIdentity();
  if (result != FileResult::Ok) {
    return "unit " + FormatAddress(m_address) + ": stored image " + path.string() + " not loaded (" +
           std::string(FileResultText(result)) + "); starting from the defaults";
  }
  return std::nullopt;
}

void SimUnit::SetAddress(Address address) {
  m_address = address;
  m_listedAddress.reset();
  m_image.setIpAddress(ToIp4(address));
  if (m_pendingNetwork) {
    m_image.setSubnetMask(m_pendingNetwork->mask);
    m_image.setGateway(m_pendingNetwork->gateway);
    m_pendingNetwork.reset();
  }
}

void SimUnit::ApplyWrite(std::uint16_t address, frame::View data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::size_t at = std::size_t{address} + i;
    if (at >= kImageSize) break;
    if (at >= kIdentityBegin && at < kIdentityEnd) continue;
    m_image.SetU8(static_cast<int>(at), data[i]);
  }
}

bool SimUnit::Store(std::string& message) {
  if (!m_stateDir) return true;  // without a state dir the unit's memory is the running image
  const auto path = *m_stateDir / (m_macText + ".kvdat");
  const FileResult result = SaveProjectFile(path, m_image);
  if (result == FileResult::Ok) return true;
  message = "unit " + FormatAddress(m_address) + ": cannot store the image in " + path.string() + " (" +
            std::string(FileResultText(result)) + "); the store command is not acknowledged";
  return false;
}

SimUnit::Reaction SimUnit::Handle(const frame::Request& request) {
  Reaction r;
  if (request.command == frame::Command::Read) {
    if (request.address >= kImageSize) {
      r.outcome = "outside";
      return r;
    }
    const std::size_t count = std::min<std::size_t>(request.count, kImageSize - request.address);
    const auto bytes = m_image.Bytes(request.address, count);
    r.reply = frame::BuildReadReply(request.address, *bytes);
    r.outcome = "answered";
    return r;
  }

  const bool commandByte = request.count == 1 && request.data[0] == frame::kCommandValue;
  if (commandByte && request.address == frame::kSaveCommandAddress) {
    if (!Store(r.message)) {
      r.outcome = "store-failed";
      return r;
    }
  } else if (commandByte && request.address == frame::kControlCommandAddress) {
    r.restartAfterReply = true;
  } else if (request.command == frame::Command::Write && request.address == addr::ipAddress &&
             request.count == kNetworkWriteCount) {
    const Address target = FromIp4(request.data.subspan(0, 4));
    const PendingNetwork network{{request.data[4], request.data[5], request.data[6], request.data[7]},
                                 {request.data[8], request.data[9], request.data[10], request.data[11]}};
    r.reply = frame::BuildNetworkAck();
    r.outcome = "answered";
    if (!IsLoopback(target)) {
      r.message = "unit " + FormatAddress(m_address) + " refuses to leave loopback: " + FormatAddress(target) +
                  " is outside 127.0.0.0/8; it keeps its address and network settings";
    } else if (!IsUnitAddress(target)) {
      r.message = "unit " + FormatAddress(m_address) + " does not move to " + FormatAddress(target) +
                  ": not an address for a unit (the loopback network, broadcast or the program's 127.0.0.1); "
                  "it keeps its address and network settings";
    } else if (target == m_address) {
      m_pendingNetwork = network;
      SetAddress(target);
    } else {
      m_pendingNetwork = network;
      r.moveAfterReply = target;
    }
    return r;
  } else if (!m_keepSettings) {
    ApplyWrite(request.address, request.data);
  }
  r.reply = frame::BuildAck(request.command, request.address, request.count);
  r.outcome = "answered";
  return r;
}

}  // namespace mzr::sim
