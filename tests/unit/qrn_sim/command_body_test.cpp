#include "qrn-sim/command_body.hpp"

#include <gtest/gtest.h>

namespace kelvo::sim {
namespace {

TEST(SimCommandBody, MapsOperatorWordsToJsonArguments) {
  struct Case {
    std::string op;
    std::vector<std::string> words;
    std::string body;
  };
  const Case cases[] = {
      {"delay", {"30"}, R"({"minutes":30})"},
      {"delay", {"-1"}, R"({"minutes":-1})"},
      {"delay", {"30.5"}, R"({"minutes":30.5})"},
      {"delay", {"4294967296"}, R"({"minutes":4294967296})"},
      {"delay", {" 30 "}, R"({"minutes":" 30 "})"},
      {"delay", {"half"}, R"({"minutes":"half"})"},
      {"delay", {}, R"({"args":[]})"},
      {"delay", {"1", "2"}, R"({"args":["1","2"]})"},
      {"classify", {"abc234-2", "ci_run"}, R"({"id":"abc234-2","name":"ci_run"})"},
      {"classify", {"abc234-2"}, R"({"args":["abc234-2"]})"},
      {"retire", {"a b"}, R"({"names":"a b"})"},
      {"retire", {"a", "b"}, R"({"names":"a b"})"},
      {"retire", {}, R"({"args":[]})"},
      {"pause", {}, "{}"},
      {"pause", {"5"}, "{}"},
      {"status", {}, "{}"},
      {"extend", {"10"}, R"({"args":["10"]})"},
      {"Pause", {}, R"({"args":[]})"},
      {"x", {"say \"hi\""}, R"({"args":["say \"hi\""]})"},
  };
  for (const auto& c : cases) EXPECT_EQ(shell_command_body(c.op, c.words), c.body) << c.op;
}

}  // namespace
}  // namespace kelvo::sim
