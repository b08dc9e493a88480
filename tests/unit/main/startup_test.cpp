#include "main/startup.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/text.hpp"
#include "main/host_cli.hpp"
#include "support/fake_host_runner.hpp"

namespace kelvo {
namespace {

using testing::FakeHostRunner;
using Args = std::vector<std::string>;

TEST(FindOption, TakesTheArgumentAfterTheFirstExactMatch) {
  struct Case {
    Args args;
    std::string name;
    std::optional<std::string> value;
  };
  const std::vector<Case> cases = {
      {{"--link", "tok"}, "--link", "tok"},
      {{"--link", "--owner", "X"}, "--link", "--owner"},
      {{"--link", "--owner", "X"}, "--owner", "X"},
      {{"--owner", "A", "--owner", "B"}, "--owner", "A"},
      {{"--owner", ""}, "--owner", ""},
      {{"--owner", " spaced "}, "--owner", " spaced "},
      {{"x", "--link"}, "--link", std::nullopt},
      {{"--link"}, "--link", std::nullopt},
      {{"--link=tok"}, "--link", std::nullopt},
      {{"--LINK", "tok"}, "--link", std::nullopt},
      {{"--lin", "tok"}, "--link", std::nullopt},
      {{}, "--link", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_option(c.args, c.name), c.value) << ::testing::PrintToString(c.args);
  }
}

TEST(ResolveHostProgram, PrefersTheOptionThenTheVariable) {
  EXPECT_EQ(resolve_host_program({"--qrn", "/opt/q"}, "/env/q"), "/opt/q");
  EXPECT_EQ(resolve_host_program({"--qrn", ""}, "/env/q"), "");
  EXPECT_EQ(resolve_host_program({}, "/env/q"), "/env/q");
  EXPECT_EQ(resolve_host_program({}, ""), "");
  EXPECT_EQ(resolve_host_program({"--qrn"}, std::nullopt), "qrn");
}

// What start-up reads from its surroundings: QRN_BIN and the working directory.
struct StartupEnvironment {
  std::optional<std::string> qrn_bin;
  std::optional<std::filesystem::path> cwd;
};

// Runs start-up against one fake host that answers the bind with `bind_result`.
struct StartupRun {
  std::variant<StartupSettings, StartupStop> outcome;
  std::vector<std::string> programs;  // every host program a runner was made for
  std::vector<FakeHostRunner::Call> calls;
};

// A --link-file reader that must not be called.
Result<FileWithMode> no_link_file(const std::filesystem::path& path) {
  ADD_FAILURE() << "read " << path;
  return Failure{"not expected"};
}

StartupRun run_start_up(const Args& args, ProcessResult bind_result,
                        StartupEnvironment environment = {std::nullopt, "/work/dir"}) {
  StartupRun run{StartupStop{-1, ""}, {}, {}};
  const auto command_line = read_command_line(args, {environment.qrn_bin}, no_link_file);
  if (const auto* stop = std::get_if<StartupStop>(&command_line)) {
    run.outcome = *stop;
    return run;
  }
  const auto& line = std::get<CommandLine>(command_line);
  run.programs.push_back(line.host_program);
  testing::FakeHostRunner host;
  host.answer = [&](const Args& call) {
    run.calls.push_back({call, std::nullopt});
    return bind_result;
  };
  run.outcome = bind_and_settle(line, host, [&] { return environment.cwd; });
  return run;
}

const ProcessResult kBound{Exited{0}, "banner\nBOUND_SHELL: S1 owner=O1\n", ""};

TEST(StartUp, RunsNothingWithoutALink) {
  const StartupRun run = run_start_up({"--qrn", "q", "--owner", "O", "--link"}, kBound);
  ASSERT_TRUE(std::holds_alternative<StartupStop>(run.outcome));
  EXPECT_EQ(std::get<StartupStop>(run.outcome).exit_code, 2);
  EXPECT_TRUE(run.programs.empty());
}

TEST(StartUp, BindsWithTheLinkAndTakesTheReply) {
  const StartupRun run =
      run_start_up({"--link", "tok", "--qrn", "/bin/q"}, kBound, {"/env/q", "/work/dir"});
  ASSERT_TRUE(std::holds_alternative<StartupSettings>(run.outcome));
  const auto& settings = std::get<StartupSettings>(run.outcome);
  EXPECT_EQ(run.programs, Args{"/bin/q"});
  ASSERT_EQ(run.calls.size(), 1u);
  EXPECT_EQ(run.calls[0].args, bind_args("tok"));
  EXPECT_EQ(settings.link, "tok");
  EXPECT_EQ(settings.owner, "O1");
  EXPECT_EQ(settings.shell_id, "S1");
  EXPECT_EQ(settings.state_dir, std::filesystem::path("/work/dir"));
}

TEST(StartUp, LetsOptionsOverrideTheReply) {
  const StartupRun run = run_start_up(
      {"--id", "S2", "--link", "tok", "--owner", "O2", "--state-dir", "/st", "--owner", "O3"},
      kBound);
  const auto& settings = std::get<StartupSettings>(run.outcome);
  EXPECT_EQ(settings.owner, "O2");
  EXPECT_EQ(settings.shell_id, "S2");
  EXPECT_EQ(settings.state_dir, std::filesystem::path("/st"));
}

TEST(StartUp, ReadsTheEventHookAndItsCountAndTheRuntimeFolder) {
  struct Case {
    Args args;
    std::optional<std::string> on_event;
    std::uint32_t unresponsive_after;
    std::optional<std::filesystem::path> runtime_dir;
  };
  const std::vector<Case> cases = {
      {{}, std::nullopt, 4, std::nullopt},
      {{"--on-event", "/bin/tell", "--unresponsive-after", "0", "--runtime-dir", "/run/k"},
       "/bin/tell",
       0,
       std::filesystem::path("/run/k")},
      {{"--on-event", "", "--runtime-dir", ""}, std::nullopt, 4, std::nullopt},
  };
  for (const Case& c : cases) {
    Args args{"--link", "tok"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const StartupRun run = run_start_up(args, kBound);
    const auto& settings = std::get<StartupSettings>(run.outcome);
    EXPECT_EQ(settings.on_event, c.on_event) << ::testing::PrintToString(c.args);
    EXPECT_EQ(settings.unresponsive_after, c.unresponsive_after);
    EXPECT_EQ(settings.runtime_dir, c.runtime_dir);
  }
  for (const std::string bad : {"-1", "four", "4294967296", ""}) {
    const auto run = run_start_up({"--link", "tok", "--unresponsive-after", bad}, kBound);
    ASSERT_TRUE(std::holds_alternative<StartupStop>(run.outcome)) << bad;
    EXPECT_EQ(std::get<StartupStop>(run.outcome).exit_code, 2);
    EXPECT_TRUE(run.calls.empty());
  }
}

TEST(StartUp, StartsWithoutOwnerShellIdOrStateDirectory) {
  const StartupRun run =
      run_start_up({"--link", "tok"}, {Exited{0}, "no bound line\n", ""}, {std::nullopt, {}});
  const auto& settings = std::get<StartupSettings>(run.outcome);
  EXPECT_EQ(run.programs, Args{"qrn"});
  EXPECT_EQ(settings.owner, std::nullopt);
  EXPECT_EQ(settings.shell_id, std::nullopt);
  EXPECT_EQ(settings.state_dir, std::nullopt);
}

TEST(StartUp, StopsWithExitCodeOneWhenTheBindFails) {
  struct Case {
    ProcessResult bind_result;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{SpawnFailed{ENOENT}, "", ""},
       "api bind-shell failed: cannot start \"qrn\": ENOENT (No such file or directory)"},
      {{Exited{3}, "BOUND_SHELL: S1\n", "denied\n"},
       "api bind-shell failed: exit status 3; stdout \"BOUND_SHELL: S1\\n\"; stderr \"denied\\n\""},
  };
  for (const Case& c : cases) {
    const StartupRun run = run_start_up({"--link", "tok", "--owner", "O"}, c.bind_result);
    ASSERT_TRUE(std::holds_alternative<StartupStop>(run.outcome)) << c.message;
    EXPECT_EQ(std::get<StartupStop>(run.outcome).exit_code, 1);
    EXPECT_EQ(std::get<StartupStop>(run.outcome).message, c.message);
    EXPECT_EQ(run.calls.size(), 1u);  // never retried
  }
}

TEST(StartUp, TakesTheTokenFromTheLinkFileUnlessLinkIsGiven) {
  const std::string open_file =
      "--link-file /etc/k/a.link has mode {}, open to users other than its owner: chmod 600 "
      "/etc/k/a.link";
  const std::filesystem::path credentials = "/run/credentials/kelvo-shell@a.service";
  struct Case {
    Args args;
    std::optional<std::string> file;  // absent: the file cannot be read
    std::string link;                 // empty: start-up stops with `message`
    std::string message;              // the stop's, or the notice said once
    unsigned mode = 0600;             // the file's
    Urgency urgency = Urgency::Notice;
    std::optional<std::filesystem::path> credentials_dir = std::nullopt;
  };
  const std::vector<Case> cases = {
      {{"--link-file", "/etc/k/a.link"}, "tok\n", "tok", ""},
      {{"--link-file", "/etc/k/a.link"}, "tok \t\r\n\n", "tok", ""},
      {{"--link-file", "/etc/k/a.link"}, " tok", " tok", ""},
      {{"--link", "", "--link-file", "/etc/k/a.link"}, "tok", "tok", ""},
      {{"--link-file", "/etc/k/a.link", "--link", "cmd"},
       "tok",
       "cmd",
       "both --link and --link-file given: using --link, not reading /etc/k/a.link",
       0644},  // the file is not read, nor its mode looked at
      {{"--link-file", "/etc/k/a.link"}, "tok", "tok", "", 0400},
      {{"--link-file", "/etc/k/a.link"},
       "tok",
       "tok",
       fill(open_file, {"0640"}),
       0640,
       Urgency::Warning},
      {{"--link-file", "/etc/k/a.link"},
       "tok",
       "tok",
       fill(open_file, {"0602"}),
       0602,
       Urgency::Warning,
       credentials},
      // systemd's credentials show the group bits of the ACL that gives the unit's user access.
      {{"--link-file", (credentials / "link").string()},
       "tok",
       "tok",
       "",
       0440,
       Urgency::Notice,
       credentials},
      {{"--link-file", "/etc/k/a.link"},
       std::nullopt,
       "",
       "cannot read --link-file /etc/k/a.link: No such file or directory"},
      {{"--link-file", "/etc/k/a.link"}, " \n", "", "--link-file /etc/k/a.link is empty"},
      {{"--link-file", "/etc/k/a.link"}, "", "", "--link-file /etc/k/a.link is empty"},
      {{"--link-file", "/etc/k/a.link"},
       "tok\nother\n",
       "",
       "--link-file /etc/k/a.link holds more than one line"},
      {{"--link-file", "/etc/k/\n.link"}, "", "", "--link-file /etc/k/\\n.link is empty"},
      {{"--owner", "O", "--link-file"}, "tok", "", "--link required"},
      {{"--link", ""}, "tok", "", "--link required"},
  };
  for (const Case& c : cases) {
    std::vector<std::filesystem::path> read;
    const auto command_line = read_command_line(
        c.args, {std::nullopt, c.credentials_dir}, [&](const std::filesystem::path& path) {
          read.push_back(path);
          if (!c.file) return Result<FileWithMode>(Failure{"No such file or directory"});
          return Result<FileWithMode>(FileWithMode{*c.file, c.mode});
        });
    const std::string name = ::testing::PrintToString(c.args);
    if (c.link.empty()) {
      ASSERT_TRUE(std::holds_alternative<StartupStop>(command_line)) << name;
      EXPECT_EQ(std::get<StartupStop>(command_line).exit_code, 2) << name;
      EXPECT_EQ(std::get<StartupStop>(command_line).message, c.message) << name;
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<CommandLine>(command_line)) << name;
    const auto& line = std::get<CommandLine>(command_line);
    EXPECT_EQ(line.given.link, c.link) << name;
    if (c.message.empty()) {
      EXPECT_EQ(line.notice, std::nullopt) << name;
    } else {
      EXPECT_EQ(line.notice, (StartupNotice{c.urgency, c.message})) << name;
    }
    // --link wins, with its notice, without the file being opened.
    const bool link_won = !c.message.empty() && c.urgency == Urgency::Notice;
    EXPECT_EQ(read.size(), link_won ? 0u : 1u) << name;
  }
}

TEST(StartUp, ReadsTheWorkingDirectoryOnlyAfterTheBind) {
  const auto command_line = read_command_line({"--link", "tok"}, {}, no_link_file);
  FakeHostRunner host;
  std::vector<std::string> order;
  host.answer = [&](const Args&) {
    order.push_back("bind");
    return kBound;
  };
  const auto settled = bind_and_settle(std::get<CommandLine>(command_line), host, [&] {
    order.push_back("working directory");
    return std::optional<std::filesystem::path>();  // removed during the bind
  });
  EXPECT_EQ(order, (std::vector<std::string>{"bind", "working directory"}));
  EXPECT_EQ(std::get<StartupSettings>(settled).state_dir, std::nullopt);
}

}  // namespace
}  // namespace kelvo
