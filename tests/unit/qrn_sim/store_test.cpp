#include "qrn-sim/store.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "qrn-sim/error.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::sim {
namespace {

namespace fs = std::filesystem;

TEST(SimStore, FileNamesStayInsideTheFolder) {
  struct Case {
    std::string owner;
    std::string name;
  };
  const Case cases[] = {
      {"alice", "alice"}, {"Bob_2-x", "Bob_2-x"}, {"..", "%2E%2E"}, {"../x", "%2E%2E%2Fx"},
      {"a b", "a%20b"},   {"\xC3\xA9", "%C3%A9"}, {"50%", "50%25"},
  };
  for (const auto& c : cases) EXPECT_EQ(safe_file_name(c.owner), c.name) << c.owner;
}

TEST(SimStore, LinksAndEndpointsSurviveARoundTrip) {
  testing::TempDir home;
  const fs::path t1 = link_file(home.path(), "t1");
  const fs::path t2 = link_file(home.path(), "t2");
  const fs::path alice = endpoint_file(home.path(), "alice");
  EXPECT_FALSE(load_link(t1).has_value());
  EXPECT_THROW(read_endpoint(home.path(), "alice"), SimError);

  fs::create_directories(t1.parent_path());  // which taking a lock does before a save
  fs::create_directories(alice.parent_path());
  save_link(t1, Link{"alice",
                     "KELVO-3",
                     true,
                     {"KELVO-0", "KELVO-1"},
                     false,
                     {{"f1", Signing::Mac}, {"f2", Signing::None}, {"f3", Signing::BadMac}},
                     ProcessMark{4321, 123456789}});
  save_link(t2, Link{"bob", "S-1", false, {}, true, {}, ProcessMark{77, std::nullopt}});
  Endpoint endpoint;
  endpoint.idle = false;
  endpoint.since = 1'700'000'000'123;
  endpoint.next_seq = 9;
  endpoint.turns = {AgentTurn{"hi \xE2\x9F\xB3", 8}, BoundaryTurn{"compact", "ts"}};
  save_endpoint(alice, endpoint);

  const LinksByFile links = read_links(home.path());
  ASSERT_EQ(links.size(), 2u);
  const Link& first = links.at(t1);
  EXPECT_EQ(first.owner, "alice");
  EXPECT_EQ(first.shell_id, "KELVO-3");
  EXPECT_TRUE(first.bound);
  EXPECT_EQ(first.superseded, (std::vector<std::string>{"KELVO-0", "KELVO-1"}));
  ASSERT_EQ(first.queue.size(), 3u);
  EXPECT_EQ(first.queue[2].text, "f3");
  EXPECT_EQ(first.queue[1].signing, Signing::None);
  EXPECT_EQ(first.queue[2].signing, Signing::BadMac);
  EXPECT_EQ(first.binder, (ProcessMark{4321, 123456789}));
  const Link& second = links.at(t2);
  EXPECT_EQ(second.shell_id, "S-1");
  EXPECT_FALSE(second.bound);
  EXPECT_TRUE(second.revoked);
  EXPECT_EQ(second.binder, (ProcessMark{77, std::nullopt}));
  const Endpoint e = existing_endpoint(home.path(), "alice");
  EXPECT_FALSE(e.idle);
  EXPECT_EQ(e.since, 1'700'000'000'123u);
  EXPECT_EQ(e.next_seq, 9u);
  ASSERT_EQ(e.turns.size(), 2u);
  EXPECT_EQ(std::get<AgentTurn>(e.turns[0]).text, "hi \xE2\x9F\xB3");
  EXPECT_EQ(std::get<BoundaryTurn>(e.turns[1]).kind, "compact");

  // The files, the locks of the links read under them, nothing half-written beside them.
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(home.path())) {
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), home.path()).string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"links/t1.json", "links/t1.json.lock", "links/t2.json",
                                          "links/t2.json.lock", "endpoints/alice.json"}));
}

TEST(SimStore, ALinkFileFromBeforeBindersWereKeptIsRead) {
  testing::TempDir home;
  const fs::path file = link_file(home.path(), "t");
  fs::create_directories(file.parent_path());
  std::ofstream(file)
      << R"({"owner":"a","shell_id":"KELVO-1","bound":true,"superseded":["KELVO-0"],)"
         R"("revoked":false,"queue":[]})";
  const auto link = load_link(file);
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->shell_id, "KELVO-1");
  EXPECT_EQ(link->binder, std::nullopt);
}

TEST(SimStore, DamagedFilesAreAnErrorNotAFreshStart) {
  testing::TempDir home;
  const fs::path link = link_file(home.path(), "t");
  const fs::path endpoint = endpoint_file(home.path(), "alice");
  fs::create_directories(link.parent_path());
  fs::create_directories(endpoint.parent_path());
  for (const std::string content : {"{", R"({"owner":"a"})", R"({"owner":1})", ""}) {
    std::ofstream(link) << content;
    EXPECT_THROW(load_link(link), SimError) << content;
    std::ofstream(endpoint) << content;
    EXPECT_THROW(load_endpoint(endpoint), SimError) << content;
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
    FileLock lock(home.path() / "f", LockMode::Exclusive);
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    released = true;
  });
  while (!held) std::this_thread::yield();
  {
    FileLock reader(home.path() / "f", LockMode::Shared);
    EXPECT_TRUE(released);
  }
  holder.join();
}

}  // namespace
}  // namespace kelvo::sim
