#include "qrn-sim/cli.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/text.hpp"
#include "frame/frame_mac.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::sim {
namespace {

using nlohmann::json;
using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

struct SimRun {
  int code;
  std::string out;
  std::string err;
};

// Runs qrn-sim in-process against a temporary home, with a clock the test sets and link
// tokens handed out in order.
class Sim {
 public:
  std::uint64_t now = 1'700'000'000'000;
  std::function<bool()> follow_round = [] { return false; };
  std::filesystem::path poll_log_dir;

  SimRun run(const Args& args, const std::string& input = "") {
    SimRun result{0, "", ""};
    SimEnv env{
        .home = home_.path(),
        .now_ms = [this] { return now; },
        .read_input = [&input] { return input; },
        .write_out = [&result](std::string_view text) { result.out += text; },
        .write_err = [&result](std::string_view text) { result.err += text; },
        .new_token = [this] { return "token" + std::to_string(++tokens_); },
        .keep_following = [this] { return follow_round(); },
        // One caller that runs on: every rebind here is a takeover.
        .caller =
            [] {
              return ProcessMark{100, 1};
            },
        .has_ended = [](const ProcessMark&) { return false; },
        .poll_log_dir = poll_log_dir,
    };
    result.code = run_sim(args, env);
    return result;
  }

  // Makes and binds a link; returns its token.
  std::string bound_link(const std::string& owner, const std::string& shell_id = "KELVO-0") {
    const std::string token = made_link(owner, shell_id);
    EXPECT_EQ(run({"api", "--adapter", "KELVO", "bind-shell", "--link", token}).code, 0);
    return token;
  }

  std::string made_link(const std::string& owner, const std::string& shell_id = "KELVO-0") {
    const SimRun made = run({"link", "new", "--owner", owner, "--shell-id", shell_id});
    EXPECT_EQ(made.code, 0) << made.err;
    return std::string(trim(made.out));
  }

  SimRun poll(const std::string& token, const std::string& shell_id = "KELVO-0") {
    return run({"api", "--adapter", "KELVO", "poll", shell_id, "--link", token});
  }

  SimRun drive_poll(const std::string& token, const std::string& shell_id = "KELVO-0") {
    return run({"api", "--adapter", "KELVO", "drive-poll", shell_id, "--link", token});
  }

  const std::filesystem::path& home() const { return home_.path(); }

 private:
  testing::TempDir home_;
  int tokens_ = 0;
};

Lines lines_of(const std::string& text) {
  Lines out;
  for (const auto line : split_lines(text)) out.emplace_back(line);
  return out;
}

// The frame texts of a poll's output, after checking that every line carries a good MAC.
Lines verified_frames(const SimRun& poll, const std::string& token) {
  EXPECT_EQ(poll.code, 0) << poll.err;
  Lines frames;
  for (const auto& line : lines_of(poll.out)) {
    const std::size_t space = line.find(' ');
    EXPECT_NE(space, std::string::npos) << line;
    if (space == std::string::npos) continue;
    EXPECT_TRUE(
        verify_frame_mac(line.substr(0, space), line.substr(space + 1), derive_frame_key(token)))
        << line;
    frames.push_back(line.substr(space + 1));
  }
  return frames;
}

constexpr const char* kAuthRefused = "AUTH_REFUSED: no instance holds this link token\n";

TEST(SimCli, LinkNewPrintsOnlyTheToken) {
  Sim sim;
  const SimRun made = sim.run({"link", "new", "--owner", "alice"});
  EXPECT_EQ(made.code, 0);
  EXPECT_EQ(made.out, "token1\n");
  EXPECT_EQ(made.err, "");
}

TEST(SimCli, BindPrintsBannerAndBoundLineAndHoldsTheLink) {
  Sim sim;
  const std::string token = sim.made_link("alice", "KELVO-3");
  EXPECT_EQ(sim.poll(token, "KELVO-3").err, kAuthRefused);  // nobody holds it yet

  const SimRun bound = sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", token});
  EXPECT_EQ(bound.code, 0);
  const Lines lines = lines_of(bound.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_FALSE(lines[0].starts_with("BOUND_SHELL:"));
  EXPECT_EQ(lines[1], "BOUND_SHELL: KELVO-3 owner=alice");

  const SimRun polled = sim.poll(token, "KELVO-3");
  EXPECT_EQ(polled.code, 0);
  EXPECT_EQ(polled.out, "");
  EXPECT_EQ(polled.err, "");
}

TEST(SimCli, BindRefusesUnknownAndRevokedLinks) {
  Sim sim;
  const SimRun unknown = sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", "nope"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "qrn-sim: unknown link token\n");
  // A token from a home an earlier qrn-sim wrote, all in one state.json, which is not read.
  std::filesystem::create_directories(sim.home());
  std::ofstream(sim.home() / "state.json") << "{}";
  EXPECT_NE(sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", "nope"})
                .err.find("state.json is from an earlier qrn-sim"),
            std::string::npos);

  const std::string token = sim.made_link("alice");
  EXPECT_EQ(sim.run({"link", "revoke", token}).code, 0);
  const SimRun revoked = sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", token});
  EXPECT_EQ(revoked.code, 1);
  EXPECT_EQ(revoked.out, "");
}

TEST(SimCli, PollAndDrivePollRefuseWhoeverDoesNotHoldTheLinkAndSayWhy) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const std::string revoked = sim.bound_link("bob");
  ASSERT_EQ(sim.run({"link", "revoke", revoked}).code, 0);
  const std::string taken = sim.bound_link("carol");
  ASSERT_EQ(sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", taken}).code, 0);
  struct Case {
    std::string shell_id;
    std::string token;
    std::string why;  // after the fixed sentence
  };
  const Case refused[] = {
      {"KELVO-1", token, ""},  // never held it
      {"KELVO-0", "unknown", ""},
      {"KELVO-0", revoked, ": the link was revoked"},
      {"KELVO-0", taken, ": the link is bound to shell KELVO-1"},
  };
  for (const auto& c : refused) {
    const SimRun polled = sim.poll(c.token, c.shell_id);
    EXPECT_EQ(polled.code, 1);
    EXPECT_EQ(polled.out, "");
    EXPECT_EQ(polled.err, "AUTH_REFUSED: no instance holds this link token" + c.why + "\n");
    const SimRun driven = sim.drive_poll(c.token, c.shell_id);
    EXPECT_EQ(driven.code, 1);
    EXPECT_EQ(driven.out, "");
    EXPECT_EQ(driven.err, "DRIVE_POLL_REFUSED: no instance holds this link token" + c.why + "\n");
  }
}

TEST(SimCli, PollDeliversEachQueuedFrameOnceSignedAndInOrder) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  EXPECT_EQ(sim.run({"agent", "say", "alice", "first"}).out, "");
  EXPECT_EQ(sim.run({"boundary", "alice"}).out, "");
  EXPECT_EQ(sim.run({"agent", "say", "alice", "a <b>\n\"c\" & d"}).out, "");
  EXPECT_EQ(sim.run({"shell", "cmd", "KELVO-0", "status"}).out, "");
  EXPECT_EQ(sim.run({"boundary", "alice", "--kind", "clear"}).code, 0);

  EXPECT_EQ(verified_frames(sim.poll(token), token),
            (Lines{R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="1">first</EVENT>)",
                   R"(<EVENT type="boundary" kind="compact"></EVENT>)",
                   R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="2">)"
                   R"(a &lt;b&gt;<br>&quot;c&quot; &amp; d</EVENT>)",
                   R"(<EVENT type="shell_command" op="status">{}</EVENT>)",
                   R"(<EVENT type="boundary" kind="clear"></EVENT>)"}));
  EXPECT_EQ(sim.poll(token).out, "");
}

// The MACs below come from
//   printf %s "$frame" | openssl dgst -sha256 -mac HMAC
//     -macopt hexkey:$(printf %s "$link" | sha256sum | cut -c1-64)
TEST(SimCli, PollLinesMatchIndependentlyComputedMacs) {
  Sim sim;
  const std::string token = "token1";
  ASSERT_EQ(sim.bound_link("alice"), token);
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-0", "delay", "30"}).code, 0);
  ASSERT_EQ(sim.run({"agent", "say", "alice", "a <b> &\nc\xC3\xA9!", "--truncate", "10"}).code, 0);
  EXPECT_EQ(sim.poll(token).out,
            "3784dd6da8ea424d6d49832a77497c52a86cb0e8f1dfdfe776477022b3c7f28f "
            R"(<EVENT type="shell_command" op="delay">{&quot;minutes&quot;:30}</EVENT>)"
            "\n"
            "02f2cb8b1837c4dd02e7b01115656d79a6dfe33564183f1bde1693878035db53 "
            R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="1" truncated="1">)"
            R"(a &lt;b&gt; &amp;<br>c</EVENT>)"
            "\n");
}

TEST(SimCli, FramesReachEveryLiveLinkOfTheirOwnerOrShell) {
  Sim sim;
  const std::string alice1 = sim.bound_link("alice");
  const std::string alice2 = sim.bound_link("alice", "KELVO-1");
  const std::string bob = sim.bound_link("bob", "KELVO-1");
  ASSERT_EQ(sim.run({"agent", "say", "alice", "hi"}).code, 0);
  // Two owners' shells share KELVO-1: the command names one of them or goes nowhere.
  const SimRun ambiguous = sim.run({"shell", "cmd", "KELVO-1", "pause"});
  EXPECT_EQ(ambiguous.code, 1);
  EXPECT_EQ(ambiguous.err,
            "qrn-sim: shell id KELVO-1 is used by the shells of several owners: alice, bob; "
            "name one with --owner OWNER\n");
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-1", "pause", "--owner", "bob"}).code, 0);

  const std::string hi = R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="1">hi</EVENT>)";
  const std::string pause = R"(<EVENT type="shell_command" op="pause">{}</EVENT>)";
  EXPECT_EQ(verified_frames(sim.poll(alice1), alice1), Lines{hi});
  EXPECT_EQ(verified_frames(sim.poll(alice2, "KELVO-1"), alice2), Lines{hi});
  EXPECT_EQ(verified_frames(sim.poll(bob, "KELVO-1"), bob), Lines{pause});

  for (const Args& nobody : {Args{"shell", "cmd", "KELVO-7", "status"},
                             Args{"shell", "cmd", "KELVO-0", "status", "--owner", "bob"}}) {
    const SimRun run = sim.run(nobody);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no live link has shell id " + nobody[2]), std::string::npos);
  }
}

TEST(SimCli, ALaterBindSupersedesTheShellHoldingTheLink) {
  Sim sim;
  const auto new_link = [&](const std::string& owner) {
    return std::string(trim(sim.run({"link", "new", "--owner", owner}).out));
  };
  const auto bind = [&](const std::string& token) {
    return lines_of(sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", token}).out)
        .at(1);
  };
  const std::string token = new_link("alice");
  EXPECT_EQ(bind(token), "BOUND_SHELL: KELVO-0 owner=alice");
  EXPECT_EQ(bind(token), "BOUND_SHELL: KELVO-1 owner=alice");
  const std::string why =
      ": no instance holds this link token: the link is bound to shell KELVO-1\n";
  EXPECT_EQ(sim.poll(token, "KELVO-0").err, "AUTH_REFUSED" + why);
  EXPECT_EQ(sim.drive_poll(token, "KELVO-0").err, "DRIVE_POLL_REFUSED" + why);
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-1", "status"}).code, 0);
  EXPECT_EQ(verified_frames(sim.poll(token, "KELVO-1"), token),
            Lines{R"(<EVENT type="shell_command" op="status">{}</EVENT>)"});
  EXPECT_EQ(sim.run({"shell", "cmd", "KELVO-0", "status"}).code, 1);

  // Another link of the owner takes the first free id; other owners start again from KELVO-0.
  EXPECT_EQ(bind(new_link("alice")), "BOUND_SHELL: KELVO-0 owner=alice");
  EXPECT_EQ(bind(new_link("alice")), "BOUND_SHELL: KELVO-2 owner=alice");
  EXPECT_EQ(bind(new_link("bob")), "BOUND_SHELL: KELVO-0 owner=bob");
}

TEST(SimCli, ShellCmdBodiesAreEscapedJson) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const Args commands[] = {
      {"delay", "30"}, {"classify", "abc234-2", "ci_run"}, {"retire", "ci_run peer_wait"},
      {"pause"},       {"frobnicate", "x", "--y"},
  };
  for (const auto& words : commands) {
    Args args = {"shell", "cmd", "KELVO-0"};
    args.insert(args.end(), words.begin(), words.end());
    ASSERT_EQ(sim.run(args).code, 0) << words[0];
  }
  Lines bodies;
  for (const auto& frame : verified_frames(sim.poll(token), token)) {
    const std::size_t open_end = frame.find('>');
    bodies.push_back(frame.substr(open_end + 1, frame.size() - open_end - 1 - 8));
  }
  EXPECT_EQ(bodies,
            (Lines{"{&quot;minutes&quot;:30}",
                   "{&quot;id&quot;:&quot;abc234-2&quot;,&quot;name&quot;:&quot;ci_run&quot;}",
                   "{&quot;names&quot;:&quot;ci_run peer_wait&quot;}", "{}",
                   "{&quot;args&quot;:[&quot;x&quot;,&quot;--y&quot;]}"}));
}

TEST(SimCli, TruncatedOutputIsCutAtACharacterAndMarked) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  ASSERT_EQ(sim.run({"agent", "say", "alice", "ab\xE2\x9F\xB3z", "--truncate", "4"}).code, 0);
  ASSERT_EQ(sim.run({"agent", "say", "alice", "ab", "--truncate", "40"}).code, 0);
  EXPECT_EQ(verified_frames(sim.poll(token), token),
            (Lines{R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="1" truncated="1">ab</EVENT>)",
                   R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="2" truncated="1">ab</EVENT>)"}));
  // The digest keeps the whole text.
  const json digest =
      json::parse(sim.run({"endpoint", "digest", "alice", "--last", "12", "--json"}).out);
  EXPECT_EQ(digest["turns"][0]["entries"][0]["Agent"]["text"], "ab\xE2\x9F\xB3z");
}

TEST(SimCli, DrivePollReportsTheActivityOnEveryCall) {
  Sim sim;
  const std::uint64_t made_at = sim.now;
  const std::string token = sim.bound_link("alice");
  const std::string idle_frame =
      R"(<EVENT type="activity" state="idle" since=")" + std::to_string(made_at) + "\"></EVENT>\n";
  EXPECT_EQ(sim.drive_poll(token).out, idle_frame);
  EXPECT_EQ(sim.drive_poll(token).out, idle_frame);

  sim.now += 60'000;
  ASSERT_EQ(sim.run({"agent", "busy", "alice", "--ago", "5"}).out, "");
  const SimRun busy = sim.drive_poll(token);
  EXPECT_EQ(busy.code, 0);
  EXPECT_EQ(busy.out, R"(<EVENT type="activity" state="busy" since=")" +
                          std::to_string(sim.now - 5'000) + "\"></EVENT>\n");

  ASSERT_EQ(sim.run({"agent", "idle", "alice"}).code, 0);
  EXPECT_EQ(sim.drive_poll(token).out, R"(<EVENT type="activity" state="idle" since=")" +
                                           std::to_string(sim.now) + "\"></EVENT>\n");
  ASSERT_EQ(sim.run({"agent", "idle", "alice", "--ago", "99999999999999999"}).code, 0);
  EXPECT_EQ(sim.drive_poll(token).out, R"(<EVENT type="activity" state="idle" since="0"></EVENT>)"
                                       "\n");
  // Activity is not queued: the poll stays empty.
  EXPECT_EQ(sim.poll(token).out, "");
}

TEST(SimCli, DigestCoversTheLastTwelveTurns) {
  Sim sim;
  sim.made_link("alice");
  for (int i = 1; i <= 13; ++i) {
    ASSERT_EQ(sim.run({"agent", "say", "alice", "m" + std::to_string(i)}).code, 0);
  }
  ASSERT_EQ(sim.run({"boundary", "alice", "--kind", "compact"}).code, 0);

  const SimRun digest = sim.run({"endpoint", "digest", "alice", "--last", "12", "--json"});
  ASSERT_EQ(digest.code, 0) << digest.err;
  const json doc = json::parse(digest.out);
  const json& turns = doc.at("turns");
  ASSERT_EQ(turns.size(), 12u);
  for (std::size_t i = 0; i < 11; ++i) {
    ASSERT_EQ(turns[i].at("entries").size(), 1u);
    const json& agent = turns[i]["entries"][0].at("Agent");
    EXPECT_EQ(agent.at("seq"), i + 3);
    EXPECT_EQ(agent.at("text"), "m" + std::to_string(i + 3));
  }
  const json& boundary = turns[11]["entries"][0].at("Boundary");
  EXPECT_EQ(boundary.at("kind"), "compact");
  EXPECT_EQ(boundary.at("ts"), "2023-11-14T22:13:20Z");

  const SimRun unknown = sim.run({"endpoint", "digest", "carol", "--last", "12", "--json"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.out, "");
}

TEST(SimCli, SendKeepsTextSenderFlagsAndTime) {
  Sim sim;
  const std::string text = "\xE2\x9F\xB3 **kelvo** line one\nline two";
  EXPECT_EQ(sim.run({"send", "--active-only", "--from", "KELVO-0", "alice"}, text).code, 0);
  sim.now += 1'000;
  EXPECT_EQ(sim.run({"send", "--idle-only", "--ephemeral", "alice"}, "nudge\n").code, 0);

  const SimRun listed = sim.run({"inbox", "alice", "--json"});
  ASSERT_EQ(listed.code, 0);
  const Lines lines = lines_of(listed.out);
  ASSERT_EQ(lines.size(), 2u);
  const json first = json::parse(lines[0]);
  EXPECT_EQ(first.at("text"), text);
  EXPECT_EQ(first.at("from"), "KELVO-0");
  EXPECT_EQ(first.at("flags"), json::array({"--active-only"}));
  EXPECT_EQ(first.at("ts"), 1'700'000'000'000u);
  const json second = json::parse(lines[1]);
  EXPECT_EQ(second.at("text"), "nudge\n");
  EXPECT_TRUE(second.at("from").is_null());
  EXPECT_EQ(second.at("flags"), json::array({"--idle-only", "--ephemeral"}));
  EXPECT_EQ(second.at("ts"), 1'700'000'001'000u);

  const SimRun readable = sim.run({"inbox", "alice"});
  EXPECT_NE(readable.out.find(" from KELVO-0 --active-only\n" + text + "\n\n"), std::string::npos);
  EXPECT_NE(readable.out.find(" from (nobody) --idle-only --ephemeral\nnudge\n\n"),
            std::string::npos);
  EXPECT_LT(readable.out.find("line one"), readable.out.find("nudge"));
  EXPECT_EQ(sim.run({"inbox", "bob"}).out, "");
}

TEST(SimCli, InboxFollowPrintsEachNewMessageOnce) {
  Sim sim;
  ASSERT_EQ(sim.run({"send", "alice"}, "one").code, 0);
  int rounds = 0;
  sim.follow_round = [&] {
    ++rounds;
    if (rounds == 2) sim.run({"send", "alice"}, "two");
    if (rounds == 3) {
      sim.run({"send", "alice"}, "three");
      sim.run({"send", "alice"}, "four");
    }
    return rounds <= 4;
  };
  const SimRun followed = sim.run({"inbox", "alice", "--follow", "--json"});
  EXPECT_EQ(followed.code, 0);
  EXPECT_EQ(rounds, 5);
  Lines texts;
  for (const auto& line : lines_of(followed.out)) texts.push_back(json::parse(line).at("text"));
  EXPECT_EQ(texts, (Lines{"one", "two", "three", "four"}));
}

TEST(SimCli, EmitQueuesRawLinesSignedBareOrForged) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const std::string frame = R"(<EVENT type="boundary" kind="x"></EVENT>)";
  ASSERT_EQ(sim.run({"emit", "--link", token, frame}).code, 0);
  ASSERT_EQ(sim.run({"emit", "--link", token, "--unsigned", frame}).code, 0);
  ASSERT_EQ(sim.run({"emit", "--bad-mac", "--link", token, frame}).code, 0);
  ASSERT_EQ(sim.run({"emit", "--link", token, "--", "--not a frame"}).code, 0);

  const Lines lines = lines_of(sim.poll(token).out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], *sign_frame(frame, token));
  EXPECT_EQ(lines[1], frame);
  EXPECT_EQ(lines[2].substr(64), " " + frame);
  EXPECT_FALSE(verify_frame_mac(lines[2].substr(0, 64), frame, derive_frame_key(token)));
  EXPECT_EQ(lines[3], *sign_frame("--not a frame", token));

  EXPECT_EQ(sim.run({"emit", "--link", "nope", frame}).code, 1);
}

TEST(SimCli, MalformedCommandLinesAreUsageErrors) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const Args cases[] = {
      {},
      {"frobnicate"},
      {"api", "--adapter", "OTHER", "poll", "KELVO-0", "--link", token},
      {"api", "--adapter", "KELVO", "poll", "KELVO-0", "--link"},
      {"api", "--adapter", "KELVO", "poll", "--link", token},
      {"api", "--adapter", "KELVO", "bind-shell", "--link", token, "extra"},
      {"api", "--adapter", "KELVO", "watch", "KELVO-0", "--link", token},
      {"endpoint", "digest", "alice", "--last", "12"},
      {"endpoint", "digest", "alice", "--last", "twelve", "--json"},
      {"send"},
      {"send", "--from", "alice"},
      {"send", "--from", "A", "--from", "B", "alice"},
      {"send", "loose", "alice"},
      {"link", "new"},
      {"link", "new", "--owner"},
      {"link", "new", "--owner", "a", "--owner", "b"},
      {"link", "revoke"},
      {"agent", "say", "alice"},
      {"agent", "say", "alice", "hi", "--truncate", "-1"},
      {"agent", "nap", "alice"},
      {"agent", "idle", "alice", "--ago", "soon"},
      {"boundary"},
      {"shell", "cmd", "KELVO-0"},
      {"shell", "cmd", "KELVO-0", "--owner", "alice"},
      {"shell", "cmd", "KELVO-0", "status", "--owner"},
      {"inbox", "alice", "--tail"},
      {"emit", "--link", token, "--unsigned", "--bad-mac", "x"},
      {"emit", "x"},
  };
  for (const auto& args : cases) {
    const SimRun run = sim.run(args);
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    EXPECT_EQ(run.code, 2) << shown;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_TRUE(run.err.starts_with("qrn-sim: ")) << shown << run.err;
    EXPECT_NE(run.err.find("usage: "), std::string::npos) << shown;
  }
  EXPECT_TRUE(sim.run({"frobnicate"}).err.starts_with("qrn-sim: unknown command frobnicate\n"));
  // None of them touched the link's queue or the inbox.
  EXPECT_EQ(sim.poll(token).out, "");
  EXPECT_EQ(sim.run({"inbox", "alice"}).out, "");
}

TEST(SimCli, OwnersAndShellIdsMustBeSingleWords) {
  Sim sim;
  for (const std::string bad : {"", "a b", " a", "a\t", "-a",
                                "a\xE2\x80\x83"
                                "b"}) {
    EXPECT_EQ(sim.run({"link", "new", "--owner", bad}).code, 1) << bad;
    EXPECT_EQ(sim.run({"link", "new", "--owner", "ok", "--shell-id", bad}).code, 1) << bad;
  }
  EXPECT_TRUE(std::filesystem::is_empty(sim.home()));
  sim.bound_link("../x");
  ASSERT_EQ(sim.run({"send", "../x"}, "hi").code, 0);
  EXPECT_TRUE(std::filesystem::exists(sim.home() / "inbox" / "%2E%2E%2Fx.jsonl"));
  EXPECT_EQ(lines_of(sim.run({"inbox", "../x", "--json"}).out).size(), 1u);
}

TEST(SimCli, VerbsOnUnknownOwnersFailWithoutEffect) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const Args cases[] = {
      {"agent", "say", "carol", "hi"},
      {"agent", "busy", "carol"},
      {"boundary", "carol"},
      {"link", "revoke", "nope"},
  };
  for (const auto& args : cases) {
    const SimRun run = sim.run(args);
    EXPECT_EQ(run.code, 1) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("qrn-sim: ")) << run.err;
  }
  EXPECT_EQ(sim.poll(token).out, "");
}

TEST(SimCli, LineBreaksThatWouldTearAFrameAreRefused) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const Args cases[] = {
      {"boundary", "alice", "--kind", "x\ny"},
      {"shell", "cmd", "KELVO-0", "sta\ntus"},
      {"emit", "--link", token, "<EVENT type=\"boundary\" kind=\"x\">\n</EVENT>"},
  };
  for (const auto& args : cases) {
    const SimRun run = sim.run(args);
    EXPECT_EQ(run.code, 1) << args[0];
    EXPECT_TRUE(run.err.starts_with("qrn-sim: ")) << run.err;
    EXPECT_NE(run.err.find("line break"), std::string::npos) << run.err;
  }
  EXPECT_EQ(sim.poll(token).out, "");
  EXPECT_EQ(sim.run({"endpoint", "digest", "alice", "--last", "12", "--json"}).out,
            "{\"turns\":[]}\n");
}

TEST(SimCli, DamagedLinkIsReportedAndLeftAsItIs) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  const std::filesystem::path file = sim.home() / "links" / (token + ".json");
  ASSERT_TRUE(std::filesystem::exists(file));
  std::ofstream(file) << "{\"owner\":";
  for (const Args& args : {Args{"agent", "say", "alice", "hi"},
                           Args{"api", "--adapter", "KELVO", "poll", "KELVO-0", "--link", token}}) {
    const SimRun run = sim.run(args);
    EXPECT_EQ(run.code, 1) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("damaged link file"), std::string::npos) << run.err;
  }
  std::ifstream in(file);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "{\"owner\":");
}

// Every shell polls twice a cycle: an empty queue costs no write, and the link's poll log (the
// benchmark's record) gets a line for each poll answered.
TEST(SimCli, AnEmptyPollWritesNothingButItsLogLine) {
  Sim sim;
  const std::string token = sim.bound_link("alice");
  sim.poll_log_dir = sim.home() / "polls";
  std::filesystem::create_directories(sim.poll_log_dir);
  const std::filesystem::path file = sim.home() / "links" / (token + ".json");
  const auto inode = [&] {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0);
    return info.st_ino;
  };
  const auto before = inode();
  EXPECT_EQ(sim.poll(token).code, 0);
  EXPECT_EQ(sim.drive_poll(token).code, 0);
  EXPECT_EQ(inode(), before);
  sim.now += 500;
  EXPECT_EQ(sim.poll(token, "KELVO-9").code, 1);
  EXPECT_EQ(sim.poll(token).code, 0);

  std::ifstream in(sim.poll_log_dir / (token + ".log"));
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "1700000000000\n1700000000500\n");
}

}  // namespace
}  // namespace kelvo::sim
