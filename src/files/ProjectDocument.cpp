#include "files/ProjectDocument.h"

namespace mzr {

void ProjectDocument::NewProject(ParameterImage& image) {
  m_currentName = std::string(kUntitledProjectName);
  image.ApplyNewProjectDefaults();
}

FileResult ProjectDocument::Open(const std::filesystem::path& path, ParameterImage& image) {
  const FileResult result = LoadProjectFile(path, image);
  if (result == FileResult::Ok) m_currentName = path;
  return result;
}

FileResult ProjectDocument::Save(const ParameterImage& image) const { return SaveProjectFile(m_currentName, image); }

FileResult ProjectDocument::SaveAs(const std::filesystem::path& path, const ParameterImage& image) {
  const FileResult result = SaveProjectFile(path, image);
  if (result == FileResult::Ok) m_currentName = path;
  return result;
}

}  // namespace mzr
