#include "frame/shell_command.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame_mac.hpp"
#include "support/link_token.hpp"

namespace kelvo {
namespace {

using testing::kLink;

const std::string kNeedsMinutes = "needs whole minutes, e.g. `delay 30`";
const std::string kNeedsOperands =
    "needs a checkpoint designator and a class name, e.g. `classify abc234-2 ci_run`";
const std::string kNeedsNames = "needs one or more class names, e.g. `retire \"ci_run peer_wait\"`";

struct Case {
  std::string op;
  std::string body;
  ShellCommand command;
};

void expect_commands(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(parse_shell_command(c.op, c.body), c.command) << c.op << " " << c.body;
  }
}

RefusedCommand refused(const std::string& op, const std::string& message) {
  return RefusedCommand{op, message};
}

TEST(ShellCommand, PauseAndStatusReadNoArguments) {
  expect_commands({
      {"status", "", StatusCommand{}},
      {"status", "not json", StatusCommand{}},
      {"pause", R"({"minutes":5})", PauseCommand{}},
      {"pause", "", PauseCommand{}},
  });
}

TEST(ShellCommand, DelayTakesWholeMinutesUpTo32Bits) {
  expect_commands({
      {"delay", R"({"minutes":30})", PauseCommand{30}},
      {"delay", R"({"minutes":"30"})", PauseCommand{30}},
      {"delay", "{\"minutes\":\" 30\\u3000\"}", PauseCommand{30}},
      {"delay", R"({"minutes":"+7"})", PauseCommand{7}},
      {"delay", R"({"minutes":0})", PauseCommand{0}},
      {"delay", R"({"minutes":4294967295})", PauseCommand{4294967295u}},
      {"delay", R"({"minutes":"4294967295"})", PauseCommand{4294967295u}},
      {"delay", R"({"other":1, "minutes":12})", PauseCommand{12}},
      {"delay", R"({"minutes":1, "minutes":2})", PauseCommand{2}},
  });
  for (const char* body :
       {R"({"minutes":30.5})", R"({"minutes":7.0})", R"({"minutes":7e0})", R"({"minutes":-1})",
        R"({"minutes":-0})", R"({"minutes":4294967296})", R"({"minutes":18446744073709551616})",
        R"({"minutes":"4294967296"})", R"({"minutes":"half"})", R"({"minutes":"3 0"})",
        R"({"minutes":true})", R"({"minutes":[30]})", R"({"Minutes":30})", "{}", "", "30", "[30]",
        R"({"minutes":30)", "{\"minutes\":\"3\xFF\"}"}) {
    EXPECT_EQ(parse_shell_command("delay", body), ShellCommand{refused("delay", kNeedsMinutes)})
        << body;
  }
}

TEST(ShellCommand, ClassifyJudgesTheNameBeforeTheDesignator) {
  expect_commands({
      {"classify", R"({"id":" abc234-2 ","name":" ci_run "})",
       ClassifyCommand{{"abc234", 2}, "ci_run"}},
      {"classify", R"({"name":"peer_wait","id":"a-b-007"})",
       ClassifyCommand{{"a-b", 7}, "peer_wait"}},
      {"classify", R"({"id":"abc234-2","name":"CI"})",
       refused("classify", "`CI` is not a class name — snake_case [a-z0-9_], ≤32 chars")},
      {"classify", R"({"id":"abc234","name":"ci_run"})",
       refused("classify",
               "`abc234` is not a checkpoint designator — the form is `<id>-<sub>`, e.g. "
               "`abc234-2`")},
      {"classify", R"({"id":"x","name":" Bad "})",
       refused("classify", "`Bad` is not a class name — snake_case [a-z0-9_], ≤32 chars")},
      {"classify", R"({"id":7,"name":"ci_run"})", refused("classify", kNeedsOperands)},
      {"classify", R"({"id":"abc234-2","name":"  "})", refused("classify", kNeedsOperands)},
      {"classify", R"({"id":"abc234-2"})", refused("classify", kNeedsOperands)},
      {"classify", "", refused("classify", kNeedsOperands)},
  });
}

TEST(ShellCommand, RetireSplitsNamesAtWhiteSpace) {
  using Names = std::vector<std::string>;
  expect_commands({
      {"retire", R"({"names":"ci_run  peer_wait"})", RetireCommand{Names{"ci_run", "peer_wait"}}},
      {"retire", "{\"names\":\"\\tx\\nNot-A-Class x\\u00a0\"}",
       RetireCommand{Names{"x", "Not-A-Class", "x"}}},
      {"retire", R"({"names":"   "})", refused("retire", kNeedsNames)},
      {"retire", R"({"names":["ci_run"]})", refused("retire", kNeedsNames)},
      {"retire", "", refused("retire", kNeedsNames)},
  });
}

TEST(ShellCommand, OtherOpsAreRefusedWithTheOpAsReceived) {
  expect_commands({
      {"extend", R"({"minutes":30})",
       refused("extend", "extend was retired in 0.5.0 — wait now extends the live stretch")},
      {"Pause", "", refused("Pause", "unknown op")},
      {"", "", refused("", "unknown op")},
      {" status", "", refused(" status", "unknown op")},
  });
}

// nlohmann's parser keeps its own stack; a hostile body must not reach the call stack.
TEST(ShellCommand, DeeplyNestedBodiesAreHarmless) {
  const std::string open(200'000, '[');
  const std::string closed = R"({"minutes":)" + open + std::string(open.size(), ']') + "}";
  EXPECT_EQ(parse_shell_command("delay", open), ShellCommand{refused("delay", kNeedsMinutes)});
  EXPECT_EQ(parse_shell_command("delay", closed), ShellCommand{refused("delay", kNeedsMinutes)});
}

TEST(ReadShellCommand, UnescapesTheBodyOfAGenuineFrame) {
  const auto line = [](std::string_view frame) { return *sign_frame(frame, kLink); };
  const FrameKey key = derive_frame_key(kLink);
  EXPECT_EQ(
      read_shell_command(
          line(R"(<EVENT type="shell_command" op="delay">{&quot;minutes&quot;:30}</EVENT>)"), key),
      ShellCommand{PauseCommand{30}});
  EXPECT_EQ(
      read_shell_command(
          line(R"(<EVENT type="shell_command" op="retire">{"names":<br>"a b&amp;c"}</EVENT>)"),
          key),
      (ShellCommand{RetireCommand{{"a", "b&c"}}}));
  EXPECT_EQ(read_shell_command(line(R"(<EVENT type="shell_command" op="status"></EVENT>)"), key),
            ShellCommand{StatusCommand{}});
  EXPECT_EQ(read_shell_command(line(R"(<EVENT type="shell_command" op="nope"></EVENT>)"), key),
            ShellCommand{refused("nope", "unknown op")});
  EXPECT_EQ(read_shell_command(line(R"(<EVENT type="shell_command"></EVENT>)"), key), std::nullopt);
  EXPECT_EQ(
      read_shell_command(
          *sign_frame(R"(<EVENT type="shell_command" op="status"></EVENT>)", "another-link"), key),
      std::nullopt);
  EXPECT_EQ(read_shell_command(line(R"(<EVENT type="io" kind="x" op="status"></EVENT>)"), key),
            std::nullopt);
}

TEST(RefusalText, NamesTheOpAndTheReason) {
  EXPECT_EQ(refusal_text("delay", kNeedsMinutes),
            "⟳ **kelvo** refused delay: needs whole minutes, e.g. `delay 30`");
}

}  // namespace
}  // namespace kelvo
