#include "AudioOut.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mzr::sim {
namespace {

constexpr int kBlock = 480;  // 10 ms: under PIPE_BUF in bytes, so a pipe takes a block whole or not at all
// The audio runs this far ahead of the clock, so a reader (a player feeding a sound server)
// always has some in hand when the simulator is scheduled late; well inside a pipe's 64 KiB.
constexpr auto kLead = std::chrono::milliseconds(200);
using Clock = std::chrono::steady_clock;

}  // namespace

AudioOut::AudioOut(std::string path, std::uint32_t roomSeed, int seat) : m_path(std::move(path)), m_sound(roomSeed, seat) {}

AudioOut::~AudioOut() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  CloseOutput();
}

bool AudioOut::Start(const ParameterImage& image, std::string& error) {
  m_image = image;
  m_generator = GeneratorOf(image);
  // A reader that goes away must not end the simulator.
  ::signal(SIGPIPE, SIG_IGN);
  if (m_path == "-") {
    m_fd = STDOUT_FILENO;
  } else {
    struct stat info {};
    m_pipe = ::stat(m_path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    if (!m_pipe) {
      m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (m_fd < 0) {
        error = "cannot write the audio to " + m_path + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  m_thread = std::thread(&AudioOut::Run, this);
  return true;
}

void AudioOut::Update(const ParameterImage& image) {
  {
    const std::lock_guard lock(m_mutex);
    m_image = image;
    ++m_version;
  }
  const auto now = GeneratorOf(image);
  if (now != m_generator) {
    if (now) {
      std::fprintf(stderr, "mzr4700-sim: generator on: %s\n", DescribeGenerator(*now).c_str());
    } else {
      std::fprintf(stderr, "mzr4700-sim: generator off\n");
    }
    std::fflush(stderr);
    m_generator = now;
  }
}

bool AudioOut::OpenOutput() {
  if (m_fd >= 0) return true;
  if (!m_pipe) return false;
  // Non-blocking: without a reader the open fails at once and the room plays on unheard.
  m_fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  return m_fd >= 0;
}

void AudioOut::CloseOutput() {
  if (m_fd >= 0 && m_fd != STDOUT_FILENO) ::close(m_fd);
  m_fd = -1;
}

void AudioOut::Run() {
  std::vector<float> block(kBlock);
  ParameterImage image;
  std::uint64_t seen = ~std::uint64_t{0};
  auto due = Clock::now() - kLead;
  while (!m_stop) {
    std::this_thread::sleep_until(due);
    due += std::chrono::microseconds(10000);
    // After a stall of the whole machine the room goes on from now; the reader sees a gap.
    if (Clock::now() - due > std::chrono::milliseconds(500) + kLead) due = Clock::now() - kLead;
    {
      const std::lock_guard lock(m_mutex);
      if (m_version != seen) {
        image = m_image;
        seen = m_version;
      }
    }
    m_sound.Render(image, block);
    if (!OpenOutput()) continue;
    const auto bytes = static_cast<ssize_t>(block.size() * sizeof(float));
    ssize_t done = 0;
    while (done < bytes && !m_stop) {
      pollfd wait{m_fd, POLLOUT, 0};
      // A pipe that is full drops the block; a file or standard output waits for room.
      if (::poll(&wait, 1, m_pipe ? 0 : 100) <= 0) {
        if (m_pipe) break;
        continue;
      }
      const ssize_t n = ::write(m_fd, reinterpret_cast<const char*>(block.data()) + done, static_cast<std::size_t>(bytes - done));
      if (n > 0) {
        done += n;
      } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
        // The reader left: a pipe waits for the next one; elsewhere the audio ends.
        const bool pipe = m_pipe;
        CloseOutput();
        if (!pipe) {
          std::fprintf(stderr, "mzr4700-sim: the audio output closed: %s\n", std::strerror(errno));
          return;
        }
        break;
      }
    }
  }
}

}  // namespace mzr::sim
