#include "state/class_registry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "state/state_codec.hpp"

namespace kelvo {
namespace {

TEST(Classify, KeepsARunningMean) {
  OwnerState state;
  classify(state, "ci_run", Seconds(300), at_epoch_ms(1000));
  EXPECT_EQ(state.registry.at("ci_run"), (ClassStat{1, 300.0, 1000}));
  classify(state, "ci_run", Seconds(400), at_epoch_ms(2000));
  EXPECT_EQ(state.registry.at("ci_run"), (ClassStat{2, 350.0, 2000}));
  classify(state, "ci_run", Seconds(500), at_epoch_ms(3000));
  EXPECT_EQ(state.registry.at("ci_run"), (ClassStat{3, 400.0, 3000}));

  classify(state, "peer", Seconds(10), at_epoch_ms(1));
  classify(state, "peer", Seconds(11), at_epoch_ms(2));
  EXPECT_DOUBLE_EQ(state.registry.at("peer").mean_secs, 10.5);
}

TEST(Classify, KeepsACountAtItsLimitAndTheStateReadable) {
  constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint64_t>::max();
  OwnerState state;
  state.registry["ci_run"] = ClassStat{kMaxCount, 300.0, 1};
  classify(state, "ci_run", Seconds(300), at_epoch_ms(2000));
  EXPECT_EQ(state.registry.at("ci_run"), (ClassStat{kMaxCount, 300.0, 2000}));

  const auto text = serialize_state(state);
  ASSERT_TRUE(text);
  EXPECT_EQ(parse_state(*text), state);
}

// The registry holds 50 classes.
OwnerState full_registry() {
  OwnerState state;
  for (std::size_t i = 0; i < 50; ++i) {
    classify(state, "c" + std::to_string(100 + i), Seconds(1), at_epoch_ms(1000 + i));
  }
  return state;
}

TEST(Classify, EvictsTheLeastRecentOnlyForANewNameWhenFull) {
  OwnerState state = full_registry();
  classify(state, "c105", Seconds(1), at_epoch_ms(9000));  // existing name: nothing evicted
  EXPECT_EQ(state.registry.size(), 50u);
  EXPECT_TRUE(state.registry.contains("c100"));

  classify(state, "fresh", Seconds(1), at_epoch_ms(9001));
  EXPECT_EQ(state.registry.size(), 50u);
  EXPECT_FALSE(state.registry.contains("c100"));
  EXPECT_TRUE(state.registry.contains("fresh"));
}

TEST(Classify, EvictsTheFirstByNameAmongEqualOldest) {
  OwnerState state = full_registry();
  state.registry.at("c140").last_classified_ms = 5;
  state.registry.at("c120").last_classified_ms = 5;
  classify(state, "fresh", Seconds(1), at_epoch_ms(9000));
  EXPECT_FALSE(state.registry.contains("c120"));
  EXPECT_TRUE(state.registry.contains("c140"));
}

TEST(RoundedMeanSecs, RoundsHalvesAwayAndClampsTheEnds) {
  EXPECT_EQ(rounded_mean_secs(89.5).count(), 90u);
  EXPECT_EQ(rounded_mean_secs(89.4).count(), 89u);
  EXPECT_EQ(rounded_mean_secs(10.5).count(), 11u);
  EXPECT_EQ(rounded_mean_secs(0.0).count(), 0u);
  EXPECT_EQ(rounded_mean_secs(-3.7).count(), 0u);
  EXPECT_EQ(rounded_mean_secs(std::nan("")).count(), 0u);
  EXPECT_EQ(rounded_mean_secs(1e30).count(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(rounded_mean_secs(std::numeric_limits<double>::infinity()).count(),
            std::numeric_limits<std::uint64_t>::max());
}

TEST(ListingOrder, SortsByCountThenName) {
  OwnerState state;
  state.registry["b"] = {2, 1.0, 0};
  state.registry["a"] = {5, 1.0, 0};
  state.registry["c"] = {2, 1.0, 0};
  std::string order;
  for (const auto& [name, stat] : listing_order(state.registry)) order += name;
  EXPECT_EQ(order, "abc");
}

TEST(Retire, RemovesNamedClassesInOrderAndListsTheMissing) {
  OwnerState state;
  state.registry["a"] = {1, 10.0, 0};
  state.registry["b"] = {2, 300.0, 0};
  state.registry["c"] = {3, 1.0, 0};
  const RetireOutcome outcome = retire(state, {"x", "b", "a", "b"});
  ASSERT_EQ(outcome.retired.size(), 2u);
  EXPECT_EQ(outcome.retired[0], (std::pair<std::string, ClassStat>{"b", {2, 300.0, 0}}));
  EXPECT_EQ(outcome.retired[1].first, "a");
  EXPECT_EQ(outcome.missing, (std::vector<std::string>{"x", "b"}));
  EXPECT_EQ(state.registry.size(), 1u);
  EXPECT_TRUE(state.registry.contains("c"));
}

TEST(Retire, RepliesWithRetiredItemsBeforeMissingOnes) {
  OwnerState state;
  state.registry["b"] = {2, 300.0, 0};
  EXPECT_EQ(retire_reply(retire(state, {"a", "b"})),
            "⟳ **kelvo** retired b (~5m ×2); no class named a");

  classify(state, "ci_run", Seconds(10), at_epoch_ms(1));
  classify(state, "ci_run", Seconds(11), at_epoch_ms(2));
  state.registry["slow"] = {1, 3607.4, 0};
  EXPECT_EQ(retire_reply(retire(state, {"ci_run", "slow"})),
            "⟳ **kelvo** retired ci_run (~11s ×2); retired slow (~1h0m7s ×1)");
}

TEST(Retire, GivesTheRefusalReasonWhenNothingWasRetired) {
  OwnerState state;
  const RetireOutcome outcome = retire(state, {"x", "y"});
  EXPECT_TRUE(outcome.retired.empty());
  EXPECT_EQ(retire_refusal_reason(outcome.missing), "no class named x; no class named y");
}

TEST(RegistrySummary, CountsTheClasses) {
  const std::string rest =
      " in the registry. Classify a shown checkpoint with `classify <id>-<sub> <name>` or "
      "`!!classify=<id>-<sub>:<name>!!`; `retire \"<names>\"` removes classes.";
  OwnerState state;
  EXPECT_EQ(registry_summary(state), " 0 classes" + rest);
  state.registry["a"] = {};
  EXPECT_EQ(registry_summary(state), " 1 class" + rest);
  state.registry["b"] = {};
  EXPECT_EQ(registry_summary(state), " 2 classes" + rest);
}

}  // namespace
}  // namespace kelvo
