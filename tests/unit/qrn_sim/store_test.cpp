#include "qrn-sim/store.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "qrn-sim/error.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::sim {
namespace {

namespace fs = std::filesystem;

TEST(SimStore, InboxFileNamesStayInsideTheFolder) {
  struct Case {
    std::string owner;
    std::string name;
  };
  const Case cases[] = {
      {"alice", "alice"}, {"Bob_2-x", "Bob_2-x"}, {"..", "%2E%2E"}, {"../x", "%2E%2E%2Fx"},
      {"a b", "a%20b"},   {"\xC3\xA9", "%C3%A9"}, {"50%", "50%25"},
  };
  for (const auto& c : cases) EXPECT_EQ(inbox_file_name(c.owner), c.name) << c.owner;
}

TEST(SimStore, StateSurvivesARoundTrip) {
  testing::TempDir home;
  EXPECT_TRUE(load_state(home.path()).links.empty());

  SimState state;
  state.links["t1"] = Link{"alice",
                           "KELVO-0",
                           "KELVO-0",
                           false,
                           {{"f1", Signing::Mac}, {"f2", Signing::None}, {"f3", Signing::BadMac}}};
  state.links["t2"] = Link{"bob", "S-1", std::nullopt, true, {}};
  Endpoint endpoint;
  endpoint.idle = false;
  endpoint.since = 1'700'000'000'123;
  endpoint.next_seq = 9;
  endpoint.turns = {AgentTurn{"hi \xE2\x9F\xB3", 8}, BoundaryTurn{"compact", "ts"}};
  state.endpoints["alice"] = endpoint;
  save_state(home.path(), state);

  const SimState loaded = load_state(home.path());
  ASSERT_EQ(loaded.links.size(), 2u);
  const Link& t1 = loaded.links.at("t1");
  EXPECT_EQ(t1.owner, "alice");
  EXPECT_EQ(t1.held_by, "KELVO-0");
  ASSERT_EQ(t1.queue.size(), 3u);
  EXPECT_EQ(t1.queue[2].text, "f3");
  EXPECT_EQ(t1.queue[1].signing, Signing::None);
  EXPECT_EQ(t1.queue[2].signing, Signing::BadMac);
  const Link& t2 = loaded.links.at("t2");
  EXPECT_EQ(t2.shell_id, "S-1");
  EXPECT_FALSE(t2.held_by.has_value());
  EXPECT_TRUE(t2.revoked);
  const Endpoint& e = loaded.endpoints.at("alice");
  EXPECT_FALSE(e.idle);
  EXPECT_EQ(e.since, 1'700'000'000'123u);
  EXPECT_EQ(e.next_seq, 9u);
  ASSERT_EQ(e.turns.size(), 2u);
  EXPECT_EQ(std::get<AgentTurn>(e.turns[0]).text, "hi \xE2\x9F\xB3");
  EXPECT_EQ(std::get<BoundaryTurn>(e.turns[1]).kind, "compact");

  // Only the state file and nothing half-written beside it.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(home.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"state.json"});
}

TEST(SimStore, DamagedStateIsAnErrorNotAFreshStart) {
  testing::TempDir home;
  for (const std::string content : {"{", R"({"links":{}})", R"({"links":{"t":{"owner":1}}})"}) {
    std::ofstream(home.path() / "state.json") << content;
    EXPECT_THROW(load_state(home.path()), SimError) << content;
  }
}

TEST(SimStore, InboxAppendsInOrder) {
  testing::TempDir home;
  EXPECT_TRUE(load_inbox(home.path(), "../x").empty());
  append_inbox(home.path(), "../x", {1, "KELVO-0", {"--active-only"}, "one\ntwo"});
  append_inbox(home.path(), "../x", {2, std::nullopt, {}, ""});
  const auto messages = load_inbox(home.path(), "../x");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "one\ntwo");
  EXPECT_EQ(messages[0].from, "KELVO-0");
  EXPECT_EQ(messages[1].ts, 2u);
  EXPECT_FALSE(messages[1].from.has_value());
  EXPECT_TRUE(fs::exists(home.path() / "inbox" / "%2E%2E%2Fx.jsonl"));
}

TEST(SimStore, ExclusiveLockShutsOutOthersUntilReleased) {
  testing::TempDir home;
  std::atomic<bool> held = false;
  std::atomic<bool> released = false;
  std::thread holder([&] {
    HomeLock lock(home.path(), LockMode::Exclusive);
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    released = true;
  });
  while (!held) std::this_thread::yield();
  {
    HomeLock reader(home.path(), LockMode::Shared);
    EXPECT_TRUE(released);
  }
  holder.join();
}

}  // namespace
}  // namespace kelvo::sim
