#include "common/files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
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
  ASSERT_TRUE(replace_shared_file(path("small"), std::string(16, 'x')));
  ASSERT_TRUE(replace_shared_file(path("sparse"), ""));
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

TEST(ReplaceSharedFile, WritesAFileOthersCanReadNeverThroughAPlantedLink) {
  testing::TempDir dir;
  const auto path = dir.path() / "demo.json";
  // A link planted at the file is replaced, never written through; the victim keeps its bytes.
  const auto victim = dir.path() / "victim";
  ASSERT_TRUE(replace_shared_file(victim, "kept"));
  std::filesystem::create_symlink(victim, path);
  const mode_t umask_before = ::umask(077);
  const auto first = replace_shared_file(path, "one");
  const auto second = replace_shared_file(path, "two");
  ::umask(umask_before);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(read_regular_file(path, 100)->text, "two");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(*read_whole_file(victim), "kept");

  std::filesystem::create_directories(dir.path() / "full" / "inside");  // can't be renamed over
  ASSERT_FALSE(replace_shared_file(dir.path() / "full", "x"));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"demo.json", "full", "victim"}));  // no temporary
}

// A user who can change the folder's entries could swap the file under a writer run as root.
TEST(ReplaceSharedFile, WritesOnlyIntoAFolderNoOtherUserCanChange) {
  const struct {
    unsigned owner, mode, caller;
    std::optional<std::string> refusal;
  } cases[] = {
      {0, 0755, 0, std::nullopt},
      {0, 0755, 1000, std::nullopt},  // root's folder, the caller may write it or not
      {1000, 0700, 1000, std::nullopt},
      {0, 01777, 0, std::nullopt},  // /tmp: others cannot rename the caller's files
      {1001, 0755, 0, "its folder belongs to user 1001"},
      {1001, 0755, 1000, "its folder belongs to user 1001"},
      {0, 0775, 0, "its folder is writable by other users and not sticky"},
      {0, 0757, 0, "its folder is writable by other users and not sticky"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shared_folder_refusal(c.owner, S_IFDIR | c.mode, c.caller), c.refusal)
        << c.owner << " " << std::oct << c.mode << " " << c.caller;
  }

  testing::TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0777));
  const auto refused = replace_shared_file(dir.path() / "kelvo.prom", "kelvo_files_skipped 0\n");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason, "its folder is writable by other users and not sticky");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PercentEncode, KeepsOnlyLettersDigitsAndTheNamedBytes) {
  EXPECT_EQ(percent_encode("../a b%\n\xC3\xA9", "._-"), "..%2Fa%20b%25%0A%C3%A9");
  EXPECT_EQ(percent_encode("team.alpha_1-x", "_-"), "team%2Ealpha_1-x");
  EXPECT_EQ(percent_encode(std::string("\0/", 2), ""), "%00%2F");
}

}  // namespace
}  // namespace kelvo
