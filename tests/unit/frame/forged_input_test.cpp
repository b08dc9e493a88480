// Forged poll lines: genuine signed lines of every type, each changed in one byte, must be
// refused by every parser, except for the few changes that leave the MAC and the signed text as
// they were. Those are told apart by looking at the bytes, never by what the parsers answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/hex.hpp"
#include "frame/event_frame.hpp"
#include "frame/frame_mac.hpp"
#include "support/link_token.hpp"

namespace kelvo {
namespace {

using testing::kKey;
using testing::kLink;
constexpr std::size_t kMacDigits = 64;

// What every typed parser makes of one line.
struct Readings {
  std::optional<ActivityFrame> activity;
  std::optional<BoundaryFrame> boundary;
  std::optional<IoFrame> io;
  std::optional<ShellCommandFrame> command;

  bool operator==(const Readings&) const = default;

  std::vector<std::string> accepted_by() const {
    std::vector<std::string> types;
    if (activity) types.emplace_back("activity");
    if (boundary) types.emplace_back("boundary");
    if (io) types.emplace_back("io");
    if (command) types.emplace_back("shell_command");
    return types;
  }
};

Readings read_line(std::string_view line) {
  return {parse_activity_frame(line), parse_boundary_frame(line, kKey), parse_io_frame(line, kKey),
          parse_shell_command_frame(line, kKey)};
}

// A poll line as the host may send it: white space the line is trimmed of, the MAC, one space,
// the frame text (which may itself begin with a signed space), white space again.
struct Sample {
  std::string type;
  std::string lead;
  std::string frame;
  std::string trail;

  std::string line() const { return lead + *sign_frame(frame, kLink) + trail; }
  std::size_t mac_start() const { return lead.size(); }
  std::size_t trail_start() const { return lead.size() + kMacDigits + 1 + frame.size(); }
};

const std::vector<Sample>& samples() {
  static const std::vector<Sample> all = {
      {"boundary", "", R"(<EVENT type="boundary" kind="compact"></EVENT>)", ""},
      {"boundary", "", R"(<EVENT kind="a &amp; b" type="boundary">x&lt;y</EVENT>)", "\r"},
      {"io", "", R"(<EVENT type="io" kind="AGENT_OUTPUT">hello</EVENT>)", ""},
      {"io", "\t ",
       R"(<EVENT type="io" kind="AGENT_OUTPUT" seq="17" truncated="1">a&lt;b<br>c !!wait=5!!</EVENT>)",
       " \r"},
      {"io", "", R"(<EVENT type="io" kind="USER" seq=" 42 ">type=&quot;boundary&quot;</EVENT>)",
       ""},
      {"shell_command", "\u3000",
       R"(<EVENT type="shell_command" op="classify">{&quot;id&quot;:&quot;abc234-2&quot;,)"
       R"(&quot;name&quot;:&quot;ci_run&quot;}</EVENT>)",
       "\u2003\u00A0"},
      {"shell_command", "", R"(<EVENT type="shell_command" op="status" kind="x"></EVENT>)", ""},
      {"shell_command", "",
       R"( <EVENT type="shell_command" op="delay">{&quot;minutes&quot;:30}</EVENT>)", ""},
  };
  return all;
}

// The UTF-8 forms of the White_Space code points, spelt out apart from the trimmer's own table.
const std::vector<std::string_view>& white_space_forms() {
  static const std::vector<std::string_view> forms = {
      "\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u0085", "\u00A0", "\u1680",
      "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
      "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000",
  };
  return forms;
}

// UTF-8 is prefix-free, so matching one form after another decides the text.
bool all_white_space(std::string_view text) {
  while (!text.empty()) {
    const auto& forms = white_space_forms();
    const auto form = std::find_if(forms.begin(), forms.end(),
                                   [&](std::string_view f) { return text.starts_with(f); });
    if (form == forms.end()) return false;
    text.remove_prefix(form->size());
  }
  return true;
}

std::string with_byte(std::string text, std::size_t pos, char byte) {
  text[pos] = byte;
  return text;
}

// Whether the changed line still trims to the same MAC over the same signed text. Padding
// that stays white space is trimmed away; a MAC digit a-f may turn upper case, which decodes to
// the same byte. Every other change alters the MAC bytes or the signed text.
bool still_genuine(const Sample& sample, const std::string& line, std::size_t pos, char byte) {
  const std::string changed = with_byte(line, pos, byte);
  if (pos < sample.mac_start()) return all_white_space(changed.substr(0, sample.mac_start()));
  if (pos >= sample.trail_start()) return all_white_space(changed.substr(sample.trail_start()));
  const char old = line[pos];
  const bool mac_letter = pos < sample.mac_start() + kMacDigits && old >= 'a' && old <= 'f';
  return mac_letter && byte == old - 'a' + 'A';
}

std::string hex_byte(char byte) {
  std::string text = "0x";
  append_hex(text, static_cast<unsigned char>(byte));
  return text;
}

// Changes the byte at `pos` and checks the parsers: the original readings for a change that
// still carries the genuine signed message, nothing at all for a forgery.
class ForgeryCheck {
 public:
  void check(const Sample& sample, const std::string& line, std::size_t pos, char byte) {
    const bool genuine = still_genuine(sample, line, pos, byte);
    const Readings expected = genuine ? read_line(line) : Readings{};
    ++tried_;
    if (genuine) ++genuine_;
    if (read_line(with_byte(line, pos, byte)) == expected) return;
    ++wrong_;
    if (first_wrong_.empty()) {
      first_wrong_ = sample.frame + " byte " + std::to_string(pos) + " " + hex_byte(line[pos]) +
                     " -> " + hex_byte(byte) + (genuine ? " refused" : " accepted");
    }
  }

  int tried() const { return tried_; }
  int genuine() const { return genuine_; }
  int wrong() const { return wrong_; }
  const std::string& first_wrong() const { return first_wrong_; }

 private:
  int tried_ = 0;
  int genuine_ = 0;
  int wrong_ = 0;
  std::string first_wrong_;
};

struct Span {
  std::size_t begin;
  std::size_t end;
};

// Random changes in the span of each sample's line; plain modulo keeps the sequence the same on
// every standard library, unlike the distributions.
template <typename SpanOf>
ForgeryCheck change_randomly(SpanOf span_of, int per_sample, std::uint32_t seed) {
  std::mt19937 random(seed);
  ForgeryCheck forgery;
  for (const Sample& sample : samples()) {
    const std::string line = sample.line();
    const Span span = span_of(sample);
    for (int i = 0; i < per_sample; ++i) {
      const std::size_t pos = span.begin + random() % (span.end - span.begin);
      const auto old = static_cast<unsigned char>(line[pos]);
      const auto byte = static_cast<char>((old + 1 + random() % 255) % 256);
      forgery.check(sample, line, pos, byte);
    }
  }
  return forgery;
}

TEST(ForgedInput, EveryGenuineLineIsReadByItsOwnParserAlone) {
  for (const Sample& sample : samples()) {
    EXPECT_EQ(read_line(sample.line()).accepted_by(), std::vector<std::string>{sample.type})
        << sample.frame;
  }
  const std::string activity =
      R"(<EVENT type="activity" state="idle" since="1700000000000"></EVENT>)";
  EXPECT_EQ(read_line(activity).accepted_by(), std::vector<std::string>{"activity"});
  // Signed, an activity frame is nobody's: the envelope hides it from the unsigned parser and
  // no signed parser takes its type.
  EXPECT_EQ(read_line(*sign_frame(activity, kLink)), Readings{});
}

TEST(ForgedInput, NoChangedMacDigitIsAcceptedButAnUpperCaseLetter) {
  const auto forgery = change_randomly(
      [](const Sample& s) {
        return Span{s.mac_start(), s.mac_start() + kMacDigits};
      },
      1500, 1);
  EXPECT_EQ(forgery.wrong(), 0) << forgery.first_wrong();
  // The case exception is really met, so the check above had something to tell apart.
  EXPECT_GT(forgery.genuine(), 0);
  EXPECT_LT(forgery.genuine(), forgery.tried() / 100);
}

TEST(ForgedInput, NoChangedFrameByteIsAccepted) {
  // From the space after the MAC to the end of the line, trailing padding included.
  const auto forgery = change_randomly(
      [](const Sample& s) {
        return Span{s.mac_start() + kMacDigits, s.line().size()};
      },
      1500, 2);
  EXPECT_EQ(forgery.wrong(), 0) << forgery.first_wrong();
  EXPECT_LT(forgery.genuine(), forgery.tried() / 100);
}

TEST(ForgedInput, PaddingMayChangeOnlyIntoOtherWhiteSpace) {
  ForgeryCheck forgery;
  for (const Sample& sample : samples()) {
    const std::string line = sample.line();
    for (std::size_t pos = 0; pos < line.size(); ++pos) {
      if (pos >= sample.mac_start() && pos < sample.trail_start()) continue;
      for (int value = 0; value < 256; ++value) {
        if (static_cast<char>(value) != line[pos])
          forgery.check(sample, line, pos, static_cast<char>(value));
      }
    }
  }
  EXPECT_EQ(forgery.wrong(), 0) << forgery.first_wrong();
  // Among them: a tab for a space, NBSP's last byte making NEL, EM SPACE's making THIN SPACE.
  EXPECT_GT(forgery.genuine(), 0);
}

TEST(ForgedInput, AnotherLinksMacOrAnotherFramesMacIsRefused) {
  const std::vector<std::string> other_links = {"link-token-2", "link-token-1 ", "Link-token-1",
                                                "link-token-", ""};
  for (const Sample& sample : samples()) {
    for (const std::string& link : other_links) {
      EXPECT_EQ(read_line(sample.lead + *sign_frame(sample.frame, link) + sample.trail), Readings{})
          << sample.frame << " under '" << link << "'";
    }
    for (const Sample& other : samples()) {
      if (other.frame == sample.frame) continue;
      const std::string spliced =
          (*sign_frame(other.frame, kLink)).substr(0, kMacDigits + 1) + sample.frame;
      EXPECT_EQ(read_line(spliced), Readings{}) << sample.frame;
    }
  }
}

}  // namespace
}  // namespace kelvo
