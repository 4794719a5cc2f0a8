#include "files/ProjectFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace mzr {
namespace {

// Closes a file descriptor when it goes out of scope.
class Fd final {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports whether the close succeeded (a deferred write error shows here).
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
  }

 private:
  int m_fd;
};

// Reads up to count bytes, going on after short reads; gives the count read or -1.
ssize_t ReadFully(int fd, std::uint8_t* buf, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, buf + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool WriteFully(int fd, const std::uint8_t* buf, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, buf + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string_view FileResultText(FileResult result) {
  switch (result) {
    case FileResult::Ok: return "Open File Success";
    case FileResult::OpenFailed: return "Can't open this file!";
    case FileResult::WriteFailed: return "Can't write this file!";
    case FileResult::FormatError: return "File Format Error!";
  }
  return "";
}

std::array<std::uint8_t, kProjectFileSize> EncodeProjectFile(const ParameterImage& image) {
  std::array<std::uint8_t, kProjectFileSize> bytes{};
  std::copy(kProjectSignature.begin(), kProjectSignature.end(), bytes.begin());
  bytes[kProjectSignature.size()] = 0;
  const auto all = image.All();
  std::copy(all.begin(), all.end(), bytes.begin() + kProjectHeaderSize);
  return bytes;
}

FileResult LoadProjectFile(const std::filesystem::path& path, ParameterImage& image) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return FileResult::OpenFailed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileResult::OpenFailed;

  std::array<std::uint8_t, kProjectFileSize> bytes{};
  const ssize_t n = ReadFully(fd.get(), bytes.data(), bytes.size());
  if (n < 0) return FileResult::OpenFailed;
  const auto got = static_cast<std::size_t>(n);
  if (got < kProjectHeaderSize ||
      !std::equal(kProjectSignature.begin(), kProjectSignature.end(), bytes.begin()) ||
      bytes[kProjectSignature.size()] != 0) {
    return FileResult::FormatError;
  }
  // A file cut short would leave the image half old, half new: refuse it whole.
  if (got < kProjectFileSize) return FileResult::FormatError;
  image.ReplaceAll(std::span<const std::uint8_t, kImageSize>(bytes.data() + kProjectHeaderSize, kImageSize));
  return FileResult::Ok;
}

FileResult SaveProjectFile(const std::filesystem::path& path, const ParameterImage& image) {
  std::error_code ec;
  std::filesystem::path target = path;
  // Follow a link at the target so the link survives and the file it names is replaced.
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
    target = std::filesystem::weakly_canonical(path, ec);
    if (ec) return FileResult::WriteFailed;
  }
  const auto status = std::filesystem::status(target, ec);
  const bool exists = std::filesystem::exists(status);
  // Only a regular file is ever replaced: never a device, a folder or anything else.
  if (exists && !std::filesystem::is_regular_file(status)) return FileResult::WriteFailed;
  // The rename below needs only the folder's permission; a file the user made read-only must
  // still refuse the save, as opening it for writing would.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return FileResult::WriteFailed;

  const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // The temporary name is the target's, cut so that the dot and the suffix still fit the
  // 255-byte limit of a name when the target's own name is at or near it.
  const std::string stem = target.filename().string().substr(0, 200);
  std::string tmpl = (dir / ("." + stem + ".XXXXXX")).string();
  Fd fd(::mkstemp(tmpl.data()));
  if (fd.get() < 0) return FileResult::WriteFailed;
  const std::string tmpPath = tmpl;

  // The new file gets the old file's permissions, or the usual ones for a new file.
  mode_t mode = 0666;
  if (exists) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }

  const auto bytes = EncodeProjectFile(image);
  const bool written = ::fchmod(fd.get(), mode) == 0 && WriteFully(fd.get(), bytes.data(), bytes.size()) &&
                       ::fsync(fd.get()) == 0;
  if (!fd.Close() || !written || ::rename(tmpPath.c_str(), target.c_str()) != 0) {
    ::unlink(tmpPath.c_str());
    return FileResult::WriteFailed;
  }
  return FileResult::Ok;
}

}  // namespace mzr
