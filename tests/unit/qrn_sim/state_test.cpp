#include "qrn-sim/state.hpp"

#include <gtest/gtest.h>

#include "qrn-sim/error.hpp"

namespace kelvo::sim {
namespace {

using Files = std::vector<std::filesystem::path>;

LinksByFile two_owners() {
  LinksByFile links;
  links["a1"] = Link{"alice", "KELVO-0", true, {}, false, {}};
  links["a2"] = Link{"alice", "KELVO-1", false, {}, false, {}};
  links["a3"] = Link{"alice", "KELVO-2", true, {}, true, {}};
  links["b1"] = Link{"bob", "KELVO-0", false, {}, false, {}};
  return links;
}

TEST(SimState, OnlyTheHoldingShellOfALiveLinkPasses) {
  const LinksByFile links = two_owners();
  EXPECT_TRUE(holds(links.at("a1"), "KELVO-0"));
  EXPECT_FALSE(holds(links.at("a1"), "KELVO-1"));
  EXPECT_FALSE(holds(links.at("a2"), "KELVO-1"));  // never bound
  EXPECT_FALSE(holds(links.at("a3"), "KELVO-2"));  // revoked
}

// Every earlier binder still runs: each rebind is a takeover.
bool never_ended(const ProcessMark&) { return false; }

TEST(SimState, ABindTakesTheLinkOverWithAnIdNeverHeldThere) {
  Link link{"alice", "KELVO-0", false, {}, false, {}};
  bind_link(link, {"KELVO-1"}, {1, 10}, never_ended);
  EXPECT_EQ(link.shell_id, "KELVO-0");  // the first bind keeps the id the link was made with
  EXPECT_TRUE(link.bound);

  bind_link(link, {"KELVO-1"}, {2, 20}, never_ended);
  EXPECT_EQ(link.shell_id, "KELVO-2");
  bind_link(link, {}, {3, 30}, never_ended);  // KELVO-0 and KELVO-2 held this link once: shut out
  EXPECT_EQ(link.shell_id, "KELVO-1");
  EXPECT_EQ(link.superseded, (std::vector<std::string>{"KELVO-0", "KELVO-2"}));
  EXPECT_FALSE(holds(link, "KELVO-0"));
  EXPECT_TRUE(holds(link, "KELVO-1"));

  EXPECT_EQ(ids_in_use(two_owners(), "alice"), (std::set<std::string>{"KELVO-0", "KELVO-1"}));
  EXPECT_EQ(ids_in_use(two_owners(), "alice", "a1"), std::set<std::string>{"KELVO-1"});
}

TEST(SimState, ARebindKeepsTheIdOnlyWhenTheProgramThatBoundHasEnded) {
  struct Case {
    std::string name;
    bool bound;
    std::optional<ProcessMark> binder;  // the link's, before this bind
    bool binder_ended;
    std::string shell_id;
    std::vector<std::string> superseded;
  };
  const ProcessMark earlier{41, 900};
  const Case cases[] = {
      {"first bind", false, std::nullopt, true, "KELVO-0", {}},
      {"restart", true, earlier, true, "KELVO-0", {}},
      {"takeover", true, earlier, false, "KELVO-2", {"KELVO-0"}},
      {"binder unknown (an older file)", true, std::nullopt, true, "KELVO-2", {"KELVO-0"}},
  };
  const ProcessMark caller{42, 950};
  for (const auto& c : cases) {
    Link link{"alice", "KELVO-0", c.bound, {}, false, {}, c.binder};
    std::vector<ProcessMark> asked;
    bind_link(link, {"KELVO-1"}, caller, [&](const ProcessMark& mark) {
      asked.push_back(mark);
      return c.binder_ended;
    });
    EXPECT_EQ(link.shell_id, c.shell_id) << c.name;
    EXPECT_EQ(link.superseded, c.superseded) << c.name;
    EXPECT_TRUE(link.bound) << c.name;
    EXPECT_EQ(link.binder, caller) << c.name;
    EXPECT_EQ(asked, (c.bound && c.binder ? std::vector{earlier} : std::vector<ProcessMark>{}))
        << c.name;
  }
}

TEST(SimState, AProcStatLineGivesStateAndStartTime) {
  struct Case {
    std::string line;
    std::optional<char> state;  // absent: not read
    std::uint64_t start;
  };
  const std::string tail = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4242 19 20\n";
  const Case cases[] = {
      {"77 (kelvo-shell) S" + tail, 'S', 4242},
      {"77 (a) b (c)) Z" + tail, 'Z', 4242},  // a name with spaces and parentheses
      {"77 (sh) S 1 2 3", std::nullopt, 0},   // cut short
  };
  for (const auto& c : cases) {
    const auto stat = parse_proc_stat(c.line);
    ASSERT_EQ(stat.has_value(), c.state.has_value()) << c.line;
    if (!stat) continue;
    EXPECT_EQ(stat->state, *c.state) << c.line;
    EXPECT_EQ(stat->start, c.start) << c.line;
  }
}

TEST(SimState, CommandsGoToTheLinksOfOneOwner) {
  const LinksByFile links = two_owners();
  EXPECT_EQ(command_targets(links, "KELVO-1", std::nullopt), Files{"a2"});
  EXPECT_EQ(command_targets(links, "KELVO-0", "bob"), Files{"b1"});
  try {
    command_targets(links, "KELVO-0", std::nullopt);
    ADD_FAILURE() << "an id two owners use went through";
  } catch (const SimError& error) {
    EXPECT_NE(std::string(error.what()).find("several owners: alice, bob;"), std::string::npos)
        << error.what();
  }
  EXPECT_THROW(command_targets(links, "KELVO-2", std::nullopt), SimError);  // revoked
  EXPECT_THROW(command_targets(links, "KELVO-1", "bob"), SimError);
}

TEST(SimState, TurnsKeepTheNewest64) {
  Endpoint endpoint;
  for (std::uint64_t seq = 1; seq <= 67; ++seq) add_turn(endpoint, AgentTurn{"m", seq});
  ASSERT_EQ(endpoint.turns.size(), 64u);
  EXPECT_EQ(std::get<AgentTurn>(endpoint.turns.front()).seq, 4u);
  EXPECT_EQ(std::get<AgentTurn>(endpoint.turns.back()).seq, 67u);
}

}  // namespace
}  // namespace kelvo::sim
