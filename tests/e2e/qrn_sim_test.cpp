// The real qrn-sim program: what the shell reads from it, and its state under concurrent use.

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "frame/frame_mac.hpp"
#include "support/run_program.hpp"
#include "support/running_program.hpp"
#include "support/sanitized.hpp"
#include "support/shell_script.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::testing {
namespace {

using Args = std::vector<std::string>;
using Env = std::vector<std::pair<std::string, std::string>>;

const std::string kSim = KELVO_QRN_SIM;

// A qrn-sim home in a temporary folder, and runs of the real program against it.
class SimHome {
 public:
  ProgramRun run(Args args, std::string_view input = {}) const {
    args.insert(args.begin(), kSim);
    return run_program(args, input, env());
  }

  // Makes a link for `owner`, binds it and gives its token.
  std::string bound_link(const std::string& owner) const {
    const ProgramRun made = run({"link", "new", "--owner", owner});
    EXPECT_EQ(made.exit_code, 0) << made.err;
    const std::string token(trim(made.out));
    EXPECT_EQ(run({"api", "--adapter", "KELVO", "bind-shell", "--link", token}).exit_code, 0);
    return token;
  }

  Env env() const { return {{"QRN_SIM_HOME", home_.path().string()}, {"SIM", kSim}}; }

 private:
  TempDir home_;
};

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (const auto line : split_lines(text)) lines.emplace_back(line);
  return lines;
}

TEST(QrnSim, ServesTheShellsCallsExactly) {
  SimHome sim;
  const ProgramRun made = sim.run({"link", "new", "--owner", "demo"});
  ASSERT_EQ(made.exit_code, 0);
  const std::string token(trim(made.out));
  EXPECT_EQ(made.out, token + "\n");
  EXPECT_EQ(token.size(), 32u);
  EXPECT_TRUE(decode_hex_mac(token).has_value());  // plain hex

  const ProgramRun bound = sim.run({"api", "--adapter", "KELVO", "bind-shell", "--link", token});
  ASSERT_EQ(bound.exit_code, 0);
  EXPECT_EQ(lines_of(bound.out).at(1), "BOUND_SHELL: KELVO-0 owner=demo");

  ASSERT_EQ(sim.run({"agent", "say", "demo", "hi !!wait=20!!"}).exit_code, 0);
  const ProgramRun polled =
      sim.run({"api", "--adapter", "KELVO", "poll", "KELVO-0", "--link", token});
  ASSERT_EQ(polled.exit_code, 0);
  const std::string frame =
      R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="1">hi !!wait=20!!</EVENT>)";
  EXPECT_EQ(polled.out, *sign_frame(frame, token) + "\n");
  EXPECT_EQ(polled.err, "");

  const ProgramRun driven =
      sim.run({"api", "--adapter", "KELVO", "drive-poll", "KELVO-0", "--link", token});
  ASSERT_EQ(driven.exit_code, 0);
  EXPECT_TRUE(driven.out.starts_with(R"(<EVENT type="activity" state="idle" since=")"));

  const ProgramRun digest = sim.run({"endpoint", "digest", "demo", "--last", "12", "--json"});
  ASSERT_EQ(digest.exit_code, 0);
  EXPECT_EQ(nlohmann::json::parse(digest.out)["turns"][0]["entries"][0]["Agent"]["seq"], 1);

  ASSERT_EQ(sim.run({"link", "revoke", token}).exit_code, 0);
  const ProgramRun refused =
      sim.run({"api", "--adapter", "KELVO", "poll", "KELVO-0", "--link", token});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "AUTH_REFUSED: no instance holds this link token: the link was revoked\n");
}

// The binds of real processes: one through a `sh` that ends after it, then two from this test,
// which runs on.
TEST(QrnSim, ARebindIsARestartOnceTheProgramThatBoundHasEnded) {
  SimHome sim;
  const std::string token(trim(sim.run({"link", "new", "--owner", "demo"}).out));
  const Args bind = {"api", "--adapter", "KELVO", "bind-shell", "--link", token};
  const auto bound_line = [](const ProgramRun& run) { return lines_of(run.out).at(1); };
  Env env = sim.env();
  env.emplace_back("LINK", token);
  const auto bind_from_sh = [&] {
    // `; true`: sh runs qrn-sim as its child rather than becoming it.
    return run_program(
        {"sh", "-c", "\"$SIM\" api --adapter KELVO bind-shell --link \"$LINK\"; true"}, {}, env);
  };
  EXPECT_EQ(bound_line(bind_from_sh()), "BOUND_SHELL: KELVO-0 owner=demo");
  EXPECT_EQ(bound_line(bind_from_sh()), "BOUND_SHELL: KELVO-0 owner=demo");
  EXPECT_EQ(bound_line(sim.run(bind)), "BOUND_SHELL: KELVO-0 owner=demo");
  EXPECT_EQ(bound_line(sim.run(bind)), "BOUND_SHELL: KELVO-1 owner=demo");  // this test runs on
}

TEST(QrnSim, PollMacsAgreeWithTheOpensslCommand) {
  if (run_program({"sh", "-c", "command -v openssl && command -v sha256sum"}).exit_code != 0) {
    GTEST_SKIP() << "openssl or sha256sum missing";
  }
  SimHome sim;
  const std::string token = sim.bound_link("demo");
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-0", "classify", "abc234-2", "ci_run"}).exit_code, 0);
  const ProgramRun polled =
      sim.run({"api", "--adapter", "KELVO", "poll", "KELVO-0", "--link", token});
  const std::string line(trim(polled.out));
  const std::size_t space = line.find(' ');
  ASSERT_NE(space, std::string::npos);
  const ProgramRun openssl =
      run_program({"sh", "-c",
                   "printf %s \"$FRAME\" | openssl dgst -sha256 -mac HMAC "
                   "-macopt hexkey:$(printf %s \"$LINK\" | sha256sum | cut -c1-64)"},
                  {}, {{"FRAME", line.substr(space + 1)}, {"LINK", token}});
  ASSERT_EQ(openssl.exit_code, 0) << openssl.err;
  EXPECT_TRUE(openssl.out.ends_with("= " + line.substr(0, space) + "\n")) << openssl.out;
}

TEST(QrnSim, HomeDefaultsToDotQrnSimInTheWorkingFolder) {
  TempDir cwd;
  const ProgramRun made =
      run_program({kSim, "link", "new", "--owner", "demo"}, {}, {{"QRN_SIM_HOME", ""}}, cwd.path());
  ASSERT_EQ(made.exit_code, 0) << made.err;
  const std::string token(trim(made.out));
  EXPECT_TRUE(std::filesystem::exists(cwd.path() / ".qrn-sim" / "links" / (token + ".json")));
}

TEST(QrnSim, SendKeepsTheMessageBytes) {
  SimHome sim;
  const std::string text = "\xE2\x9F\xB3 **kelvo** one\r\ntwo\n\nthree";
  ASSERT_EQ(sim.run({"send", "--active-only", "--from", "KELVO-0", "demo"}, text).exit_code, 0);
  const ProgramRun inbox = sim.run({"inbox", "demo", "--json"});
  ASSERT_EQ(inbox.exit_code, 0);
  const auto lines = lines_of(inbox.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(lines[0])["text"], text);
}

// A writer and a poller race, each a few hundred runs of the real program: every frame comes
// out exactly once, in order, with a good MAC.
TEST(QrnSim, RacingVerbAndPollLoseNoFrame) {
  SimHome sim;
  const std::string token = sim.bound_link("demo");
  constexpr int kFrames = stress_rounds(300, 60);
  const std::string script =
      "for i in $(seq " + std::to_string(kFrames) +
      "); do \"$SIM\" agent say demo \"m$i\" || echo FAIL >&2; done &\n"
      "writer=$!\n"
      "poll() { \"$SIM\" api --adapter KELVO poll KELVO-0 --link \"$LINK\" || echo FAIL >&2; }\n"
      "while kill -0 $writer 2>/dev/null; do poll; done\n"
      "wait $writer\n"
      "poll\n";
  Env env = sim.env();
  env.emplace_back("LINK", token);
  const ProgramRun raced = run_program({"bash", "-c", script}, {}, env);
  ASSERT_EQ(raced.exit_code, 0);
  EXPECT_EQ(raced.err, "");

  const auto lines = lines_of(raced.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    const std::string seq = std::to_string(i + 1);
    const std::string frame =
        R"(<EVENT type="io" kind="AGENT_OUTPUT" seq=")" + seq + "\">m" + seq + "</EVENT>";
    EXPECT_EQ(lines[i], *sign_frame(frame, token)) << i;
  }
}

// Two senders append to one inbox at once: the lock keeps every message.
TEST(QrnSim, RacingSendsLoseNoMessage) {
  SimHome sim;
  constexpr int kEach = stress_rounds(150, 40);
  const std::string loop = "for i in $(seq " + std::to_string(kEach) +
                           "); do printf %s \"$1$i\" | \"$SIM\" send \"--from\" \"$1\" demo; done";
  const std::string script = "sender() { " + loop + "; }\nsender a & sender b\nwait\n";
  const ProgramRun raced = run_program({"bash", "-c", script}, {}, sim.env());
  ASSERT_EQ(raced.exit_code, 0) << raced.err;

  const ProgramRun inbox = sim.run({"inbox", "demo", "--json"});
  std::vector<std::string> from_a;
  std::vector<std::string> from_b;
  for (const auto& line : lines_of(inbox.out)) {
    const auto message = nlohmann::json::parse(line);
    (message["from"] == "a" ? from_a : from_b).push_back(message["text"]);
  }
  ASSERT_EQ(from_a.size(), static_cast<std::size_t>(kEach));
  ASSERT_EQ(from_b.size(), static_cast<std::size_t>(kEach));
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(from_a[i], "a" + std::to_string(i + 1));
    EXPECT_EQ(from_b[i], "b" + std::to_string(i + 1));
  }
}

TEST(QrnSim, InboxFollowShowsMessagesAsTheyArrive) {
  SimHome sim;
  TempDir out_dir;
  const std::filesystem::path out = out_dir.path() / "followed";
  ASSERT_EQ(sim.run({"send", "demo"}, "before").exit_code, 0);
  RunningProgram follow({"sh", "-c", "exec \"$SIM\" inbox demo --follow > '" + out.string() + "'"},
                        sim.env());
  ASSERT_TRUE(wait_until([&] { return read_file(out).find("before") != std::string::npos; }));
  ASSERT_EQ(sim.run({"send", "--idle-only", "demo"}, "after").exit_code, 0);
  EXPECT_TRUE(wait_until([&] { return read_file(out).find("after") != std::string::npos; }));
  EXPECT_TRUE(follow.running());
  follow.stop();
  const std::string shown = read_file(out);
  EXPECT_EQ(shown.find("before"), shown.rfind("before"));
  EXPECT_NE(shown.find("from (nobody) --idle-only\nafter\n"), std::string::npos);
}

// Two owners' shells both hold KELVO-0: the operator must name the owner, and the command then
// reaches that shell alone.
TEST(QrnSim, ShellCmdReachesOneOfTwoOwnersShells) {
  SimHome sim;
  TempDir state_dir;
  std::vector<std::unique_ptr<RunningProgram>> shells;
  for (const std::string owner : {"alice", "bob"}) {
    const std::string token(trim(sim.run({"link", "new", "--owner", owner}).out));
    ASSERT_EQ(sim.run({"agent", "busy", owner}).exit_code, 0);
    shells.push_back(std::make_unique<RunningProgram>(
        Args{KELVO_BUILD_DIR "/kelvo-shell", "--link", token, "--qrn", kSim, "--state-dir",
             state_dir.path().string()},
        sim.env()));
  }
  const auto count_in_inbox = [&](const std::string& owner, const std::string& start) {
    std::size_t count = 0;
    for (const auto& line : lines_of(sim.run({"inbox", owner, "--json"}).out)) {
      count += std::string(nlohmann::json::parse(line)["text"]).starts_with(start) ? 1 : 0;
    }
    return count;
  };
  const std::string status = "\xE2\x9F\xB3 **kelvo** status";
  for (const std::string owner : {"alice", "bob"}) {
    ASSERT_TRUE(
        wait_until([&] { return count_in_inbox(owner, "\xE2\x9F\xB3 **kelvo** is") == 1; }));
  }

  const ProgramRun ambiguous = sim.run({"shell", "cmd", "KELVO-0", "status"});
  EXPECT_EQ(ambiguous.exit_code, 1);
  EXPECT_EQ(ambiguous.err,
            "qrn-sim: shell id KELVO-0 is used by the shells of several owners: alice, bob; "
            "name one with --owner OWNER\n");
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-0", "status", "--owner", "bob"}).exit_code, 0);
  ASSERT_TRUE(wait_until([&] { return count_in_inbox("bob", status) == 1; }));
  // A stray copy for alice would be answered before her own command, queued after it.
  ASSERT_EQ(sim.run({"shell", "cmd", "KELVO-0", "status", "--owner", "alice"}).exit_code, 0);
  ASSERT_TRUE(wait_until([&] { return count_in_inbox("alice", status) >= 1; }));
  EXPECT_EQ(count_in_inbox("alice", status), 1u);
  EXPECT_EQ(count_in_inbox("bob", status), 1u);
  for (auto& shell : shells) EXPECT_EQ(shell->stop().err, "");
}

}  // namespace
}  // namespace kelvo::testing
