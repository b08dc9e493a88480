#include "cycle/session_codec.hpp"

#include <nlohmann/json.hpp>

#include "common/hex.hpp"
#include "common/strict_json.hpp"

namespace kelvo {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::string_view kFingerprintLabel = "kelvo-shell session fingerprint";
// Far more than the shell writes: a board id is 6 characters, a failure text a line.
constexpr std::size_t kMaxText = 64 * 1024;

ordered_json time_or_null(const std::optional<WallTime>& time) {
  return time ? ordered_json(epoch_ms(*time)) : ordered_json(nullptr);
}

ordered_json encode_machine(const PacingMachine& machine) {
  ordered_json out;
  out["latch"] = machine.latch == Latch::Raised ? "raised" : "lowered";
  out["activity"] = machine.activity == Activity::Busy ? "busy" : "idle";
  out["timer_ms"] = time_or_null(machine.timer);
  out["idle_since_ms"] = time_or_null(machine.idle_since);
  out["held_delay"] = machine.held_delay ? ordered_json(*machine.held_delay) : nullptr;
  out["backoff_step"] = machine.backoff_step;
  out["delay_armed"] = machine.delay_armed;
  return out;
}

ordered_json encode_board(const StretchBoard& board) {
  ordered_json checkpoints = ordered_json::array();
  for (const Checkpoint& checkpoint : board.checkpoints) {
    checkpoints.push_back({{"sub", checkpoint.sub}, {"marked_ms", epoch_ms(checkpoint.marked_at)}});
  }
  ordered_json out;
  out["id"] = board.id;
  out["checkpoints"] = std::move(checkpoints);
  out["next_sub"] = board.next_sub ? ordered_json(*board.next_sub) : nullptr;
  out["last_resume_ms"] = time_or_null(board.last_resume);
  return out;
}

ordered_json encode_attention(const Attention& attention) {
  ordered_json out;
  if (const auto& blocked = attention.blocked) {
    out["blocked"] = {{"since_ms", epoch_ms(blocked->since)},
                      {"detail", blocked->detail},
                      {"last_told_ms", epoch_ms(blocked->last_told)},
                      {"reminders", blocked->reminders},
                      {"told", blocked->told}};
  } else {
    out["blocked"] = nullptr;
  }
  out["stretch_nudges"] = attention.stretch_nudges;
  out["unanswered_nudges"] = attention.unanswered_nudges;
  out["unresponsive"] = attention.unresponsive;
  out["total_nudges"] = attention.total_nudges;
  out["awaiting_resume"] = attention.awaiting_resume;
  return out;
}

ordered_json encode_host(const HostHealth& health) {
  ordered_json out;
  out["failing_since_ms"] = time_or_null(health.failing_since);
  out["last_failure"] = health.last_failure;
  out["last_reported_ms"] = time_or_null(health.reported.last);
  return out;
}

// Typed reads that throw on anything the encoder would not have written; decode_session turns
// every throw into "no session".
struct Unreadable {};

const json& field(const json& object, const char* name) {
  if (!object.is_object()) throw Unreadable{};
  const auto found = object.find(name);
  if (found == object.end()) throw Unreadable{};
  return *found;
}

std::uint64_t u64(const json& object, const char* name, std::uint64_t max = UINT64_MAX) {
  const json& value = field(object, name);
  if (!value.is_number_unsigned() || value.get<std::uint64_t>() > max) throw Unreadable{};
  return value.get<std::uint64_t>();
}

bool boolean(const json& object, const char* name) {
  const json& value = field(object, name);
  if (!value.is_boolean()) throw Unreadable{};
  return value.get<bool>();
}

std::string text(const json& object, const char* name) {
  const json& value = field(object, name);
  if (!value.is_string() || value.get_ref<const std::string&>().size() > kMaxText) {
    throw Unreadable{};
  }
  return value.get<std::string>();
}

template <typename Read>
auto optional_of(const json& object, const char* name, Read read)
    -> std::optional<decltype(read(object, name))> {
  if (field(object, name).is_null()) return std::nullopt;
  return read(object, name);
}

WallTime time(const json& object, const char* name) { return at_epoch_ms(u64(object, name)); }

std::uint32_t u32(const json& object, const char* name) {
  return static_cast<std::uint32_t>(u64(object, name, UINT32_MAX));
}

// One of two words, `first` giving true.
bool word(const json& object, const char* name, std::string_view first, std::string_view second) {
  const std::string value = text(object, name);
  if (value != first && value != second) throw Unreadable{};
  return value == first;
}

PacingMachine decode_machine(const json& in) {
  PacingMachine machine;
  machine.latch = word(in, "latch", "raised", "lowered") ? Latch::Raised : Latch::Lowered;
  machine.activity = word(in, "activity", "busy", "idle") ? Activity::Busy : Activity::Idle;
  machine.timer = optional_of(in, "timer_ms", time);
  machine.idle_since = optional_of(in, "idle_since_ms", time);
  machine.held_delay = optional_of(in, "held_delay", u32);
  machine.backoff_step = u64(in, "backoff_step", BACKOFF_MS.size() - 1);
  machine.delay_armed = boolean(in, "delay_armed");
  const bool idle = machine.activity == Activity::Idle;
  if (idle != machine.idle_since.has_value()) throw Unreadable{};
  if (machine.held_delay && (*machine.held_delay < 1 || *machine.held_delay > 120)) {
    throw Unreadable{};
  }
  return machine;
}

StretchBoard decode_board(const json& in) {
  StretchBoard board(text(in, "id"), WallTime{});
  if (board.id.empty()) throw Unreadable{};
  const json& checkpoints = field(in, "checkpoints");
  if (!checkpoints.is_array() || checkpoints.empty() || checkpoints.size() > MAX_CHECKPOINTS) {
    throw Unreadable{};
  }
  board.checkpoints.clear();
  for (const json& checkpoint : checkpoints) {
    const std::uint32_t sub = u32(checkpoint, "sub");
    if (!board.checkpoints.empty() && sub <= board.checkpoints.back().sub) throw Unreadable{};
    board.checkpoints.push_back(Checkpoint{time(checkpoint, "marked_ms"), sub});
  }
  board.next_sub = optional_of(in, "next_sub", u32);
  if (board.next_sub && *board.next_sub <= board.checkpoints.back().sub) throw Unreadable{};
  board.last_resume = optional_of(in, "last_resume_ms", time);
  return board;
}

ActivityTracker decode_activity(const json& in) {
  if (in.is_null()) return {};
  return ActivityTracker{
      ActivityEdge{word(in, "activity", "busy", "idle") ? Activity::Busy : Activity::Idle,
                   time(in, "since_ms")}};
}

Attention decode_attention(const json& in) {
  Attention attention;
  if (const json& blocked = field(in, "blocked"); !blocked.is_null()) {
    attention.blocked = Attention::Blocked{time(blocked, "since_ms"), text(blocked, "detail"),
                                           time(blocked, "last_told_ms"), u32(blocked, "reminders"),
                                           boolean(blocked, "told")};
  }
  attention.stretch_nudges = u32(in, "stretch_nudges");
  attention.unanswered_nudges = u32(in, "unanswered_nudges");
  attention.unresponsive = boolean(in, "unresponsive");
  attention.total_nudges = u64(in, "total_nudges");
  attention.awaiting_resume = boolean(in, "awaiting_resume");
  return attention;
}

HostHealth decode_host(const json& in) {
  return HostHealth{optional_of(in, "failing_since_ms", time), text(in, "last_failure"),
                    ReportThrottle{optional_of(in, "last_reported_ms", time)}};
}

}  // namespace

std::string link_fingerprint(const FrameKey& key) {
  std::string hex;
  if (const auto mac = key.mac(kFingerprintLabel)) {
    for (const unsigned char byte : *mac) append_hex(hex, byte);
  }
  return hex;
}

std::string encode_session(const SessionRecord& record) {
  const Session& session = record.session;
  ordered_json out;
  out["format"] = SESSION_FORMAT;
  out["owner"] = record.owner;
  out["shell_id"] = record.shell_id ? ordered_json(*record.shell_id) : nullptr;
  out["link"] = record.link_fingerprint;
  out["saved_ms"] = epoch_ms(record.saved);
  out["machine"] = encode_machine(session.machine);
  out["board"] = encode_board(session.board);
  if (const auto& last = session.activity.last) {
    out["activity"] = {{"activity", last->activity == Activity::Busy ? "busy" : "idle"},
                       {"since_ms", epoch_ms(last->since)}};
  } else {
    out["activity"] = nullptr;
  }
  out["attention"] = encode_attention(session.attention);
  out["host"] = encode_host(session.host_health);
  out["stretch_ids_drawn"] = session.stretch_ids.drawn;
  return out.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::optional<SessionRecord> decode_session(std::string_view text_in) {
  const auto document = parse_strict_json(text_in);
  if (!document || !document->is_object()) return std::nullopt;
  try {
    const json& in = *document;
    if (u64(in, "format") != SESSION_FORMAT) return std::nullopt;
    SessionRecord record;
    record.owner = text(in, "owner");
    record.shell_id = optional_of(in, "shell_id", text);
    record.link_fingerprint = text(in, "link");
    record.saved = time(in, "saved_ms");
    Session& session = record.session;
    session.machine = decode_machine(field(in, "machine"));
    session.board = decode_board(field(in, "board"));
    session.activity = decode_activity(field(in, "activity"));
    session.attention = decode_attention(field(in, "attention"));
    session.host_health = decode_host(field(in, "host"));
    session.stretch_ids.drawn = u64(in, "stretch_ids_drawn");
    return record;
  } catch (const Unreadable&) {
    return std::nullopt;
  }
}

}  // namespace kelvo
