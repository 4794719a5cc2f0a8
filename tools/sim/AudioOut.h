#pragma once
// --audio-out: a thread that writes what RoomSound renders for the first unit, at real-time
// pace, in blocks of 10 ms. A regular file is written from the start; a named pipe waits for
// a reader and, when one leaves, for the next (the room plays on meanwhile, and blocks a
// reader does not take are lost, as a microphone's would be); "-" is standard output. The
// event loop hands over the unit's image after every write it applied.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "RoomSound.h"
#include "model/ParameterImage.h"

namespace mzr::sim {

class AudioOut final {
 public:
  AudioOut(std::string path, std::uint32_t roomSeed, int seat);
  ~AudioOut();
  AudioOut(const AudioOut&) = delete;
  AudioOut& operator=(const AudioOut&) = delete;

  // Checks the path and starts the thread; false and a message when it cannot be used.
  bool Start(const ParameterImage& image, std::string& error);
  // The unit's image now; says on stderr when the generator turns on, off or changes.
  void Update(const ParameterImage& image);

 private:
  void Run();
  bool OpenOutput();
  void CloseOutput();

  std::string m_path;
  bool m_pipe = false;
  RoomSound m_sound;
  std::mutex m_mutex;
  ParameterImage m_image;             // guarded by m_mutex
  std::uint64_t m_version = 0;        // guarded by m_mutex
  std::optional<GeneratorSetting> m_generator;  // the event loop's own
  std::atomic<bool> m_stop{false};
  int m_fd = -1;
  std::thread m_thread;
};

}  // namespace mzr::sim
