#include "files/ProjectDocument.h"

#include <algorithm>

namespace mzr {

void ProjectDocument::NewProject(ParameterImage& image) {
  m_currentName = std::string(kUntitledProjectName);
  image.ApplyNewProjectDefaults();
  Remember(image);
}

FileResult ProjectDocument::Open(const std::filesystem::path& path, ParameterImage& image) {
  const FileResult result = LoadProjectFile(path, image);
  if (result == FileResult::Ok) {
    m_currentName = path;
    Remember(image);
  }
  return result;
}

FileResult ProjectDocument::Save(const ParameterImage& image) {
  const FileResult result = SaveProjectFile(m_currentName, image);
  if (result == FileResult::Ok) Remember(image);
  return result;
}

FileResult ProjectDocument::SaveAs(const std::filesystem::path& path, const ParameterImage& image) {
  const FileResult result = SaveProjectFile(path, image);
  if (result == FileResult::Ok) {
    m_currentName = path;
    Remember(image);
  }
  return result;
}

bool ProjectDocument::IsModified(const ParameterImage& image) const { return !std::ranges::equal(image.All(), m_saved); }

bool ProjectDocument::isUntitled() const { return m_currentName == std::filesystem::path(std::string(kUntitledProjectName)); }

void ProjectDocument::Remember(const ParameterImage& image) { std::ranges::copy(image.All(), m_saved.begin()); }

}  // namespace mzr
