#include "common/files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
