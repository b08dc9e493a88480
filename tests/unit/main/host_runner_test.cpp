#include "main/host_runner.hpp"

#include <gtest/gtest.h>

#include "support/shell_script.hpp"
#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_shell_script;

// Logs its arguments one a line, keeps its input, and prints on both outputs.
std::string recording_host(const TempDir& dir) {
  const std::string log = (dir.path() / "args").string();
  const std::string in = (dir.path() / "input").string();
  return write_shell_script(dir.path(), "host",
                            "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > '" + log +
                                "'\ncat > '" + in + "'\nprintf out; printf err >&2\n")
      .string();
}

TEST(ProcessHostRunner, PassesEachArgumentAsIs) {
  TempDir dir;
  ProcessHostRunner runner(recording_host(dir));
  const ProcessResult result = runner.run({"api", "two words", "", "*", "$HOME", "--link"});
  EXPECT_EQ(result.status, ProcessStatus{Exited{0}});
  EXPECT_EQ(result.out, "out");
  EXPECT_EQ(result.err, "err");
  EXPECT_EQ(read_file(dir.path() / "args"), "<api>\n<two words>\n<>\n<*>\n<$HOME>\n<--link>\n");
  EXPECT_EQ(read_file(dir.path() / "input"), "");
}

TEST(ProcessHostRunner, SendsTheInputByteForByte) {
  TempDir dir;
  ProcessHostRunner runner(recording_host(dir));
  const std::string message = "first\r\nsecond\n\u2014 no final break";
  EXPECT_EQ(runner.send_input({"send", "O"}, message), ProcessStatus{Exited{0}});
  EXPECT_EQ(read_file(dir.path() / "input"), message);
  EXPECT_EQ(read_file(dir.path() / "args"), "<send>\n<O>\n");
}

TEST(ProcessHostRunner, TellsHowASendEnded) {
  ignore_sigpipe();  // "fail" may exit before it is given its input
  TempDir dir;
  ProcessHostRunner missing((dir.path() / "absent").string());
  EXPECT_EQ(missing.send_input({"send", "O"}, "lost"), ProcessStatus{SpawnFailed{ENOENT}});
  EXPECT_EQ(missing.run({"api"}).status, ProcessStatus{SpawnFailed{ENOENT}});
  ProcessHostRunner failing(write_shell_script(dir.path(), "fail", "exit 7\n").string());
  EXPECT_EQ(failing.send_input({"send", "O"}, "ignored"), ProcessStatus{Exited{7}});
}

}  // namespace
}  // namespace kelvo
