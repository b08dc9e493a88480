#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qrn-sim/state.hpp"

namespace kelvo::sim {

// A poll prints one frame a line, so a raw line break in an attribute value or an emitted line
// would tear a frame in two; SimError naming `what` when `text` holds one.
void require_one_line(std::string_view text, std::string_view what);

// <EVENT type="activity" state="idle|busy" since="…"></EVENT>
std::string activity_frame(bool idle, std::uint64_t since);

// <EVENT type="io" kind="AGENT_OUTPUT" seq="…"[ truncated="1"]>escaped text</EVENT>
std::string agent_output_frame(std::string_view text, std::uint64_t seq, bool truncated);

// <EVENT type="boundary" kind="…"></EVENT>
std::string boundary_frame(std::string_view kind);

// <EVENT type="shell_command" op="…">escaped JSON</EVENT>
std::string shell_command_frame(std::string_view op, std::string_view json_body);

// The longest prefix of at most `max_bytes` bytes that doesn't end inside a UTF-8 character.
std::string_view utf8_prefix(std::string_view text, std::size_t max_bytes);

// The poll line of a queued frame on `link`: "<mac> <frame>", the bare frame, or a signed
// line whose MAC has one digit changed.
std::string poll_line(const QueuedFrame& frame, std::string_view link);

}  // namespace kelvo::sim
