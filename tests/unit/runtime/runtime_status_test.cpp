#include "runtime/runtime_status.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kelvo {
namespace {

// A file as the shell writes it, with every field set.
const std::string kIdle = R"({
  "version": "0.6.1", "pid": 4242, "owner": "demo", "shell_id": "KELVO-0",
  "started_ms": 1765000000000, "updated_ms": 1765000060000,
  "activity": "idle", "since_ms": 1765000000000, "pacing": "nudging",
  "next_nudge_ms": 1765000120000, "nudges": 2, "nudges_total": 7,
  "host": {"ok": false, "failing_since_ms": 1765000050000, "last_failure": "exit status 3"},
  "board": {"id": "cqijcs", "checkpoints": 2}, "classes": 1,
  "hook": {"failures": 3, "last_failure": "exit status 6"},
  "ended": {"reason": "superseded", "cause": "revoked", "exit_code": 0, "at_ms": 1765000070000},
  "later": {"unknown": true}
})";

std::optional<RuntimeStatus> decode_or_nothing(std::string_view text) {
  auto status = decode_runtime_status(text);
  return status ? std::optional(*status) : std::nullopt;
}

TEST(RuntimeStatus, DecodesTheFileAndGivesBackWhatItEncodes) {
  const auto decoded = decode_runtime_status(kIdle);
  ASSERT_TRUE(decoded) << decoded.failure().reason;
  EXPECT_EQ(decoded->pid, 4242);
  EXPECT_EQ(decoded->shell_id, "KELVO-0");
  EXPECT_EQ(decoded->activity, Activity::Idle);
  EXPECT_EQ(decoded->pacing, Pacing::Nudging);
  EXPECT_EQ(decoded->next_nudge, at_epoch_ms(1765000120000));
  EXPECT_EQ(decoded->host.failing_since, at_epoch_ms(1765000050000));
  EXPECT_EQ(decoded->board, (RuntimeBoard{"cqijcs", 2}));
  EXPECT_EQ(decoded->ended->at, at_epoch_ms(1765000070000));
  EXPECT_EQ(decoded->ended->cause, "revoked");
  EXPECT_EQ(decoded->hook, (RuntimeHook{3, "exit status 6"}));
  const std::string encoded = encode_runtime_status(*decoded);
  EXPECT_NE(encoded.find("\"reason\": \"superseded\",\n    \"cause\": \"revoked\""),
            std::string::npos)
      << encoded;
  EXPECT_EQ(decode_or_nothing(encoded), *decoded);

  // A shell before the host's first report, every nullable field null.
  RuntimeStatus fresh;
  fresh.version = "0.6.1";
  fresh.pid = 1;
  fresh.owner = "a\xff";
  fresh.pacing = Pacing::Held;
  const std::string text = encode_runtime_status(fresh);
  EXPECT_NE(text.find("\"shell_id\": null,\n  \"started_ms\": 0"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"hook\""), std::string::npos) << text;  // as an older shell wrote it
  RuntimeStatus repaired = fresh;
  repaired.owner = "a\xEF\xBF\xBD";  // the bad byte as U+FFFD
  EXPECT_EQ(decode_or_nothing(text), repaired);
}

TEST(RuntimeStatus, RefusesKnownFieldsOfTheWrongKindWithTheReason) {
  const struct {
    std::string from, to, reason;
  } cases[] = {
      {R"("pid": 4242)", R"("pid": "4242")", "pid: wrong type"},
      {R"("pid": 4242)", R"("pid": 0)", "pid: not a process id"},
      {R"("pid": 4242)", R"("pid": 2147483648)", "pid: not a process id"},
      {R"("nudges": 2)", R"("nudges": -2)", "nudges: wrong type"},
      {R"("nudges": 2)", R"("nudges": 2.0)", "nudges: wrong type"},
      {R"("pacing": "nudging")", R"("pacing": "napping")", "pacing: unknown"},
      {R"("activity": "idle")", R"("activity": "IDLE")", "activity: neither busy nor idle"},
      {R"("owner": "demo",)", "", "owner: missing"},
      {R"("ok": false)", R"("ok": 0)", "host.ok: wrong type"},
      {R"("checkpoints": 2)", R"("checkpoints": null)", "board.checkpoints: wrong type"},
      {R"("ended": {)", R"("ended": [], "x": {)", "ended: not an object"},
      {R"("cause": "revoked")", R"("cause": 2)", "ended.cause: wrong type"},
      {R"("failures": 3)", R"("failures": -3)", "hook.failures: wrong type"},
      {R"("hook": {)", R"("hook": 1, "x": {)", "hook: not an object"},
      {R"("classes": 1)", R"("classes": 1, "classes": 2)", "not JSON, or a key given twice"},
  };
  for (const auto& c : cases) {
    std::string text = kIdle;
    ASSERT_NE(text.find(c.from), std::string::npos) << c.from;
    text.replace(text.find(c.from), c.from.size(), c.to);
    const auto decoded = decode_runtime_status(text);
    ASSERT_FALSE(decoded) << c.to;
    EXPECT_EQ(decoded.failure().reason, c.reason) << c.to;
  }
}

TEST(RuntimeStatus, IsDueWhenAnythingButTheUpdateChangesOrAMinuteHasPassed) {
  RuntimeStatus written = *decode_or_nothing(kIdle);
  written.host = {};  // its failing host comes below
  RuntimeStatus current = written;
  current.updated += Millis(59999);
  EXPECT_FALSE(runtime_status_due(&written, current));
  EXPECT_TRUE(runtime_status_due(nullptr, current));
  current.nudges_total += 1;
  EXPECT_TRUE(runtime_status_due(&written, current));
  current = written;
  current.updated += Millis(60000);
  EXPECT_TRUE(runtime_status_due(&written, current));

  // Failing since 10 s before the last write: due once the failures have lasted a minute.
  written.host = {false, written.updated - Millis(10000), "poll exit status 1"};
  current = written;
  current.updated += Millis(49999);
  EXPECT_FALSE(runtime_status_due(&written, current));
  current.updated += Millis(1);
  EXPECT_TRUE(runtime_status_due(&written, current));
}

TEST(RuntimeStatus, CallsTheHostFailingOnceTheFileSaysAMinuteOfFailures) {
  const struct {
    bool ok;
    std::optional<std::uint64_t> failing_since_ms;
    bool failing;
  } cases[] = {
      {true, std::nullopt, false},   {false, std::nullopt, false},
      {false, 1765000058800, false},  // one failed call, 1.2 s before the update
      {false, 1765000000001, false}, {false, 1765000000000, true},
      {false, 1765000090000, false},  // dated after the update
  };
  RuntimeStatus status = *decode_or_nothing(kIdle);  // updated at 1765000060000
  for (const auto& c : cases) {
    status.host.ok = c.ok;
    status.host.failing_since =
        c.failing_since_ms ? std::optional(at_epoch_ms(*c.failing_since_ms)) : std::nullopt;
    EXPECT_EQ(host_failing(status), c.failing) << c.ok << " " << c.failing_since_ms.value_or(0);
  }
}

TEST(RuntimeStatus, NamesItsFileAsTheStateFileIsNamed) {
  EXPECT_EQ(runtime_status_path("/run/k", "a/b"), std::filesystem::path("/run/k/a%2Fb.json"));
  EXPECT_TRUE(is_runtime_status_file_name(".json"));  // the empty owner
  EXPECT_FALSE(is_runtime_status_file_name("demo.json.tmp"));
}

}  // namespace
}  // namespace kelvo
