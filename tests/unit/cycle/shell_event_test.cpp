#include "cycle/shell_event.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/version.hpp"

namespace kelvo {
namespace {

TEST(EventJson, CarriesEveryFieldWithNullsWhereThereIsNone) {
  ShellEvent blocked{ShellEventKind::Blocked,
                     at_epoch_ms(1'765'000'090'500),
                     "demo",
                     "KELVO-0",
                     at_epoch_ms(1'765'000'000'000),
                     3,
                     "stuck \xFF !!done!!",
                     2,
                     std::nullopt};
  EXPECT_EQ(event_json(blocked, "box", 5),
            R"({"event":"blocked","at_ms":1765000090500,"owner":"demo","shell_id":"KELVO-0",)"
            R"("host":"box","since_ms":1765000000000,"idle_s":90,"nudges":3,)"
            "\"detail\":\"stuck \xEF\xBF\xBD !!done!!\",\"version\":\"" +
                std::string(PROGRAM_VERSION) + R"(","reminder":2,"dropped":5})");
  blocked.since = at_epoch_ms(1'765'000'099'000);  // the host's clock ahead of ours
  EXPECT_EQ(nlohmann::json::parse(event_json(blocked, "box"))["idle_s"], 0u);

  const ShellEvent ending{ShellEventKind::Ending, at_epoch_ms(5), "",
                          std::nullopt,           std::nullopt,   0,
                          "link no longer held",  std::nullopt,   EndCause::Stopped};
  EXPECT_EQ(nlohmann::json::parse(event_json(ending, "box")),
            nlohmann::json::parse(R"({"event":"ending","at_ms":5,"owner":"","shell_id":null,)"
                                  R"("host":"box","since_ms":null,"idle_s":null,"nudges":0,)"
                                  R"("detail":"link no longer held","version":")" +
                                  std::string(PROGRAM_VERSION) + R"(","cause":"stopped"})"));
}

TEST(ExcerptAround, CentresOnTheCodeAndCutsAtWholeCharacters) {
  struct Case {
    std::string text;
    std::size_t at, length, max;
    std::string excerpt;
  };
  const std::string a20(20, 'a'), b20(20, 'b');
  const std::vector<Case> cases = {
      {"ab!!done!!cd", 2, 8, 300, "ab!!done!!cd"},
      {a20 + "!!done!!" + b20, 20, 8, 16, "aaaa!!done!!bbbb"},
      {"x!!done!!" + b20, 1, 8, 16, "x!!done!!bbbbbbb"},  // room unused before goes after
      {a20 + "!!done!!", 20, 8, 16, "aaaaaaaa!!done!!"},  // and unused after goes before
      // a cut inside a two-byte é moves inwards at both ends
      {"\xC3\xA9\xC3\xA9!!done!!\xC3\xA9\xC3\xA9", 4, 8, 10, "!!done!!"},
      {"!!done!!", 0, 8, 4, "!!do"},
      {"abc", 10, 5, 300, "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(excerpt_around(c.text, c.at, c.length, c.max), c.excerpt) << c.text;
  }
}

}  // namespace
}  // namespace kelvo
