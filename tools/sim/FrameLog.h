#pragma once
// The frame log of --log: one JSON object per line for every frame a unit received. Lines
// are buffered while a batch of datagrams is handled and flushed before the simulator waits
// again, so a test or script can follow the log live without a write per frame slowing a
// burst down.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "SimOptions.h"
#include "link/FrameCodec.h"

namespace mzr::sim {

class FrameLog final {
 public:
  FrameLog() = default;
  ~FrameLog();
  FrameLog(const FrameLog&) = delete;
  FrameLog& operator=(const FrameLog&) = delete;

  // Starts a new log at path (an existing file is replaced); false and a message on failure.
  bool Open(const std::filesystem::path& path, std::string& error);

  struct Entry {
    Address unit;
    Address to;  // the unit's own address or the broadcast address
    Address from;
    std::uint16_t fromPort;
    const frame::Request* request;
    std::string_view outcome;
  };
  void Write(const Entry& entry);
  void Flush();
  void Close();

 private:
  std::FILE* m_file = nullptr;
};

}  // namespace mzr::sim
