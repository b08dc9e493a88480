#include "main/host_cli.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "support/fake_host_runner.hpp"

namespace kelvo {
namespace {

using testing::FakeHostRunner;
using Args = std::vector<std::string>;

FakeHostRunner answering(ProcessResult result) {
  FakeHostRunner host;
  host.answer = [result](const Args&) { return result; };
  return host;
}

TEST(HostArgs, AreTheFixedArgumentLists) {
  EXPECT_EQ(bind_args("tok"), (Args{"api", "--adapter", "KELVO", "bind-shell", "--link", "tok"}));
  EXPECT_EQ(poll_args("S", "tok"),
            (Args{"api", "--adapter", "KELVO", "poll", "S", "--link", "tok"}));
  EXPECT_EQ(drive_poll_args("S", "tok"),
            (Args{"api", "--adapter", "KELVO", "drive-poll", "S", "--link", "tok"}));
  EXPECT_EQ(digest_args("O"), (Args{"endpoint", "digest", "O", "--last", "12", "--json"}));
  EXPECT_EQ(send_args("O", SendFlags::ActiveOnly, "S"),
            (Args{"send", "--active-only", "--from", "S", "O"}));
  EXPECT_EQ(send_args("O", SendFlags::IdleEphemeral, "S"),
            (Args{"send", "--idle-only", "--ephemeral", "--from", "S", "O"}));
  EXPECT_EQ(send_args("O", SendFlags::ActiveOnly, std::nullopt),
            (Args{"send", "--active-only", "O"}));
  EXPECT_EQ(send_args("--x y", SendFlags::IdleEphemeral, std::nullopt),
            (Args{"send", "--idle-only", "--ephemeral", "--x y"}));
}

TEST(RunHost, KeepsOnlyTheOutputThatMatchesTheEnding) {
  struct Case {
    ProcessStatus status;
    std::string out, err;
    std::optional<std::string> failure;
  };
  const std::vector<Case> cases = {
      {Exited{0}, "frames", "", std::nullopt},
      {Exited{1}, "", "\noops\nmore", "exit status 1; stderr \"oops\""},
      {Exited{255}, "", "\noops\nmore", "exit status 255; stderr \"oops\""},
      {Signaled{SIGKILL}, "", "\noops\nmore", "killed by signal 9 (SIGKILL); stderr \"oops\""},
      {SpawnFailed{ENOENT}, "", "", "cannot start \"qrn\": ENOENT (No such file or directory)"},
  };
  for (const Case& c : cases) {
    FakeHostRunner host = answering({c.status, "frames", "\noops\nmore"});
    const HostOutput output = run_host(host, {"x"});
    EXPECT_EQ(output.out, c.out) << describe_status(c.status);
    EXPECT_EQ(output.err, c.err) << describe_status(c.status);
    EXPECT_EQ(output.failure, c.failure) << describe_status(c.status);
  }
}

// A host may quote its own command line, token and all, and print a line of any length: what
// is kept goes to the journal, the runtime file others read, and the events.
TEST(RunHost, KeepsTheTokenOutOfTheFailureAndCutsItShort) {
  const std::string token = "s3cr3t-token";
  FakeHostRunner quoting = answering({Exited{1}, "", "error: qrn api poll --link " + token + "\n"});
  EXPECT_EQ(run_host(quoting, {"x"}, token).failure,
            "exit status 1; stderr \"error: qrn api poll --link [link token]\"");
  FakeHostRunner long_line = answering({Exited{1}, "", std::string(3'000'000, 'x') + "\n"});
  EXPECT_EQ(*run_host(long_line, {"x"}, token).failure,
            "exit status 1; stderr \"" + std::string(300, 'x') + "…\"");
  FakeHostRunner bind = answering({Exited{1}, token + " " + std::string(1000, 'y'), token});
  const auto refused = bind_shell(bind, token);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason.find(token), std::string::npos);
  EXPECT_LT(refused.failure().reason.size(), 700u);
}

TEST(RunHost, DecodesInvalidUtf8WithReplacements) {
  FakeHostRunner ok = answering({Exited{0},
                                 "a\xff"
                                 "b",
                                 ""});
  EXPECT_EQ(run_host(ok, {}).out,
            "a\xEF\xBF\xBD"
            "b");
  FakeHostRunner failed = answering({Exited{2}, "", "\xC3"});
  EXPECT_EQ(run_host(failed, {}).err, "\xEF\xBF\xBD");
}

TEST(ReadBindReply, TakesShellIdAndOwnerFromTheFirstBoundLine) {
  struct Case {
    std::string output;
    std::optional<std::string> shell_id, owner;
  };
  const std::vector<Case> cases = {
      {"qrn 2.1\nlinking...\n  \tBOUND_SHELL: S owner=O extra\n", "S", "O"},
      {"BOUND_SHELL: S", "S", std::nullopt},
      {"BOUND_SHELL:", std::nullopt, std::nullopt},
      {"BOUND_SHELL:   \r\n", std::nullopt, std::nullopt},
      {"BOUND_SHELL: owner=O S", "owner=O", "O"},
      {"BOUND_SHELL: S owner=", "S", ""},
      {"BOUND_SHELL: S owner=A owner=B", "S", "A"},
      {"BOUND_SHELL: S1 owner=A\nBOUND_SHELL: S2 owner=B\n", "S1", "A"},
      {"BOUND_SHELL: S\nBOUND_SHELL: T owner=B\n", "S", std::nullopt},
      {"BOUND_SHELL:S\u3000owner=O\u2003", "S", "O"},
      {"bound_shell: S owner=O", std::nullopt, std::nullopt},
      {"note BOUND_SHELL: S owner=O", std::nullopt, std::nullopt},
      {"banner only\n", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const BindReply reply = read_bind_reply(c.output);
    EXPECT_EQ(reply.shell_id, c.shell_id) << c.output;
    EXPECT_EQ(reply.owner, c.owner) << c.output;
  }
}

TEST(BindShell, GivesTheDecodedStandardOutputOnSuccess) {
  FakeHostRunner host = answering({Exited{0}, "BOUND_SHELL: S \xff\n", "warning"});
  const auto result = bind_shell(host, "tok");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, "BOUND_SHELL: S \xEF\xBF\xBD\n");
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].args, bind_args("tok"));
}

TEST(BindShell, ExplainsAFailureWithoutEchoingTheLink) {
  struct Case {
    ProcessResult result;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {{SpawnFailed{ENOENT}, "", ""}, "cannot start \"qrn\": ENOENT (No such file or directory)"},
      {{SpawnFailed{EACCES}, "", ""}, "cannot start \"qrn\": EACCES (Permission denied)"},
      {{Exited{3}, "banner\n", "AUTH_REFUSED: bad \"link\"\n"},
       "exit status 3; stdout \"banner\\n\"; stderr \"AUTH_REFUSED: bad \\\"link\\\"\\n\""},
      {{Signaled{SIGTERM}, "", ""}, "killed by signal 15 (SIGTERM); stdout \"\"; stderr \"\""},
      {{Exited{1}, "\x1b[2J\tx\r\n",
        "\xC2\x9B"
        "caf\xC3\xA9\xff"},
       "exit status 1; stdout \"\\x1b[2J\\tx\\r\\n\"; stderr \"\\u009bcaf\xC3\xA9\xEF\xBF\xBD\""},
  };
  for (const Case& c : cases) {
    FakeHostRunner host = answering(c.result);
    const auto result = bind_shell(host, "secret-link-token");
    ASSERT_FALSE(result) << c.reason;
    EXPECT_EQ(result.failure().reason, c.reason);
  }
}

TEST(RefusalLine, NeedsAPrefixAndTheSentence) {
  struct Case {
    std::string line;
    bool refusal;
  };
  const std::vector<Case> cases = {
      {"AUTH_REFUSED: no instance holds this link token", true},
      {"  DRIVE_POLL_REFUSED: S: no instance holds this link token (gone)\t", true},
      {"AUTH_REFUSED:no instance holds this link token", true},
      {"DRIVE_POLL_REFUSED: bad MAC", false},
      {"AUTH_REFUSED: expired", false},
      {"error: no instance holds this link token", false},
      {"auth_refused: no instance holds this link token", false},
      {"x AUTH_REFUSED: no instance holds this link token", false},
      {"AUTH_REFUSED: no instance holds this link", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_refusal_line(c.line), c.refusal) << c.line;
}

TEST(Poll, IsRefusedOnlyByTheErrorOfAFailedCall) {
  const std::string refusal = "warn\r\nAUTH_REFUSED: no instance holds this link token\r\n";
  FakeHostRunner succeeded = answering({Exited{0}, "frame\n", refusal});
  const HostOutput clean = poll(succeeded, "S", "tok");
  EXPECT_EQ(clean.out, "frame\n");
  EXPECT_FALSE(is_refused(clean));
  EXPECT_EQ(succeeded.calls[0].args, poll_args("S", "tok"));

  FakeHostRunner failed = answering({Exited{1}, "frame\n", refusal});
  const HostOutput refused = poll(failed, "S", "tok");
  EXPECT_EQ(refused.out, "");
  EXPECT_TRUE(is_refused(refused));

  FakeHostRunner other = answering({Exited{1}, "", "DRIVE_POLL_REFUSED: busy\n"});
  EXPECT_FALSE(is_refused(poll(other, "S", "tok")));
}

TEST(HostCalls, DriveAndDigestGiveOnlyStandardOutput) {
  FakeHostRunner host = answering({Exited{0}, "out", "err"});
  EXPECT_EQ(drive_poll(host, "S", "tok").out, "out");
  EXPECT_EQ(fetch_digest(host, "O"), "out");
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[0].args, drive_poll_args("S", "tok"));
  EXPECT_EQ(host.calls[1].args, digest_args("O"));

  FakeHostRunner failed = answering({Exited{4}, "out", "err"});
  EXPECT_EQ(fetch_digest(failed, "O"), "");
  EXPECT_EQ(drive_poll(failed, "S", "tok").out, "");
}

TEST(Send, PassesTheMessageVerbatimFromItsSender) {
  FakeHostRunner host;
  const std::string message = "\u27F3 **kelvo** line one\r\nline two\n\n";
  EXPECT_EQ(send(host, "O", Message{SendFlags::IdleEphemeral, "S", message}),
            ProcessStatus(Exited{0}));
  EXPECT_EQ(send(host, "O", Message{SendFlags::ActiveOnly, std::nullopt, "anonymous"}),
            ProcessStatus(Exited{0}));
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[0].args, (Args{"send", "--idle-only", "--ephemeral", "--from", "S", "O"}));
  EXPECT_EQ(host.calls[0].input, message);
  EXPECT_EQ(host.calls[1].args, (Args{"send", "--active-only", "O"}));

  host.send_status = SpawnFailed{ENOENT};
  EXPECT_EQ(send(host, "O", Message{SendFlags::ActiveOnly, "S", "lost"}),
            ProcessStatus(SpawnFailed{ENOENT}));
}

}  // namespace
}  // namespace kelvo
