#include "qrn-sim/state.hpp"

#include <gtest/gtest.h>

namespace kelvo::sim {
namespace {

SimState two_owners() {
  SimState state;
  state.links["a1"] = Link{"alice", "KELVO-0", "KELVO-0", false, {}};
  state.links["a2"] = Link{"alice", "KELVO-1", std::nullopt, false, {}};
  state.links["a3"] = Link{"alice", "KELVO-0", "KELVO-0", true, {}};
  state.links["b1"] = Link{"bob", "KELVO-0", std::nullopt, false, {}};
  state.endpoints["alice"];
  state.endpoints["bob"];
  return state;
}

TEST(SimState, OnlyTheHoldingShellOfALiveLinkPasses) {
  SimState state = two_owners();
  EXPECT_EQ(held_link(state, "a1", "KELVO-0"), &state.links["a1"]);
  EXPECT_EQ(held_link(state, "a1", "KELVO-1"), nullptr);
  EXPECT_EQ(held_link(state, "a2", "KELVO-1"), nullptr);  // never bound
  EXPECT_EQ(held_link(state, "a3", "KELVO-0"), nullptr);  // revoked
  EXPECT_EQ(held_link(state, "zz", "KELVO-0"), nullptr);
}

TEST(SimState, QueuesReachEveryLiveMatchingLink) {
  SimState state = two_owners();
  EXPECT_EQ(queue_for_owner(state, "alice", {"f1"}), 2u);
  EXPECT_EQ(queue_for_shell(state, "KELVO-0", {"f2"}), 2u);
  EXPECT_EQ(queue_for_shell(state, "KELVO-9", {"f3"}), 0u);
  auto texts = [&](const std::string& token) {
    std::vector<std::string> out;
    for (const auto& frame : state.links[token].queue) out.push_back(frame.text);
    return out;
  };
  using Texts = std::vector<std::string>;
  EXPECT_EQ(texts("a1"), (Texts{"f1", "f2"}));
  EXPECT_EQ(texts("a2"), (Texts{"f1"}));
  EXPECT_EQ(texts("a3"), Texts{});
  EXPECT_EQ(texts("b1"), (Texts{"f2"}));
}

TEST(SimState, TurnsKeepTheNewestWithinTheCap) {
  Endpoint endpoint;
  for (std::uint64_t seq = 1; seq <= kTurnsKept + 3; ++seq) {
    add_turn(endpoint, AgentTurn{"m", seq});
  }
  ASSERT_EQ(endpoint.turns.size(), kTurnsKept);
  EXPECT_EQ(std::get<AgentTurn>(endpoint.turns.front()).seq, 4u);
  EXPECT_EQ(std::get<AgentTurn>(endpoint.turns.back()).seq, kTurnsKept + 3);
}

}  // namespace
}  // namespace kelvo::sim
