#pragma once
// Project files: the signature "MZR4700DAT", a zero byte and the 852-byte image, 863 bytes
// in all. Loading never touches the image unless the whole file is good; saving goes
// through a temporary file beside the target, so a failed save leaves the old file intact.

#include <filesystem>
#include <string_view>

#include "model/ParameterImage.h"

namespace mzr {

inline constexpr std::string_view kProjectSignature = "MZR4700DAT";
inline constexpr std::size_t kProjectHeaderSize = 11;
inline constexpr std::size_t kProjectFileSize = kProjectHeaderSize + kImageSize;  // 863
inline constexpr std::string_view kUntitledProjectName = "Untitle.KVdat";

enum class FileResult {
  Ok,
  OpenFailed,   // "Can't open this file!"
  WriteFailed,  // "Can't write this file!"
  FormatError,  // "File Format Error!"
};

// The status-bar text of a result; Ok after an open reads "Open File Success".
std::string_view FileResultText(FileResult result);

// Reads a project file into image. On any failure the image is left exactly as it was.
// Bytes after the image are ignored.
FileResult LoadProjectFile(const std::filesystem::path& path, ParameterImage& image);

// Writes image as a project file. The data goes to a temporary file in the target's folder,
// which is flushed to disk and renamed over the target; a symbolic link at the target is
// followed, so the file it points to is replaced and the link kept. A target that is not a
// regular file, or that the user may not write, is refused and left as it is.
FileResult SaveProjectFile(const std::filesystem::path& path, const ParameterImage& image);

// The 863 bytes of a project file holding image.
std::array<std::uint8_t, kProjectFileSize> EncodeProjectFile(const ParameterImage& image);

}  // namespace mzr
