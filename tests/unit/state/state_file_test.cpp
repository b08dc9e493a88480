#include "state/state_file.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(StatePath, KeepsAPlainOwnerAsTheStem) {
  EXPECT_EQ(state_path("/srv/kelvo", "team.alpha"), fs::path("/srv/kelvo/state/team.alpha.json"));
  EXPECT_EQ(state_path("", "équipe-1_x"), fs::path("state/équipe-1_x.json"));
}

TEST(StatePath, EncodesOwnersThatCouldLeaveTheFolder) {
  const struct {
    std::string owner;
    std::string file;
  } cases[] = {
      {"../../etc/x", "..%2F..%2Fetc%2Fx.json"},
      {"a/b", "a%2Fb.json"},
      {"a\\b c", "a%5Cb%20c.json"},
      {std::string("a\0b", 3), "a%00b.json"},
      {"tab\there\x7f", "tab%09here%7F.json"},
      {"x/é", "x%2F%C3%A9.json"},
      {"%2F", "%252F.json"},  // else it would share a file with owner "/"
      {"/", "%2F.json"},
      {"", ".json"},
      {"..", "...json"},
  };
  for (const auto& c : cases) {
    const fs::path path = state_path("/srv/kelvo", c.owner);
    EXPECT_EQ(path.parent_path(), fs::path("/srv/kelvo/state")) << c.owner;
    EXPECT_EQ(path.filename(), fs::path(c.file)) << c.owner;
  }
}

TEST(LoadState, GivesTheDefaultForAMissingFileAndWhyForAnUnreadableOne) {
  kelvo::testing::TempDir dir;
  EXPECT_EQ(*load_state(dir.path() / "state" / "none.json"), OwnerState{});
  EXPECT_EQ(load_state(dir.path()).failure().reason, "Is a directory");
  write_file(dir.path() / "empty.json", "");
  EXPECT_EQ(load_state(dir.path() / "empty.json").failure().reason.rfind("not a state file", 0),
            0u);
}

TEST(SaveState, CreatesTheFolderAndWritesTheEmptyState) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "team.alpha");
  ASSERT_TRUE(save_state(path, *load_state(path)));
  EXPECT_EQ(read_file(path), "{\n  \"registry\": {},\n  \"acted_seq\": null\n}");
  EXPECT_FALSE(fs::exists(dir.path() / "state" / "team.alpha.json.tmp"));
}

TEST(SaveState, KeepsActedSeqAndDropsUnknownKeys) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "o");
  write_file(path, "{\"x\": {\"deep\": [1]}, \"acted_seq\": 17}");
  ASSERT_TRUE(save_state(path, *load_state(path)));
  EXPECT_EQ(read_file(path), "{\n  \"registry\": {},\n  \"acted_seq\": 17\n}");
}

TEST(SaveState, OverwritesAFileThatFailedToLoad) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "o");
  write_file(path, "{\"registry\": {\"c\": {\"count\": 1, \"mean_secs\": 2}}}");
  EXPECT_FALSE(load_state(path));
  OwnerState state;
  state.registry["d"] = {1, 2.5, 3};
  ASSERT_TRUE(save_state(path, state));
  EXPECT_EQ(*load_state(path), state);
}

TEST(SaveState, ReportsAFolderThatCannotBeMadeAndRecovers) {
  kelvo::testing::TempDir dir;
  write_file(dir.path() / "blocker", "");  // a file where a folder should be, even for root
  const fs::path blocked = state_path(dir.path() / "blocker", "o");
  OwnerState state;
  state.registry["c"] = {1, 1.0, 1};

  const auto refused = save_state(blocked, state);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason,
            "state dir create failed under " + blocked.parent_path().string());

  const fs::path path = state_path(dir.path(), "o");
  ASSERT_TRUE(save_state(path, state));
  EXPECT_EQ(*load_state(path), state);
}

TEST(SaveState, ReportsAFailedWriteAndLeavesTheOldFile) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "o");
  write_file(path, "{}");
  fs::create_directories(dir.path() / "state" / "o.json.tmp");  // the temporary can't be opened

  const auto refused = save_state(path, OwnerState{});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason, "state save failed: Is a directory");
  EXPECT_EQ(read_file(path), "{}");
}

TEST(SaveState, ReportsAFailedRename) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "o");
  fs::create_directories(path / "inside");  // a non-empty folder can't be renamed over

  const auto refused = save_state(path, OwnerState{});
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.failure().reason.starts_with("state save failed: "))
      << refused.failure().reason;
  EXPECT_TRUE(fs::is_directory(path / "inside"));
}

TEST(SaveState, ReportsAStateThatCannotBeSerialized) {
  kelvo::testing::TempDir dir;
  const fs::path path = state_path(dir.path(), "o");
  OwnerState state;
  state.registry["bad\xff"] = {1, 1.0, 1};

  const auto refused = save_state(path, state);
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.failure().reason.starts_with("state serialize failed: "))
      << refused.failure().reason;
  EXPECT_FALSE(fs::exists(path));
}

TEST(SaveState, StaysInsideTheStateFolderForAnyOwner) {
  kelvo::testing::TempDir dir;
  const fs::path state_dir = dir.path() / "a" / "b";
  ASSERT_TRUE(save_state(state_path(state_dir, "../../escaped"), OwnerState{}));
  EXPECT_FALSE(fs::exists(dir.path() / "escaped.json"));
  EXPECT_TRUE(fs::exists(state_dir / "state" / "..%2F..%2Fescaped.json"));
}

}  // namespace
}  // namespace kelvo
