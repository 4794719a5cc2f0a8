#pragma once
// The New / Open / Save / Save As logic on the current image and the current project file
// name, and whether the image holds work not yet in that file: a copy of the bytes as last
// opened, saved or set to New's defaults, compared whole (852 bytes), so taking an edit back
// to the saved state clears the mark. No dialogs and no unit: the window asks for paths and
// shows the results.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "files/ProjectFile.h"

namespace mzr {

class ProjectDocument final {
 public:
  ProjectDocument() = default;

  // "Untitle.KVdat" at start-up and after New Project; Open and Save As set it.
  const std::filesystem::path& currentName() const { return m_currentName; }

  // Current name := "Untitle.KVdat"; New Project defaults over the image (never cleared).
  void NewProject(ParameterImage& image);
  // Loads path into image; on success the current name becomes path. On failure neither
  // the image nor the name changes.
  FileResult Open(const std::filesystem::path& path, ParameterImage& image);
  // Writes the image to the current name (no dialog, also for "Untitle.KVdat").
  FileResult Save(const ParameterImage& image);
  // Writes the image to path; on success the current name becomes path.
  FileResult SaveAs(const std::filesystem::path& path, const ParameterImage& image);

  // The image differs from what New, Open, Save or Save As last left in it.
  bool IsModified(const ParameterImage& image) const;
  // The current name is still New's "Untitle.KVdat": Save would write beside the program's
  // working folder, so a question's Save asks for a path instead.
  bool isUntitled() const;

 private:
  void Remember(const ParameterImage& image);

  std::filesystem::path m_currentName{std::string(kUntitledProjectName)};
  std::array<std::uint8_t, kImageSize> m_saved{};
};

}  // namespace mzr
