// The owner state file under faults: a state folder that stops taking writes in the middle of a
// run, and an owner name that tries to climb out of the state folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "state/state_file.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

// Ends a quiet minute so the board is shown, classifies its start `:0` as `name` through the
// operator, and gives the status reply that follows (the registry as the shell holds it).
std::optional<std::string> classify_board_start(ShellSession& session, const std::string& name) {
  session.agent_idle(61);
  if (!session.wait_for_message(text_starts_with("⟳ **kelvo** — idle ~"))) return std::nullopt;
  session.agent_busy();
  const auto board = session.wait_for_message(text_starts_with("⟳ **kelvo** stretch board `"));
  if (!board) return std::nullopt;
  const std::string id = board->text.substr(board->text.find('`') + 1, 6);
  session.operator_command("classify", {id + "-0", name});
  const auto reply = session.ask_status();
  if (!reply) return std::nullopt;
  return reply->text;
}

bool holds(const std::optional<std::string>& reply, const std::string& part) {
  return reply && reply->find(part) != std::string::npos;
}

std::vector<std::string> class_names(const fs::path& state_file) {
  std::vector<std::string> names;
  const auto state = load_state(state_file);
  EXPECT_TRUE(state);
  if (!state) return names;
  for (const auto& [name, stat] : state->registry) {
    EXPECT_EQ(stat.count, 1u) << name;
    names.push_back(name);
  }
  return names;
}

// One way for the state folder to refuse the next save without permission bits, which don't stop
// root: `spoil` makes the save fail, `mend` undoes it.
struct Spoiler {
  std::string name;
  std::function<void(const fs::path& folder, const fs::path& file)> spoil;
  std::function<void(const fs::path& folder, const fs::path& file)> mend;
  std::function<std::string(const fs::path& folder)> message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Spoiler& spoiler, std::ostream* out) { *out << spoiler.name; }

fs::path aside(const fs::path& path) { return path.string() + ".aside"; }

const std::vector<Spoiler> kSpoilers = {
    {"folder_replaced_by_a_file",
     [](const fs::path& folder, const fs::path&) {
       fs::rename(folder, aside(folder));
       std::ofstream(folder) << "not a folder";
     },
     [](const fs::path& folder, const fs::path&) {
       fs::remove(folder);
       fs::rename(aside(folder), folder);
     },
     [](const fs::path& folder) {
       return "kelvo-shell: state dir create failed under " + folder.string() + "\n";
     }},
    {"temporary_file_is_a_folder",
     [](const fs::path&, const fs::path& file) { fs::create_directory(file.string() + ".tmp"); },
     [](const fs::path&, const fs::path& file) { fs::remove(file.string() + ".tmp"); },
     [](const fs::path&) {
       return std::string("kelvo-shell: state save failed: Is a directory\n");
     }},
    {"state_file_is_a_folder",
     [](const fs::path&, const fs::path& file) {
       fs::rename(file, aside(file));
       fs::create_directories(file / "kept");
     },
     [](const fs::path&, const fs::path& file) {
       fs::remove_all(file);
       fs::rename(aside(file), file);
     },
     [](const fs::path&) {
       return std::string("kelvo-shell: state save failed: Is a directory\n");
     }},
};

class FaultStateFolder : public ::testing::TestWithParam<Spoiler> {};

TEST_P(FaultStateFolder, KeepsTheRegistryInMemoryAndSavesAgainOnceWritable) {
  const Spoiler& spoiler = GetParam();
  ShellSession session;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  const fs::path folder = session.state_dir() / "state";
  const fs::path file = session.state_file();

  ASSERT_TRUE(holds(classify_board_start(session, "first_wait"), " 1 class in the registry."));
  EXPECT_EQ(class_names(file), std::vector<std::string>{"first_wait"});
  const std::string saved = read_file(file);

  spoiler.spoil(folder, file);
  EXPECT_TRUE(holds(classify_board_start(session, "second_wait"), " 2 classes in the registry."));
  EXPECT_EQ(session.shell_err(), spoiler.message(folder));
  spoiler.mend(folder, file);
  EXPECT_EQ(read_file(file), saved);  // the failed save left the old file alone

  EXPECT_TRUE(holds(classify_board_start(session, "third_wait"), " 3 classes in the registry."));
  EXPECT_EQ(class_names(file),
            (std::vector<std::string>{"first_wait", "second_wait", "third_wait"}));
  EXPECT_EQ(session.shell_err(), spoiler.message(folder));  // no further message
  EXPECT_TRUE(session.shell_running());
}

INSTANTIATE_TEST_SUITE_P(Spoilers, FaultStateFolder, ::testing::ValuesIn(kSpoilers),
                         [](const auto& info) { return info.param.name; });

TEST(FaultStateFile, KeepsAnUnreadableFileAsideBeforeTheFirstSave) {
  ShellSession session;
  const fs::path file = session.state_file();
  fs::create_directories(file.parent_path());
  const std::string damaged = "{\"registry\": {\"ci_run\": {\"count\": 3}}";  // half-edited
  std::ofstream(file) << damaged;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  const std::string loaded = "kelvo-shell: state file " + file.string() +
                             " could not be loaded: not a state file (damaged JSON, a key given "
                             "twice, or a missing or wrong-typed field); starting with an empty "
                             "registry\n";
  EXPECT_EQ(session.shell_err(), loaded);
  EXPECT_EQ(read_file(file), damaged);  // nothing is written before a save

  ASSERT_TRUE(holds(classify_board_start(session, "peer_wait"), " 1 class in the registry."));
  std::vector<fs::path> backups;
  for (const auto& entry : fs::directory_iterator(file.parent_path())) {
    if (entry.path().filename().string().starts_with("demo.json.bad-")) backups.push_back(entry);
  }
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(read_file(backups[0]), damaged);
  EXPECT_EQ(class_names(file), std::vector<std::string>{"peer_wait"});
  EXPECT_EQ(session.shell_err(), loaded + "kelvo-shell: state file " + file.string() + " kept as " +
                                     backups[0].string() + "\n");
}

TEST(FaultOwnerName, KeepsAClimbingOwnerInsideTheStateFolder) {
  ShellSession session("../escape");
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  ASSERT_TRUE(holds(classify_board_start(session, "odd_owner_wait"), " 1 class in the registry."));

  const fs::path file = session.state_dir() / "state" / "..%2Fescape.json";
  EXPECT_EQ(class_names(file), std::vector<std::string>{"odd_owner_wait"});
  std::vector<fs::path> written;
  for (const auto& entry : fs::recursive_directory_iterator(session.state_dir())) {
    written.push_back(entry.path());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<fs::path>{session.state_dir() / "sessions",
                                            session.state_dir() / "sessions" / "..%2Fescape.json",
                                            session.state_dir() / "state", file}));
  EXPECT_EQ(session.shell_err(), "");
}

}  // namespace
}  // namespace kelvo::testing
