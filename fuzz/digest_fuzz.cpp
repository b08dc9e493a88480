// Decodes arbitrary bytes as a digest and checks what a decoded digest promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "common/strict_json.hpp"
#include "common/utf8.hpp"
#include "digest/digest.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void check_digest(const kelvo::Digest& digest) {
  for (const kelvo::Turn& turn : digest.turns) {
    for (const kelvo::AgentEntry& agent : turn.agent_entries) {
      require(kelvo::is_valid_utf8(agent.text));
      // The lookup finds some text for every number that is present.
      if (agent.seq) require(kelvo::find_agent_text(digest, *agent.seq).has_value());
    }
  }
}

// Keeping the later of two repeated keys must give what the library's own parser gives, and a
// text without repeats must parse the same under every policy.
void check_strict_parse(std::string_view text) {
  const auto keep_last =
      kelvo::parse_strict_json(text, [](std::size_t) { return kelvo::OnDuplicateKey::KeepLast; });
  const auto strict = kelvo::parse_strict_json(text);
  if (strict) require(keep_last && *strict == *keep_last);
  if (keep_last) {
    const auto library = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    require(!library.is_discarded() && library == *keep_last);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto result = kelvo::decode_digest(text);
  if (result) check_digest(*result);
  check_strict_parse(text);
  return 0;
}
