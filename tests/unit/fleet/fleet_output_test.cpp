#include "fleet/fleet_output.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

TEST(FleetOutput, WritesOnlyIntoAFolderNoOtherUserCanChange) {
  const struct {
    uid_t owner;
    mode_t mode;
    uid_t caller;
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
    EXPECT_EQ(output_folder_refusal(c.owner, S_IFDIR | c.mode, c.caller), c.refusal)
        << c.owner << " " << std::oct << c.mode << " " << c.caller;
  }

  testing::TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0777));
  const auto refused = write_output(dir.path() / "kelvo.prom", "kelvo_files_skipped 0\n");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason, "its folder is writable by other users and not sticky");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace kelvo
