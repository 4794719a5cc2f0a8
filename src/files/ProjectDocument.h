#pragma once
// The New / Open / Save / Save As logic on the current image and the current project file
// name. No dialogs and no unit: the window asks for paths and shows the results.

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
  FileResult Save(const ParameterImage& image) const;
  // Writes the image to path; on success the current name becomes path.
  FileResult SaveAs(const std::filesystem::path& path, const ParameterImage& image);

 private:
  std::filesystem::path m_currentName{std::string(kUntitledProjectName)};
};

}  // namespace mzr
