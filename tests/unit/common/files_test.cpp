#include "common/files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "common/percent_encoding.hpp"
#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

TEST(WriteAll, GoesOnUntilAPipeSmallerThanTheTextHasTakenAllOfIt) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
  const std::string text(1 << 20, 'x');
  std::string received;
  std::thread reader([&] {
    char buffer[1000];  // small reads, so the writer keeps finding the pipe full
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
  });
  EXPECT_TRUE(write_all(ends[1], text));
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  EXPECT_EQ(received.size(), text.size());

  const auto closed = write_all(ends[1], "late");
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.failure().reason, "Bad file descriptor");
}

TEST(ReadWholeFile, SaysWhyAFileCannotBeRead) {
  testing::TempDir dir;
  EXPECT_EQ(read_whole_file(dir.path() / "missing").failure().reason, "No such file or directory");
  EXPECT_EQ(read_whole_file(dir.path()).failure().reason, "Is a directory");
}

// A folder others can write may hold a link, a FIFO or a huge file where a small one belongs.
TEST(ReadRegularFile, ReadsOnlyASmallRegularFileNeverThroughALink) {
  testing::TempDir dir;
  const auto small = dir.path() / "small";
  std::ofstream(small) << "12345678";
  std::filesystem::create_symlink(small, dir.path() / "link");
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);  // no writer: would block
  std::ofstream(dir.path() / "large") << "123456789";
  EXPECT_EQ(*read_regular_file(small, 8), "12345678");
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"link", "Too many levels of symbolic links"},
      {"fifo", "not a regular file"},
      {"large", "larger than 8 bytes"},
      {"missing", "No such file or directory"},
  };
  for (const auto& [name, reason] : refused) {
    EXPECT_EQ(read_regular_file(dir.path() / name, 8).failure().reason, reason) << name;
  }
}

TEST(KeepAside, MovesTheFileAsideNeverOverAnEarlierBackup) {
  testing::TempDir dir;
  const auto path = dir.path() / "o.json";
  std::ofstream(path.string() + ".bad-1000") << "earlier";
  std::ofstream(path) << "damaged";
  const auto kept = keep_aside(path, at_epoch_ms(1000));
  ASSERT_TRUE(kept);
  EXPECT_EQ(**kept, std::filesystem::path(path.string() + ".bad-1001"));
  EXPECT_EQ(*read_whole_file(**kept), "damaged");
  EXPECT_EQ(*read_whole_file(path.string() + ".bad-1000"), "earlier");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(*keep_aside(path, at_epoch_ms(2000)), std::nullopt);  // nothing left to keep
}

TEST(ReplaceFileUnsynced, WritesAFileOthersCanReadAndLeavesNoTemporaryOnFailure) {
  testing::TempDir dir;
  const auto path = dir.path() / "demo.json";
  const auto temporary = dir.path() / "demo.json.tmp";
  const mode_t umask_before = ::umask(077);
  const auto first = replace_file_unsynced(path, "one", temporary);
  const auto second = replace_file_unsynced(path, "two", temporary);
  ::umask(umask_before);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*read_whole_file(path), "two");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
  EXPECT_FALSE(std::filesystem::exists(temporary));

  std::filesystem::create_directories(dir.path() / "full" / "inside");  // can't be renamed over
  const auto refused = replace_file_unsynced(dir.path() / "full", "x", temporary);
  ASSERT_FALSE(refused);
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST(PercentEncode, KeepsOnlyLettersDigitsAndTheNamedBytes) {
  EXPECT_EQ(percent_encode("../a b%\n\xC3\xA9", "._-"), "..%2Fa%20b%25%0A%C3%A9");
  EXPECT_EQ(percent_encode("team.alpha_1-x", "_-"), "team%2Ealpha_1-x");
  EXPECT_EQ(percent_encode(std::string("\0/", 2), ""), "%00%2F");
}

}  // namespace
}  // namespace kelvo
