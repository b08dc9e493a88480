#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// Reads the owner state file's text. Keys may come in any order and unknown keys are ignored;
// `registry` and `acted_seq` may be missing and `acted_seq` may be null. Each class needs
// `count` and `last_classified_ms` as non-negative integers and `mean_secs` as a number. An
// array of the fields in order stands for an object: [registry, acted_seq], where missing
// trailing elements count as missing keys, and [count, mean_secs, last_classified_ms]. A key
// repeated within the top-level object or a class object, a bad class, trailing text or
// invalid UTF-8 gives no state; a class name repeated within `registry` is fine, the later wins.
std::optional<OwnerState> parse_state(std::string_view text);

// The file text: two-space indent, keys in the order above, classes by name, `acted_seq` as null
// when absent, no newline at the end. Fails only on a class name that isn't valid UTF-8.
Result<std::string> serialize_state(const OwnerState& state);

}  // namespace kelvo
