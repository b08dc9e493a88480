#include "digest/inline_code.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kelvo {

// Readable failure messages for code lists.
void PrintTo(const InlineCode& code, std::ostream* out) {
  if (const auto* classify = std::get_if<ClassifyCode>(&code)) {
    *out << "classify " << classify->designator.id << "-" << classify->designator.sub << ":"
         << classify->class_name;
  } else if (const auto* wait = std::get_if<WaitCode>(&code)) {
    *out << "wait " << wait->minutes;
  } else {
    *out << "done";
  }
}

namespace {

InlineCode classify(const std::string& id, std::uint32_t sub, const std::string& name) {
  return ClassifyCode{Designator{id, sub}, name};
}

struct MaskCase {
  std::string text;
  std::string masked;
};

TEST(MaskCodeRegions, BlanksEachCharacterOfCodeToOneSpace) {
  const std::vector<MaskCase> cases = {
      {"", ""},
      {"plain !!done!!\n", "plain !!done!!\n"},
      {"a `b` c", "a     c"},
      {"a `\xC3\xA9` c", "a     c"},                         // é is one character
      {"`\xFF\xFE` \xFF", "     \xFF"},                      // ill-formed bytes: one each
      {"`\xE2\x82` x", "    x"},                             // truncated sequence: one character
      {"a `open\nb `x` c", "a      \nb     c"},              // open span ends with its line
      {"``x", "  x"},                                        // two backticks: empty span
      {"a ```b", "a     "},                                  // mid-line backticks are inline
      {"x\n```py\ncode\n```\ny", "x\n     \n    \n   \ny"},  // fence lines blanked too
      {"  ```sh\n!!done!!\n  ```\nz", "       \n        \n     \nz"},
      {"\t```\na\n```", "    \n \n   "},
      {"\xE3\x80\x80```\na\n```", "    \n \n   "},  // U+3000 is white space
      {"```\nstill\nopen", "   \n     \n    "},
      {"```\r\nx\r\n```\r\n", "    \n  \n    \n"},
      {"```\n`a`\n```\n`b` c", "   \n   \n   \n    c"},
  };
  for (const MaskCase& c : cases) EXPECT_EQ(mask_code_regions(c.text), c.masked) << c.text;
}

TEST(MaskCodeRegions, NotAFenceWhenSomethingPrecedesTheBackticks) {
  EXPECT_EQ(mask_code_regions("x ```\n!!done!!\n"), "x    \n!!done!!\n");
  EXPECT_EQ(mask_code_regions("> ```\n!!done!!"), ">    \n!!done!!");
}

struct ScanCase {
  std::string text;
  std::vector<InlineCode> codes;
};

void expect_scans(const std::vector<ScanCase>& cases) {
  for (const ScanCase& c : cases) EXPECT_EQ(scan_inline_codes(c.text), c.codes) << c.text;
}

TEST(ScanInlineCodes, Verdicts) {
  expect_scans({
      {"", {}},
      {"no markers here", {}},
      {"!!done!!", {DoneCode{}}},
      {"!!DONE!!", {}},
      {"!! done !!", {}},
      {"!!done !!", {}},
      {"!!wait=15!!", {WaitCode{15}}},
      {"!!wait=0!!", {WaitCode{0}}},
      {"!!wait=+5!!", {WaitCode{5}}},
      {"!!wait=007!!", {WaitCode{7}}},
      {"!!wait=4294967295!!", {WaitCode{4294967295u}}},
      {"!!wait=!!", {}},
      {"!!wait= 5!!", {}},
      {"!!wait=5 !!", {}},
      {"!!wait=++5!!", {}},
      {"!!wait=-1!!", {}},
      {"!!wait=4294967296!!", {}},
      {"!!Wait=5!!", {}},
      // The last valid verdict wins; a later invalid one doesn't clear it.
      {"!!wait=15!! later !!done!!", {DoneCode{}}},
      {"!!done!! later !!wait=15!!", {WaitCode{15}}},
      {"!!wait=15!! !!wait=x!!", {WaitCode{15}}},
      {"!!wait=5!! !!wait=7!!", {WaitCode{7}}},
      {"!!done!! !!done!!", {DoneCode{}}},
  });
}

TEST(ScanInlineCodes, Classify) {
  expect_scans({
      {"!!classify=abc234-2:ci_run!!", {classify("abc234", 2, "ci_run")}},
      {"!!classify=abc-234-2:x!!", {classify("abc-234", 2, "x")}},
      {"!!classify=abc234-007:a_1!!", {classify("abc234", 7, "a_1")}},
      {"!!classify=abc234-2:" + std::string(32, 'a') + "!!",
       {classify("abc234", 2, std::string(32, 'a'))}},
      {"!!classify=abc234-2:CI_run!!", {}},
      {"!!classify=abc234-2:" + std::string(33, 'a') + "!!", {}},
      {"!!classify=abc234-2:ci run!!", {}},
      {"!!classify=abc234-2:!!", {}},
      {"!!classify=abc234-2!!", {}},
      {"!!classify=abc234-:x!!", {}},
      {"!!classify=-2:x!!", {}},
      {"!!classify=abc234-2a:x!!", {}},
      {"!!classify= abc234-2:x!!", {classify(" abc234", 2, "x")}},  // nothing is trimmed
      {"!!classify=abc234-2: x!!", {}},
      {"!!classify=a:b-1:x!!", {}},  // split at the first colon
      {"!!classify=a-1:b:c!!", {}},
      {"!!Classify=a-1:x!!", {}},
      // Classify codes come first, in text order, whatever the order in the text.
      {"!!done!! !!classify=a-1:x!! then !!classify=b-2:y!!",
       {classify("a", 1, "x"), classify("b", 2, "y"), DoneCode{}}},
      {"!!classify=b-2:y!! !!wait=3!! !!classify=a-1:x!!",
       {classify("b", 2, "y"), classify("a", 1, "x"), WaitCode{3}}},
      {"!!classify=a-1:x!! !!classify=a-1:x!!", {classify("a", 1, "x"), classify("a", 1, "x")}},
  });
}

TEST(ScanInlineCodes, PairingWalk) {
  expect_scans({
      {"x !! y !!done!!", {}},
      {"!!!done!!", {}},
      {"!!done!!!", {DoneCode{}}},
      {"!!done!!!!wait=5!!", {WaitCode{5}}},
      {"!!a!!done!!", {}},
      {"!!done\n!!", {}},
      {"!!wait=5!!!!", {WaitCode{5}}},
  });
}

TEST(ScanInlineCodes, CodeRegionsHideCodes) {
  expect_scans({
      {"`!!done!!`", {}},
      {"```\n!!done!!\n```", {}},
      {"```\n```\n!!done!!", {DoneCode{}}},
      {"text\n```\n!!done!!\nnever closed", {}},
      {"    ```text\n!!done!!\n    ```", {}},
      {"!!done!! `!!wait=5!!`", {DoneCode{}}},
      {"`open\n!!done!!", {DoneCode{}}},
      {"```\n!!classify=a-1:x!!\n```\n!!classify=b-2:y!!", {classify("b", 2, "y")}},
      // A hidden marker changes the pairing of those that remain.
      {"`!!` !!done!!", {DoneCode{}}},
      {"!!done`!!`", {}},
      {"`\xC3\xA9`!!done!!", {DoneCode{}}},
  });
}

TEST(ScanVerdictCode, NothingWithoutAVerdict) {
  EXPECT_EQ(scan_verdict_code("!!classify=a-1:x!! !!wait=x!!"), std::nullopt);
  EXPECT_EQ(scan_classify_codes("!!done!! !!wait=5!!"), std::vector<ClassifyCode>{});
}

}  // namespace
}  // namespace kelvo
