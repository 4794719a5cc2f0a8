#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "files/ProjectDocument.h"
#include "files/ProjectFile.h"

namespace fs = std::filesystem;

namespace mzr {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("mzr-files-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(m_dir);
  }

  static void Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // An image in which every byte differs from its neighbours, uncovered bytes included.
  static ParameterImage Patterned() {
    ParameterImage image;
    std::array<std::uint8_t, kImageSize> bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    image.ReplaceAll(bytes);
    return image;
  }
  static Bytes FileOf(const ParameterImage& image) {
    const auto encoded = EncodeProjectFile(image);
    return Bytes(encoded.begin(), encoded.end());
  }

  fs::path m_dir;
};

// Runs body in a child process without root's privileges (so permission bits bind), and
// gives its exit code.
int RunUnprivileged(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST_F(ProjectFileTest, SaveAndOpenReproduceEveryByte) {
  const ParameterImage original = Patterned();
  const fs::path path = m_dir / "room.KVdat";
  ASSERT_EQ(SaveProjectFile(path, original), FileResult::Ok);
  const Bytes file = Read(path);
  ASSERT_EQ(file.size(), 863u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 11), (Bytes{'M', 'Z', 'R', '4', '7', '0', '0', 'D', 'A', 'T', 0}));

  ParameterImage loaded;
  ASSERT_EQ(LoadProjectFile(path, loaded), FileResult::Ok);
  EXPECT_EQ(loaded, original);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(ProjectFileTest, BadFilesLeaveTheImageUnchanged) {
  const Bytes good = FileOf(Patterned());
  Bytes wrongSignature = good;
  wrongSignature[3] = 'X';
  Bytes eleventhNotZero = good;
  eleventhNotZero[10] = ' ';
  const Bytes shortImage(good.begin(), good.begin() + 11 + 851);
  struct Case {
    const char* what;
    Bytes content;
    FileResult result;
  };
  const std::vector<Case> cases = {
      {"empty", {}, FileResult::FormatError},
      {"10 bytes", Bytes(good.begin(), good.begin() + 10), FileResult::FormatError},
      {"signature only", Bytes(good.begin(), good.begin() + 11), FileResult::FormatError},
      {"wrong signature", wrongSignature, FileResult::FormatError},
      {"eleventh byte not zero", eleventhNotZero, FileResult::FormatError},
      {"image one byte short", shortImage, FileResult::FormatError},
  };
  for (const auto& c : cases) {
    const fs::path path = m_dir / "bad.kvdat";
    Write(path, c.content);
    ParameterImage image;
    image.ApplyNewProjectDefaults();
    const ParameterImage before = image;
    EXPECT_EQ(LoadProjectFile(path, image), c.result) << c.what;
    EXPECT_EQ(image, before) << c.what;
  }
  EXPECT_EQ(FileResultText(FileResult::FormatError), "File Format Error!");
}

TEST_F(ProjectFileTest, TrailingBytesAreIgnored) {
  Bytes file = FileOf(Patterned());
  file.insert(file.end(), {1, 2, 3, 4});
  Write(m_dir / "long.kvdat", file);
  ParameterImage image;
  EXPECT_EQ(LoadProjectFile(m_dir / "long.kvdat", image), FileResult::Ok);
  EXPECT_EQ(image, Patterned());
}

TEST_F(ProjectFileTest, UnreadableTargetsReportOpenFailed) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  const ParameterImage before = image;
  EXPECT_EQ(LoadProjectFile(m_dir / "missing.kvdat", image), FileResult::OpenFailed);
  EXPECT_EQ(LoadProjectFile(m_dir, image), FileResult::OpenFailed) << "a directory";
  EXPECT_EQ(image, before);
  EXPECT_EQ(FileResultText(FileResult::OpenFailed), "Can't open this file!");

  const fs::path locked = m_dir / "locked.kvdat";
  Write(locked, FileOf(Patterned()));
  fs::permissions(locked, fs::perms::none);
  const int code = RunUnprivileged([&] {
    ParameterImage child;
    return LoadProjectFile(locked, child) == FileResult::OpenFailed && child == ParameterImage{} ? 0 : 1;
  });
  EXPECT_EQ(code, 0) << "no read permission";
}

TEST_F(ProjectFileTest, FailedSavesLeaveTheOldFileIntact) {
  const Bytes old = FileOf(Patterned());
  ParameterImage changed;
  changed.ApplyNewProjectDefaults();

  // A folder that cannot be written: the temporary file cannot be made there.
  const fs::path lockedDir = m_dir / "readonly";
  fs::create_directories(lockedDir);
  Write(lockedDir / "show.kvdat", old);
  fs::permissions(lockedDir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(lockedDir / "show.kvdat", fs::perms::all);
  const int code = RunUnprivileged(
      [&] { return SaveProjectFile(lockedDir / "show.kvdat", changed) == FileResult::WriteFailed ? 0 : 1; });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Read(lockedDir / "show.kvdat"), old);

  // A device behind a link is never written to.
  const fs::path link = m_dir / "full.kvdat";
  fs::create_symlink("/dev/full", link);
  EXPECT_EQ(SaveProjectFile(link, changed), FileResult::WriteFailed);
  EXPECT_TRUE(fs::is_symlink(link));

  // A device that fills up in the middle of the write: the file-size limit makes the
  // write fail exactly as a full disk does.
  const fs::path target = m_dir / "target.kvdat";
  Write(target, old);
  fs::permissions(m_dir, fs::perms::all, fs::perm_options::add);  // writable for the child
  const int fullCode = RunUnprivileged([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100, 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return SaveProjectFile(target, changed) == FileResult::WriteFailed ? 0 : 1;
  });
  EXPECT_EQ(fullCode, 0);
  EXPECT_EQ(Read(target), old);
  for (const auto& entry : fs::directory_iterator(m_dir)) {
    EXPECT_EQ(entry.path().filename().string().rfind(".target", 0), std::string::npos)
        << "temporary file left: " << entry.path();
  }
}

// A file the user made read-only is protected: saving over it fails as writing into it
// would, instead of renaming a new file over it.
TEST_F(ProjectFileTest, SaveRefusesAReadOnlyTarget) {
  const Bytes old = FileOf(Patterned());
  const fs::path target = m_dir / "locked.kvdat";
  Write(target, old);
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(m_dir, fs::perms::all, fs::perm_options::add);  // the folder stays writable
  ParameterImage changed;
  changed.ApplyNewProjectDefaults();
  const int code = RunUnprivileged([&] {
    ProjectDocument doc;
    return doc.SaveAs(target, changed) == FileResult::WriteFailed && doc.currentName() == "Untitle.KVdat" ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Read(target), old);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_write, fs::perms::none);
}

// The temporary file beside the target must itself be a legal name when the target's name
// is already near the 255-byte limit.
TEST_F(ProjectFileTest, SaveWorksForTheLongestFileNames) {
  for (const std::size_t length : {240u, 250u, 255u}) {
    const fs::path target = m_dir / (std::string(length - 6, 'n') + ".kvdat");
    ParameterImage image = Patterned();
    ASSERT_EQ(SaveProjectFile(target, image), FileResult::Ok) << length << " bytes";
    ParameterImage loaded;
    ASSERT_EQ(LoadProjectFile(target, loaded), FileResult::Ok);
    EXPECT_EQ(loaded, image);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 3);
}

TEST_F(ProjectFileTest, SaveThroughALinkKeepsTheLink) {
  const fs::path real = m_dir / "real.kvdat";
  Write(real, FileOf(Patterned()));
  const fs::path link = m_dir / "link.kvdat";
  fs::create_symlink(real, link);
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  ASSERT_EQ(SaveProjectFile(link, image), FileResult::Ok);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), FileOf(image));
}

TEST_F(ProjectFileTest, DocumentKeepsItsNameUnlessTheOperationSucceeds) {
  const fs::path cwd = fs::current_path();
  fs::current_path(m_dir);
  ProjectDocument doc;
  ParameterImage image;
  doc.NewProject(image);
  EXPECT_EQ(doc.currentName(), "Untitle.KVdat");
  // Save with the untitled name writes into the current folder.
  EXPECT_EQ(doc.Save(image), FileResult::Ok);
  EXPECT_TRUE(fs::exists(m_dir / "Untitle.KVdat"));

  EXPECT_EQ(doc.SaveAs(m_dir / "no-such-dir" / "x.kvdat", image), FileResult::WriteFailed);
  EXPECT_EQ(doc.currentName(), "Untitle.KVdat");
  EXPECT_EQ(doc.Open(m_dir / "missing.kvdat", image), FileResult::OpenFailed);
  EXPECT_EQ(doc.currentName(), "Untitle.KVdat");

  ASSERT_EQ(doc.SaveAs(m_dir / "a.kvdat", image), FileResult::Ok);
  EXPECT_EQ(doc.currentName(), m_dir / "a.kvdat");
  image.setGeqGain(2, 3, -40);
  ASSERT_EQ(doc.Save(image), FileResult::Ok);  // after Save As, Save writes to the new path
  ParameterImage reread;
  ASSERT_EQ(doc.Open(m_dir / "a.kvdat", reread), FileResult::Ok);
  EXPECT_EQ(reread.geqGain(2, 3), -40);

  doc.NewProject(image);
  EXPECT_EQ(doc.currentName(), "Untitle.KVdat");
  fs::current_path(cwd);
}


// The document says whether the image holds work not in its file: New, Open, Save and Save
// As take the image as saved; a change marks it, and changing it back clears the mark. A
// failed operation leaves the saved copy as it was.
TEST_F(ProjectFileTest, DocumentTellsWhetherTheImageHoldsUnsavedWork) {
  ProjectDocument doc;
  ParameterImage image;
  doc.NewProject(image);
  EXPECT_FALSE(doc.IsModified(image));
  EXPECT_TRUE(doc.isUntitled());
  image.setOutputLevel(1, 40);
  EXPECT_TRUE(doc.IsModified(image));
  image.setOutputLevel(1, 44);  // back to New's default
  EXPECT_FALSE(doc.IsModified(image));

  image.setOutputLevel(1, 40);
  EXPECT_EQ(doc.SaveAs(m_dir / "no-such-dir" / "x.kvdat", image), FileResult::WriteFailed);
  EXPECT_TRUE(doc.IsModified(image));
  ASSERT_EQ(doc.SaveAs(m_dir / "a.kvdat", image), FileResult::Ok);
  EXPECT_FALSE(doc.IsModified(image));
  EXPECT_FALSE(doc.isUntitled());

  image.setGeqGain(0, 4, 12);
  EXPECT_TRUE(doc.IsModified(image));
  ASSERT_EQ(doc.Save(image), FileResult::Ok);
  EXPECT_FALSE(doc.IsModified(image));

  // Open takes the file's bytes as saved; a failed open keeps the mark as it was.
  image.setGeqGain(0, 4, 0);
  EXPECT_EQ(doc.Open(m_dir / "missing.kvdat", image), FileResult::OpenFailed);
  EXPECT_TRUE(doc.IsModified(image));
  ASSERT_EQ(doc.Open(m_dir / "a.kvdat", image), FileResult::Ok);
  EXPECT_FALSE(doc.IsModified(image));
  EXPECT_EQ(image.geqGain(0, 4), 12);
}

}  // namespace
}  // namespace mzr
