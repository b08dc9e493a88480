#include "qrn-sim/digest.hpp"

#include <gtest/gtest.h>

namespace kelvo::sim {
namespace {

Endpoint with_turns(std::uint64_t agent_turns) {
  Endpoint endpoint;
  for (std::uint64_t seq = 1; seq <= agent_turns; ++seq) {
    add_turn(endpoint, AgentTurn{"m" + std::to_string(seq), seq});
  }
  return endpoint;
}

TEST(SimDigest, OneTurnPerOutputOrBoundary) {
  Endpoint endpoint = with_turns(1);
  add_turn(endpoint, BoundaryTurn{"compact", "2024-05-01T12:00:03Z"});
  EXPECT_EQ(digest_json(endpoint, 12),
            R"({"turns":[{"entries":[{"Agent":{"seq":1,"text":"m1"}}]},)"
            R"({"entries":[{"Boundary":{"kind":"compact","ts":"2024-05-01T12:00:03Z"}}]}]})");
}

TEST(SimDigest, KeepsOnlyTheLastTurnsOldestFirst) {
  const Endpoint endpoint = with_turns(5);
  EXPECT_EQ(digest_json(endpoint, 2), R"({"turns":[{"entries":[{"Agent":{"seq":4,"text":"m4"}}]},)"
                                      R"({"entries":[{"Agent":{"seq":5,"text":"m5"}}]}]})");
  EXPECT_EQ(digest_json(endpoint, 0), R"({"turns":[]})");
  EXPECT_EQ(digest_json(Endpoint{}, 12), R"({"turns":[]})");
}

}  // namespace
}  // namespace kelvo::sim
