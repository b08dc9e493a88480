// The real kelvo-shell against stand-in hosts written as shell scripts.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/version.hpp"
#include "support/run_program.hpp"
#include "support/running_program.hpp"
#include "support/shell_script.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::testing {
namespace {

using Args = std::vector<std::string>;
using Env = std::vector<std::pair<std::string, std::string>>;

const std::string kShell = KELVO_BUILD_DIR "/kelvo-shell";
const std::string kBindCall = "[api][--adapter][KELVO][bind-shell][--link][tok]\n";
// The bind's message for a host program that cannot be started.
std::string cannot_start(const std::string& program,
                         const std::string& error = "ENOENT (No such file or directory)") {
  return "kelvo-shell: api bind-shell failed: cannot start \"" + program + "\": " + error + "\n";
}

// A stand-in host: every call is logged as one line of [argument]s to `name`.log, then the
// call runs `reply` (shell commands).
struct StandInHost {
  std::filesystem::path program;
  std::filesystem::path log;

  std::string calls() const { return read_file(log); }
};

StandInHost stand_in_host(const TempDir& dir, const std::string& name, const std::string& reply) {
  const std::filesystem::path log = dir.path() / (name + ".log");
  const std::string body =
      "printf '[%s]' \"$@\" >> '" + log.string() + "'\necho >> '" + log.string() + "'\n" + reply;
  return {write_shell_script(dir.path(), name, body), log};
}

const std::string kRefusingBind =
    "echo 'qrn stand-in'; echo 'AUTH_REFUSED: unknown link' >&2; exit 3\n";

Args shell_with(Args args) {
  args.insert(args.begin(), kShell);
  return args;
}

TEST(Startup, StopsWithExitCodeTwoWithoutALink) {
  TempDir dir;
  const StandInHost host = stand_in_host(dir, "host", "echo 'BOUND_SHELL: S'\n");
  const std::vector<Args> command_lines = {
      {},
      {"--link"},
      {"--qrn", host.program.string(), "--owner", "O", "--link"},
      {"--qrn", host.program.string(), "--link=tok", "--id", "S"},
      {"--qrn", host.program.string(), "--link", ""},
  };
  for (const Args& args : command_lines) {
    const ProgramRun run = run_program(shell_with(args));
    EXPECT_EQ(run.exit_code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.err, "kelvo-shell: --link required\n");
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(host.calls(), "");
}

TEST(Startup, AnswersHelpAndVersionBeforeAnythingElse) {
  TempDir dir;
  const StandInHost host = stand_in_host(dir, "host", "echo 'BOUND_SHELL: S'\n");
  const std::string version = std::string("kelvo-shell ") + KELVO_VERSION + "\n";
  struct Case {
    Args args;
    int exit_code;
    std::string out_begins;  // empty: nothing on standard output
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "usage: kelvo-shell --link <token>"},
      {{"--version", "--help"}, 0, version},
      {{"--link", "tok", "--qrn", host.program.string(), "--version"}, 0, version},
      {{"--owner", "--help", "--link"}, 2, ""},  // the owner's value, not a request
      {{"--owner", "O", "--owner", "--version"}, 0, version},
  };
  for (const Case& c : cases) {
    const ProgramRun run = run_program(shell_with(c.args));
    EXPECT_EQ(run.exit_code, c.exit_code) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.out.substr(0, c.out_begins.size()), c.out_begins);
    EXPECT_EQ(run.out.empty(), c.out_begins.empty());
    EXPECT_EQ(run.err, c.exit_code == 0 ? "" : "kelvo-shell: --link required\n");
  }
  EXPECT_EQ(host.calls(), "");  // no host call for any of them
}

TEST(Startup, ReportsAHostThatCannotStart) {
  TempDir dir;
  const std::filesystem::path not_executable = dir.path() / "plain";
  write_shell_script(dir.path(), "plain", "exit 0\n");
  std::filesystem::permissions(not_executable, std::filesystem::perms::owner_read);
  struct Case {
    std::string host_program;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"", cannot_start("")},
      {(dir.path() / "absent").string(), cannot_start((dir.path() / "absent").string())},
      {"kelvo-test-no-such-host", cannot_start("kelvo-test-no-such-host")},
      {not_executable.string(),
       cannot_start(not_executable.string(), "EACCES (Permission denied)")},
  };
  for (const Case& c : cases) {
    const ProgramRun run = run_program(shell_with({"--link", "tok", "--qrn", c.host_program}));
    EXPECT_EQ(run.exit_code, 1) << c.host_program;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST(Startup, ReportsTheStatusAndOutputOfAFailedBind) {
  TempDir dir;
  const StandInHost host = stand_in_host(dir, "host", kRefusingBind);
  const ProgramRun run = run_program(shell_with({"--qrn", host.program.string(), "--link", "tok"}));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "kelvo-shell: api bind-shell failed: exit status 3; stdout \"qrn stand-in\\n\"; "
            "stderr \"AUTH_REFUSED: unknown link\\n\"\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(host.calls(), kBindCall);  // once: a failed bind is not retried
}

TEST(Startup, TakesTheTokenFromALinkFileUnlessLinkIsGiven) {
  TempDir dir;
  const StandInHost host = stand_in_host(dir, "host", kRefusingBind);
  const std::string link_file = (dir.path() / "a.link").string();
  const std::string refused =
      "kelvo-shell: api bind-shell failed: exit status 3; stdout \"qrn stand-in\\n\"; "
      "stderr \"AUTH_REFUSED: unknown link\\n\"\n";
  struct Case {
    std::optional<std::string> file;  // absent: no file
    Args args;
    int exit_code;
    std::string err;
    std::string calls;
    std::filesystem::perms mode =
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
  };
  const std::vector<Case> cases = {
      {"tok \n", {"--link-file", link_file}, 1, refused, kBindCall},
      {"tok\n",
       {"--link-file", link_file},
       1,
       "kelvo-shell: --link-file " + link_file +
           " has mode 0644, open to users other than its owner: chmod 600 " + link_file + "\n" +
           refused,
       kBindCall,
       std::filesystem::perms(0644)},
      {std::nullopt,
       {"--link-file", link_file},
       2,
       "kelvo-shell: cannot read --link-file " + link_file + ": No such file or directory\n",
       ""},
      {"\n",
       {"--link-file", link_file},
       2,
       "kelvo-shell: --link-file " + link_file + " is empty\n",
       ""},
      {"other\n",
       {"--link-file", link_file, "--link", "tok"},
       1,
       "kelvo-shell: both --link and --link-file given: using --link, not reading " + link_file +
           "\n" + refused,
       kBindCall},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(link_file);
    if (c.file) {
      std::ofstream(link_file) << *c.file;
      std::filesystem::permissions(link_file, c.mode);
    }
    Args args = shell_with(c.args);
    args.insert(args.end(), {"--qrn", host.program.string()});
    const ProgramRun run = run_program(args);
    EXPECT_EQ(run.exit_code, c.exit_code) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(host.calls(), c.calls);
    std::filesystem::remove(host.log);
  }
}

TEST(Startup, FindsTheHostThroughQrnBinOnlyWithoutTheOption) {
  TempDir dir;
  const StandInHost from_option = stand_in_host(dir, "from-option", kRefusingBind);
  const StandInHost from_env = stand_in_host(dir, "from-env", kRefusingBind);
  const StandInHost on_path = stand_in_host(dir, "qrn", kRefusingBind);
  const std::string path = dir.path().string() + ":/usr/bin:/bin";
  struct Case {
    std::string name;
    Args args;
    Env env;
    const StandInHost* expected;  // null: no host runs
  };
  const std::vector<Case> cases = {
      {"option wins",
       {"--qrn", from_option.program.string()},
       {{"QRN_BIN", from_env.program}},
       &from_option},
      {"variable", {}, {{"QRN_BIN", from_env.program}}, &from_env},
      {"empty variable counts as set", {}, {{"QRN_BIN", ""}}, nullptr},
      {"invalid UTF-8 counts as absent",
       {},
       {{"QRN_BIN", from_env.program.string() + "\xff"}},
       &on_path},
  };
  for (const Case& c : cases) {
    Env env = c.env;
    env.emplace_back("PATH", path);
    Args args = shell_with(c.args);
    args.push_back("--link");
    args.push_back("tok");
    const ProgramRun run = run_program(args, {}, env);
    EXPECT_EQ(run.exit_code, 1) << c.name;
    if (c.expected == nullptr) {
      EXPECT_EQ(run.err, cannot_start("")) << c.name;
    }
    for (const StandInHost* host : {&from_option, &from_env, &on_path}) {
      EXPECT_EQ(host->calls(), host == c.expected ? kBindCall : "") << c.name;
      std::filesystem::remove(host->log);
    }
  }
  const ProgramRun unset =
      run_program({"/usr/bin/env", "-u", "QRN_BIN", "PATH=" + path, kShell, "--link", "tok"});
  EXPECT_EQ(unset.exit_code, 1);
  EXPECT_EQ(on_path.calls(), kBindCall);
}

TEST(Startup, KeepsRunningAfterABindWithoutAReply) {
  TempDir dir;
  const StandInHost host = stand_in_host(dir, "host", "echo 'qrn stand-in'\n");
  RunningProgram shell(shell_with({"--link", "tok", "--qrn", host.program.string()}));
  ASSERT_TRUE(wait_until([&] { return host.calls() == kBindCall; }));
  // Without a shell id and an owner nothing is polled or sent; the shell just stays up.
  EXPECT_FALSE(wait_until([&] { return !shell.running(); }, std::chrono::milliseconds(700)));
  const ProgramRun run = shell.stop();
  EXPECT_EQ(run.signal, SIGKILL);
  EXPECT_EQ(host.calls(), kBindCall);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST(Startup, StaysUpAfterABindThatNamesTheShell) {
  TempDir dir;
  const StandInHost host =
      stand_in_host(dir, "host", "echo 'qrn stand-in'\necho 'BOUND_SHELL: KELVO-0 owner=demo'\n");
  RunningProgram shell(shell_with({"--qrn", host.program.string(), "--link", "tok"}), {},
                       dir.path());
  // The host writes its log a piece at a time; wait for the whole bind line.
  ASSERT_TRUE(wait_until([&] { return host.calls().starts_with(kBindCall); }));
  EXPECT_TRUE(shell.running());
  const ProgramRun run = shell.stop();
  EXPECT_EQ(run.signal, SIGKILL);
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace kelvo::testing
