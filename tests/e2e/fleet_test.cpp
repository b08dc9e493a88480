// Five real shells keeping their runtime status in one folder, as kelvo-fleet sees them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "runtime/runtime_status.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

class Fleet : public ::testing::Test {
 protected:
  std::optional<RuntimeStatus> status_of(const std::string& owner) const {
    auto status = decode_runtime_status(read_file(runtime_status_path(runtime_.path(), owner)));
    return status ? std::optional(*status) : std::nullopt;
  }

  // Waits until the owner's status file holds for `holds`.
  bool wait_for(const std::string& owner, const std::function<bool(const RuntimeStatus&)>& holds) {
    const bool held = wait_until(
        [&] {
          const auto status = status_of(owner);
          return status && holds(*status);
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(held) << owner << ": " << read_file(runtime_status_path(runtime_.path(), owner));
    return held;
  }
  bool wait_for_pacing(const std::string& owner, Pacing pacing) {
    return wait_for(owner, [&](const RuntimeStatus& s) { return s.pacing == pacing; });
  }
  bool wait_for_idle(const std::string& owner) {
    return wait_for(owner, [](const RuntimeStatus& s) { return s.activity == Activity::Idle; });
  }

  // kelvo-fleet --json: its exit code and, by owner, each shell's entry.
  std::pair<int, std::map<std::string, nlohmann::json>> look() const {
    const ProgramRun run = run_program(
        {fleet_program().string(), "--runtime-dir", runtime_.path().string(), "--json"});
    EXPECT_EQ(run.err, "");
    std::map<std::string, nlohmann::json> shells;
    const nlohmann::json view = nlohmann::json::parse(run.out);
    for (const auto& shell : view.at("shells")) {
      shells[shell.at("owner").get<std::string>()] = shell;
    }
    return {run.exit_code, shells};
  }

  ShellLaunch launch() const {
    ShellLaunch launch;
    launch.extra_args = {"--runtime-dir", runtime_.path().string()};
    return launch;
  }

  TempDir runtime_;
};

TEST_F(Fleet, ShowsEachShellTrulyAndSaysWhenNobodyNeedsAPerson) {
  ShellSession busy("busy", "KELVO-1"), idle("idle", "KELVO-2"), blocked("blocked", "KELVO-3"),
      paused("paused", "KELVO-4"), killed("killed", "KELVO-5");
  for (ShellSession* session : {&busy, &idle, &blocked, &paused, &killed}) {
    session->start_shell(launch());
  }
  ASSERT_TRUE(wait_for_pacing("killed", Pacing::Busy));
  killed.stop_shell();  // SIGKILL: no end is written

  idle.agent_idle(61);
  ASSERT_TRUE(idle.wait_for_message(text_starts_with("⟳ **kelvo** — idle ~")));
  blocked.agent_idle();
  paused.agent_idle();
  ASSERT_TRUE(wait_for_idle("blocked") && wait_for_idle("paused"));
  blocked.agent_say("I need the deploy key from a person. !!done!!");
  paused.operator_command("pause");
  ASSERT_TRUE(wait_for_pacing("blocked", Pacing::Blocked));
  ASSERT_TRUE(wait_for_pacing("paused", Pacing::Paused));
  ASSERT_TRUE(wait_for(
      "idle", [](const RuntimeStatus& s) { return s.pacing == Pacing::Nudging && s.nudges == 1; }));

  const auto [code, shells] = look();
  EXPECT_EQ(code, 1);
  const std::map<std::string, std::pair<std::string, bool>> expected = {
      {"busy", {"busy", false}},     {"idle", {"nudging", false}}, {"blocked", {"blocked", true}},
      {"paused", {"paused", false}}, {"killed", {"gone", true}},
  };
  ASSERT_EQ(shells.size(), expected.size());
  for (const auto& [owner, state] : expected) {
    const nlohmann::json& shell = shells.at(owner);
    EXPECT_EQ(shell.at("state"), state.first) << shell.dump(2);
    EXPECT_EQ(shell.at("needs_person"), state.second) << shell.dump(2);
    EXPECT_EQ(shell.at("alive"), owner != "killed") << shell.dump(2);
  }
  EXPECT_EQ(shells.at("idle").at("status").at("nudges_total"), 1);
  EXPECT_EQ(shells.at("blocked").at("shell_id"), "KELVO-3");

  blocked.agent_busy();
  ASSERT_TRUE(wait_for_pacing("blocked", Pacing::Busy));
  std::filesystem::remove(runtime_status_path(runtime_.path(), "killed"));
  const auto [later_code, later_shells] = look();
  EXPECT_EQ(later_code, 0);
  EXPECT_EQ(later_shells.size(), 4u);
  EXPECT_EQ(later_shells.at("blocked").at("state"), "busy");
}

// A folder that the shells' user may write, as a hostile one fills it: kelvo-fleet must neither
// hang nor swallow a gigabyte, and must not call a folder it cannot read calm.
TEST(FleetFolder, SkipsWhatIsNoStatusWithoutHangingAndFailsForAFolderItCannotRead) {
  TempDir runtime;
  const auto at = [&](const char* name) { return runtime.path() / name; };
  std::filesystem::create_symlink("/proc/kmsg", at("kmsg.json"));  // a read blocks for ever
  std::filesystem::create_symlink("/proc/self/pagemap", at("pagemap.json"));
  ASSERT_EQ(::mkfifo(at("fifo.json").c_str(), 0600), 0);
  { std::ofstream(at("sparse.json")) << "{"; }
  std::filesystem::resize_file(at("sparse.json"), 1ull << 30);
  { std::ofstream(at("damaged.json")) << "{\"version\": \"0.6.1\", \"pid\": 1}"; }
  { std::ofstream(at("\x1b]0;owned\x07.json")) << "[]"; }
  const ProgramRun run = run_program({"timeout", "20", fleet_program().string(), "--runtime-dir",
                                      runtime.path().string(), "--prometheus"});
  EXPECT_EQ(run.exit_code, 1);  // files whose shells' state is unknown need a person
  EXPECT_EQ(run.err,
            "kelvo-fleet: skipped \\x1b]0;owned\\x07.json: not a JSON object\n"
            "kelvo-fleet: skipped damaged.json: owner: missing\n"
            "kelvo-fleet: skipped fifo.json: not a regular file\n"
            "kelvo-fleet: skipped kmsg.json: a symbolic link\n"
            "kelvo-fleet: skipped pagemap.json: a symbolic link\n"
            "kelvo-fleet: skipped sparse.json: larger than 65536 bytes\n");
  EXPECT_NE(run.out.find("\nkelvo_files_skipped 6\n"), std::string::npos) << run.out;

  const ProgramRun missing =
      run_program({fleet_program().string()}, {}, {{"KELVO_RUNTIME_DIR", at("mistyped").string()}});
  EXPECT_EQ(missing.exit_code, 3);
  EXPECT_EQ(missing.err, "kelvo-fleet: cannot read " + at("mistyped").string() +
                             ": No such file or directory\n");
}

}  // namespace
}  // namespace kelvo::testing
