#include "data/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/FileSizeLimit.hpp"
#include "support/TempDir.hpp"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommitWithTheUmaskPermissions) {
  TempDir dir;
  const std::string target = dir.write("out.json", "old\n");
  const mode_t previousMask = ::umask(027);
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.temporaryPath().parent_path(), dir.path());
    EXPECT_EQ(file.temporaryPath().filename().string().rfind(".out.json.tmp.", 0), 0u);
    file.stream() << "new\n";
    EXPECT_EQ(readFile(target), "old\n");
    ASSERT_TRUE(file.commit());
    EXPECT_TRUE(file.commit());  // a second commit changes nothing
    EXPECT_EQ(file.failure(), AtomicFile::Failure::None);
  }
  ::umask(previousMask);
  EXPECT_EQ(readFile(target), "new\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.json"});
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(AtomicFile, FilesOfOtherThreadsKeepTheirPermissionsWhileTemporaryFilesAreMade) {
  // The process umask must stay as it is: a file another thread creates meanwhile would
  // otherwise get the permissions of whatever mask the temporary file's creation set.
  TempDir dir;
  const mode_t previousMask = ::umask(022);
  constexpr int kWriters = 4;
  constexpr int kFilesEach = 1500;
  std::atomic<int> done{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kFilesEach; ++i) {
        const AtomicFile file(dir.path() / ("t" + std::to_string(w) + ".json"));
        EXPECT_TRUE(file.isOpen());
      }
      ++done;
    });
  }
  int wrongModes = 0;
  const std::string probe = (dir.path() / "probe").string();
  while (done < kWriters) {
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    EXPECT_GE(fd, 0);
    struct stat info {};
    ::fstat(fd, &info);
    wrongModes += (info.st_mode & 0777) != 0644;
    ::close(fd);
    ::unlink(probe.c_str());
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  ::umask(previousMask);
  EXPECT_EQ(wrongModes, 0);
  EXPECT_TRUE(dir.entries().empty());  // no temporary file left behind
}

TEST(AtomicFile, EachFailureIsNamedAndLeavesTheDirectoryAsItWas) {
  TempDir dir;
  {
    AtomicFile missing(dir.path() / "missing" / "out.json");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.failure(), AtomicFile::Failure::CannotCreate);
    EXPECT_EQ(missing.reason(), "No such file or directory");
    EXPECT_EQ(missing.directory(), dir.path() / "missing");
    EXPECT_FALSE(missing.commit());
  }
  fs::create_directories(dir.path() / "taken" / "inside");
  {
    AtomicFile overDirectory(dir.path() / "taken");
    ASSERT_TRUE(overDirectory.isOpen());
    overDirectory.stream() << "text\n";
    EXPECT_FALSE(overDirectory.commit());
    EXPECT_EQ(overDirectory.failure(), AtomicFile::Failure::CannotReplace);
    EXPECT_FALSE(overDirectory.reason().empty());
  }
  EXPECT_TRUE(fs::is_directory(dir.path() / "taken" / "inside"));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"taken"});
  EXPECT_EQ(AtomicFile("bare.json").directory(), fs::path("."));
}

TEST(AtomicFile, AWriteFailingPartWayKeepsThePreviousFile) {
  TempDir dir;
  const std::string target = dir.write("out.json", "previous\n");
  AtomicFile file(target);
  ASSERT_TRUE(file.isOpen());
  bool committed = true;
  {
    const test::FileSizeLimit fullDisk(64);
    if (!fullDisk.active()) {
      GTEST_SKIP() << "cannot limit the file size here";
    }
    file.stream() << std::string(4096, 'x');
    committed = file.commit();
  }
  EXPECT_FALSE(committed);
  EXPECT_EQ(file.failure(), AtomicFile::Failure::WriteFailed);
  EXPECT_EQ(readFile(target), "previous\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.json"});
}

}  // namespace
}  // namespace vorn
