#include "process/subprocess.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

using testing::TempDir;

ProcessResult run_argv(std::vector<std::string> argv) {
  ProcessRequest request;
  request.argv = std::move(argv);
  return run_process(request);
}

ProcessResult run_sh(const std::string& script, std::optional<std::string> input = std::nullopt) {
  ProcessRequest request;
  request.argv = {"sh", "-c", script};
  request.input = std::move(input);
  return run_process(request);
}

constexpr std::size_t kEightMiB = 8u << 20;

TEST(RunProcess, CapturesBothOutputsAndTheExitCode) {
  const ProcessResult result = run_sh("printf 'to out'; printf 'to err' >&2; exit 3");
  EXPECT_EQ(result.status, ProcessStatus{Exited{3}});
  EXPECT_EQ(result.out, "to out");
  EXPECT_EQ(result.err, "to err");
}

TEST(RunProcess, TellsOnceOfAChildThatOutlivesItsGraceAndStillWaitsForIt) {
  struct Case {
    std::string script;
    bool capture_output;
    bool told;
  };
  const std::vector<Case> cases = {
      {"sleep 0.6; echo done", true, true},
      {"exec >&- 2>&-; sleep 0.6", true, true},  // outputs closed early: the end is still watched
      {"sleep 0.6", false, true},
      {"echo quick", true, false},
  };
  for (const Case& c : cases) {
    ProcessRequest request;
    request.argv = {"sh", "-c", c.script};
    request.capture_output = c.capture_output;
    std::vector<pid_t> told;
    request.slow_watch =
        SlowChildWatch{std::chrono::milliseconds(200), [&](pid_t pid) { told.push_back(pid); }};
    const ProcessResult result = run_process(request);
    EXPECT_EQ(result.status, ProcessStatus{Exited{0}}) << c.script;
    EXPECT_EQ(told.size(), c.told ? 1u : 0u) << c.script;
  }
}

TEST(RunProcess, DrainsAFullStderrBeforeStdoutWithoutDeadlock) {
  const ProcessResult result =
      run_sh("head -c 8388608 /dev/zero | tr '\\0' e >&2; head -c 8388608 /dev/zero | tr '\\0' o");
  ASSERT_EQ(result.status, ProcessStatus{Exited{0}});
  EXPECT_EQ(result.err, std::string(kEightMiB, 'e'));
  EXPECT_EQ(result.out, std::string(kEightMiB, 'o'));
}

TEST(RunProcess, WritesTheInputByteForByteWhileReading) {
  std::string input = "line one\nline two\r\n";
  input.push_back('\0');
  input += std::string(kEightMiB, 'x');  // far more than a pipe holds: cat echoes as we write
  input += "no final line break";
  const ProcessResult result = run_sh("cat", input);
  EXPECT_EQ(result.status, ProcessStatus{Exited{0}});
  EXPECT_EQ(result.out, input);
}

TEST(RunProcess, SurvivesAChildThatNeverReadsItsInput) {
  ignore_sigpipe();
  const ProcessResult result = run_sh("exit 0", std::string(16u << 20, 'm'));
  EXPECT_EQ(result.status, ProcessStatus{Exited{0}});
}

TEST(RunProcess, ReportsTheSignalThatKilledTheChild) {
  const ProcessResult result = run_sh("printf partial; kill -9 $$");
  EXPECT_EQ(result.status, ProcessStatus{Signaled{SIGKILL}});
  EXPECT_EQ(result.out, "partial");
  EXPECT_EQ(describe_status(result.status), "killed by signal 9 (SIGKILL)");
}

TEST(RunProcess, ReportsAProgramThatCannotStart) {
  TempDir dir;
  for (const std::string program : {"kelvo-no-such-program", "/no/such/dir/prog", ""}) {
    const ProcessResult result = run_argv({program});
    EXPECT_EQ(result.status, ProcessStatus{SpawnFailed{ENOENT}}) << program;
  }
  const ProcessResult not_a_program = run_argv({dir.path().string()});
  EXPECT_EQ(not_a_program.status, ProcessStatus{SpawnFailed{EACCES}});
  EXPECT_EQ(describe_status(SpawnFailed{ENOENT}),
            "spawn failed: ENOENT (No such file or directory)");
  EXPECT_EQ(describe_status(Exited{3}), "exit status 3");
}

TEST(RunProcess, ConnectsUnusedStreamsToTheNullDevice) {
  const std::string checks =
      "[ /proc/$$/fd/0 -ef /dev/null ] && [ /proc/$$/fd/1 -ef /dev/null ] && "
      "[ /proc/$$/fd/2 -ef /dev/null ]";
  ProcessRequest silent;
  silent.argv = {"sh", "-c", checks};
  silent.capture_output = false;
  EXPECT_EQ(run_process(silent).status, ProcessStatus{Exited{0}});
  EXPECT_EQ(run_sh("[ /proc/$$/fd/0 -ef /dev/null ]").status, ProcessStatus{Exited{0}});
}

TEST(RunProcess, GivesChildrenTheDefaultSigpipeAction) {
  ignore_sigpipe();
  // SigIgn is a hex mask in which bit 12 stands for SIGPIPE.
  const ProcessResult result =
      run_sh("mask=$(sed -n 's/^SigIgn:\\s*//p' /proc/$$/status); [ $((0x$mask & 0x1000)) -eq 0 ]");
  EXPECT_EQ(result.status, ProcessStatus{Exited{0}});
}

// The tests' own way to start programs: their environment and working folder set per run.
TEST(RunProgram, AppliesEnvironmentOverridesAndWorkingDirectory) {
  TempDir dir;
  const testing::ProgramRun run = testing::run_program(
      {"sh", "-c", "printf '%s|%s|' \"$KELVO_X\" \"$HOME\"; env | grep -c '^HOME='; pwd -P; cat"},
      "in", {{"KELVO_X", "set"}, {"HOME", "/elsewhere"}}, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "set|/elsewhere|1\n" + std::filesystem::canonical(dir.path()).string() + "\nin");
}

}  // namespace
}  // namespace kelvo
