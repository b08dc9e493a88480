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

TEST(SimState, ABindTakesTheLinkOverWithAnIdNeverHeldThere) {
  Link link{"alice", "KELVO-0", false, {}, false, {}};
  bind_link(link, {"KELVO-1"});
  EXPECT_EQ(link.shell_id, "KELVO-0");  // the first bind keeps the id the link was made with
  EXPECT_TRUE(link.bound);

  bind_link(link, {"KELVO-1"});
  EXPECT_EQ(link.shell_id, "KELVO-2");
  bind_link(link, {});  // KELVO-0 and KELVO-2 held this link once: both stay shut out
  EXPECT_EQ(link.shell_id, "KELVO-1");
  EXPECT_EQ(link.superseded, (std::vector<std::string>{"KELVO-0", "KELVO-2"}));
  EXPECT_FALSE(holds(link, "KELVO-0"));
  EXPECT_TRUE(holds(link, "KELVO-1"));

  EXPECT_EQ(ids_in_use(two_owners(), "alice"), (std::set<std::string>{"KELVO-0", "KELVO-1"}));
  EXPECT_EQ(ids_in_use(two_owners(), "alice", "a1"), std::set<std::string>{"KELVO-1"});
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
