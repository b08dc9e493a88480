#include "common/files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

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

TEST(ReadRegularFile, ReadsOnlyASmallRegularFileAndNeverThroughALink) {
  testing::TempDir dir;
  const auto path = [&](const char* name) { return dir.path() / name; };
  ASSERT_TRUE(replace_file_unsynced(path("small"), std::string(16, 'x'), path("tmp")));
  ASSERT_TRUE(replace_file_unsynced(path("sparse"), "", path("tmp")));
  std::filesystem::resize_file(path("sparse"), 1ull << 30);  // a gigabyte that takes no disk
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);        // nobody ever writes it
  std::filesystem::create_symlink(path("small"), path("link"));
  std::filesystem::create_symlink("/proc/self/pagemap", path("pagemap"));
  const struct {
    const char* name;
    std::size_t limit;
    std::string result;
  } cases[] = {
      {"small", 16, std::string(16, 'x')},
      {"small", 15, "larger than 15 bytes"},
      {"sparse", 65536, "larger than 65536 bytes"},
      {"fifo", 65536, "not a regular file"},
      {"link", 65536, "a symbolic link"},
      {"pagemap", 65536, "a symbolic link"},
      {"missing", 65536, "No such file or directory"},
      {".", 65536, "not a regular file"},
  };
  for (const auto& c : cases) {
    const auto read = read_regular_file(path(c.name), c.limit);
    EXPECT_EQ(read ? read->text : read.failure().reason, c.result) << c.name;
  }
  const auto before = std::chrono::system_clock::now() - std::chrono::minutes(1);
  EXPECT_GT(read_regular_file(path("small"), 16)->modified, before);
}

TEST(ReplaceFileUnsynced, WritesAFileOthersCanReadAndLeavesNoTemporaryOnFailure) {
  testing::TempDir dir;
  const auto path = dir.path() / "demo.json";
  const auto temporary = dir.path() / "demo.json.tmp";
  // The unique temporary's way: a planted link at the file is replaced, never written through.
  const auto victim = dir.path() / "victim";
  ASSERT_TRUE(replace_file_unsynced(victim, "kept", temporary));
  std::filesystem::create_symlink(victim, dir.path() / "unique.prom");
  const mode_t umask_before = ::umask(077);
  const auto first = replace_file_unsynced(path, "one", temporary);
  const auto second = replace_file_unsynced(path, "two", temporary);
  const auto unique = replace_file_unsynced_unique(dir.path() / "unique.prom", "three");
  ::umask(umask_before);
  ASSERT_TRUE(first && second && unique);
  EXPECT_EQ(*read_whole_file(path), "two");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
  EXPECT_FALSE(std::filesystem::exists(temporary));
  EXPECT_EQ(read_regular_file(dir.path() / "unique.prom", 100)->text, "three");
  EXPECT_EQ(std::filesystem::status(dir.path() / "unique.prom").permissions(),
            std::filesystem::perms(0644));
  EXPECT_EQ(*read_whole_file(victim), "kept");

  std::filesystem::create_directories(dir.path() / "full" / "inside");  // can't be renamed over
  const auto refused = replace_file_unsynced(dir.path() / "full", "x", temporary);
  ASSERT_FALSE(refused);
  EXPECT_FALSE(std::filesystem::exists(temporary));
  ASSERT_FALSE(replace_file_unsynced_unique(dir.path() / "full", "x"));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"demo.json", "full", "unique.prom", "victim"}));
}

TEST(PercentEncode, KeepsOnlyLettersDigitsAndTheNamedBytes) {
  EXPECT_EQ(percent_encode("../a b%\n\xC3\xA9", "._-"), "..%2Fa%20b%25%0A%C3%A9");
  EXPECT_EQ(percent_encode("team.alpha_1-x", "_-"), "team%2Ealpha_1-x");
  EXPECT_EQ(percent_encode(std::string("\0/", 2), ""), "%00%2F");
}

}  // namespace
}  // namespace kelvo
