#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files/replace_file.h"
#include "support/scratch_folder_for_tests.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

// The exporter reads as another user: 0644 even under a umask of 077.
TEST(ReplaceFilePosix, ReadableByAllWhateverTheUmask) {
  const fs::path folder = makeScratchFolder("veltrum-replace-");
  const mode_t saved = umask(077);
  const bool written = replaceFileWhole(folder.string(), "job.prom", "x\n");
  umask(saved);
  ASSERT_TRUE(written);
  struct stat details;
  ASSERT_EQ(stat((folder / "job.prom").c_str(), &details), 0);
  EXPECT_EQ(details.st_mode & 07777, 0644u);
  fs::remove_all(folder);
}

// A link planted at the final name is replaced as a name; its target stays.
TEST(ReplaceFilePosix, LinkAtTheNameIsReplacedNotWrittenThrough) {
  const fs::path folder = makeScratchFolder("veltrum-replace-");
  const fs::path target = folder / "target";
  { std::ofstream(target) << "kept"; }
  fs::create_symlink(target, folder / "job.prom");
  ASSERT_TRUE(replaceFileWhole(folder.string(), "job.prom", "new\n"));
  EXPECT_FALSE(fs::is_symlink(folder / "job.prom"));
  EXPECT_EQ(fs::file_size(target), 4u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace veltrum
