#include "FrameLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace mzr::sim {
namespace {

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis));
  return text;
}

}  // namespace

FrameLog::~FrameLog() { Close(); }

bool FrameLog::Open(const std::filesystem::path& path, std::string& error) {
  Close();
  m_file = std::fopen(path.c_str(), "w");
  if (m_file == nullptr) {
    error = "cannot write the log " + path.string() + ": " + std::strerror(errno);
    return false;
  }
  std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
  return true;
}

void FrameLog::Close() {
  if (m_file != nullptr) {
    std::fclose(m_file);
    m_file = nullptr;
  }
}

void FrameLog::Write(const Entry& e) {
  if (m_file == nullptr) return;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string data;
  data.reserve(e.request->data.size() * 2);
  for (const std::uint8_t b : e.request->data) {
    data.push_back(kHex[b >> 4]);
    data.push_back(kHex[b & 0x0F]);
  }
  std::fprintf(m_file,
               "{\"time\":\"%s\",\"unit\":\"%s\",\"to\":\"%s\",\"from\":\"%s:%u\",\"command\":%u,"
               "\"address\":%u,\"count\":%u,\"data\":\"%s\",\"outcome\":\"%.*s\"}\n",
               NowText().c_str(), FormatAddress(e.unit).c_str(), FormatAddress(e.to).c_str(),
               FormatAddress(e.from).c_str(), unsigned{e.fromPort}, unsigned(e.request->command),
               unsigned{e.request->address}, unsigned{e.request->count}, data.c_str(),
               static_cast<int>(e.outcome.size()), e.outcome.data());
}

void FrameLog::Flush() {
  if (m_file != nullptr) std::fflush(m_file);
}

}  // namespace mzr::sim
