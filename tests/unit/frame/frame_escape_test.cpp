#include "frame/frame_escape.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

// One level of decoding, <br> only in bodies: what a decoded escape spells is never decoded again.
TEST(Unescape, DecodesEachEscapeOfTheTextOnce) {
  struct Case {
    std::string text;
    std::string attribute;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"", "", ""},
      {"plain text", "plain text", "plain text"},
      {"a&lt;b&gt;c&quot;d&amp;e", "a<b>c\"d&e", "a<b>c\"d&e"},
      {"&amp;lt;", "&lt;", "&lt;"},
      {"&amp;amp;&amp;quot;", "&amp;&quot;", "&amp;&quot;"},
      {"&lt;br&gt;", "<br>", "<br>"},
      {"x<br>y<br><br>", "x<br>y<br><br>", "x\ny\n\n"},
      {"<b<br>r>", "<b<br>r>", "<b\nr>"},
      {"&&lt;;&", "&<;&", "&<;&"},
      {"&l&amp;t;&apos;&#38;&LT;", "&l&t;&apos;&#38;&LT;", "&l&t;&apos;&#38;&LT;"},
      {"&lt&gt;<br", "&lt><br", "&lt><br"},
      {"caf\xC3\xA9 &amp; \xE2\x9F\xB3", "caf\xC3\xA9 & \xE2\x9F\xB3",
       "caf\xC3\xA9 & \xE2\x9F\xB3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(unescape_attribute(c.text), c.attribute) << c.text;
    EXPECT_EQ(unescape_body(c.text), c.body) << c.text;
  }
}

}  // namespace
}  // namespace kelvo
