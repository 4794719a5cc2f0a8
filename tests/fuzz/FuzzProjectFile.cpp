// Project-file loading against arbitrary bytes: it never crashes, and it either takes the
// whole image from the file or leaves the image exactly as it was.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "files/ProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("project", 0);
  if (fd < 0) std::abort();
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  mzr::ParameterImage image;
  image.ApplyNewProjectDefaults();
  const mzr::ParameterImage before = image;
  const mzr::FileResult result = mzr::LoadProjectFile(path, image);
  if (result == mzr::FileResult::Ok) {
    if (size < mzr::kProjectFileSize) std::abort();
    for (std::size_t i = 0; i < mzr::kImageSize; ++i) {
      if (image.U8(static_cast<int>(i)) != data[mzr::kProjectHeaderSize + i]) std::abort();
    }
  } else if (!(image == before)) {
    std::abort();
  }
  return 0;
}
