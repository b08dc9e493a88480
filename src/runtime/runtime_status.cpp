#include "runtime/runtime_status.hpp"

#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/owner_stem.hpp"
#include "common/strict_json.hpp"
#include "runtime/runtime_status_json.hpp"

namespace kelvo {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

ordered_json time_or_null(const std::optional<WallTime>& time) {
  return time ? ordered_json(epoch_ms(*time)) : ordered_json(nullptr);
}

ordered_json text_or_null(const std::optional<std::string>& text) {
  return text ? ordered_json(*text) : ordered_json(nullptr);
}

ordered_json encode_host(const RuntimeHost& host) {
  ordered_json object = ordered_json::object();
  object["ok"] = host.ok;
  object["failing_since_ms"] = time_or_null(host.failing_since);
  object["last_failure"] = text_or_null(host.last_failure);
  return object;
}

ordered_json encode_board(const std::optional<RuntimeBoard>& board) {
  if (!board) return nullptr;
  ordered_json object = ordered_json::object();
  object["id"] = board->id;
  object["checkpoints"] = board->checkpoints;
  return object;
}

ordered_json encode_end(const std::optional<RuntimeEnd>& end) {
  if (!end) return nullptr;
  ordered_json object = ordered_json::object();
  object["reason"] = end->reason;
  if (end->cause) object["cause"] = *end->cause;
  object["exit_code"] = end->exit_code;
  object["at_ms"] = epoch_ms(end->at);
  return object;
}

ordered_json encode_hook(const RuntimeHook& hook) {
  ordered_json object = ordered_json::object();
  object["failures"] = hook.failures;
  object["last_failure"] = text_or_null(hook.last_failure);
  return object;
}

// Reads the known keys of one object, keeping the first reason the object is unreadable; after
// a failure every read gives a default value, so a decoder reads on and reports only at the end.
class Fields {
 public:
  Fields(const json& object, std::string prefix) : object_(object), prefix_(std::move(prefix)) {}

  const std::optional<Failure>& failure() const { return failure_; }

  std::string text(std::string_view key) { return required(key, &Fields::as_text); }
  std::uint64_t u64(std::string_view key) { return required(key, &Fields::as_u64); }
  WallTime time(std::string_view key) { return at_epoch_ms(u64(key)); }
  bool boolean(std::string_view key) { return required(key, &Fields::as_bool); }
  std::int64_t i64(std::string_view key) { return required(key, &Fields::as_i64); }

  std::optional<std::string> optional_text(std::string_view key) {
    return optional(key, &Fields::as_text);
  }
  std::optional<WallTime> optional_time(std::string_view key) {
    const auto ms = optional(key, &Fields::as_u64);
    return ms ? std::optional(at_epoch_ms(*ms)) : std::nullopt;
  }
  // The object at `key`, or nothing when it is absent or null (or the object unreadable).
  const json* optional_object(std::string_view key) {
    const json* value = find(key);
    if (value == nullptr || value->is_null()) return nullptr;
    if (!value->is_object()) fail(key, "not an object");
    return failure_ ? nullptr : value;
  }
  const json& object(std::string_view key) {
    static const json kEmpty = json::object();
    const json* value = find(key);
    if (value == nullptr) fail(key, "missing");
    if (value != nullptr && !value->is_object()) fail(key, "not an object");
    return failure_ ? kEmpty : *value;
  }

  void fail(std::string_view key, std::string_view why) {
    if (!failure_) failure_ = Failure{prefix_ + std::string(key) + ": " + std::string(why)};
  }
  // Carries the failure of a nested object up into this one.
  void absorb(const Fields& nested) {
    if (!failure_ && nested.failure_) failure_ = nested.failure_;
  }

 private:
  template <class T>
  using Reader = std::optional<T> (*)(const json&);

  const json* find(std::string_view key) const {
    const auto found = object_.find(key);
    return found == object_.end() ? nullptr : &*found;
  }

  template <class T>
  T required(std::string_view key, Reader<T> read) {
    const json* value = find(key);
    if (value == nullptr) {
      fail(key, "missing");
      return T{};
    }
    auto read_value = read(*value);
    if (!read_value) {
      fail(key, "wrong type");
      return T{};
    }
    return failure_ ? T{} : std::move(*read_value);
  }

  template <class T>
  std::optional<T> optional(std::string_view key, Reader<T> read) {
    const json* value = find(key);
    if (value == nullptr || value->is_null()) return std::nullopt;
    auto read_value = read(*value);
    if (!read_value) fail(key, "wrong type");
    return failure_ ? std::nullopt : std::move(read_value);
  }

  static std::optional<std::string> as_text(const json& value) {
    if (!value.is_string()) return std::nullopt;
    return value.get<std::string>();
  }
  // Whole numbers not below zero, written without a fraction or exponent ("-0" is zero).
  static std::optional<std::uint64_t> as_u64(const json& value) {
    if (value.is_number_unsigned()) return value.get<std::uint64_t>();
    if (value.is_number_integer() && value.get<std::int64_t>() == 0) return 0;
    return std::nullopt;
  }
  static std::optional<std::int64_t> as_i64(const json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
      return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    return std::nullopt;
  }
  static std::optional<bool> as_bool(const json& value) {
    if (!value.is_boolean()) return std::nullopt;
    return value.get<bool>();
  }

  const json& object_;
  std::string prefix_;
  std::optional<Failure> failure_;
};

}  // namespace

ordered_json runtime_status_json(const RuntimeStatus& status) {
  ordered_json document = ordered_json::object();
  document["version"] = status.version;
  document["pid"] = status.pid;
  document["owner"] = status.owner;
  document["shell_id"] = text_or_null(status.shell_id);
  document["started_ms"] = epoch_ms(status.started);
  document["updated_ms"] = epoch_ms(status.updated);
  document["activity"] = !status.activity                     ? ordered_json(nullptr)
                         : *status.activity == Activity::Busy ? ordered_json("busy")
                                                              : ordered_json("idle");
  document["since_ms"] = time_or_null(status.since);
  document["pacing"] = std::string(pacing_name(status.pacing));
  document["next_nudge_ms"] = time_or_null(status.next_nudge);
  document["nudges"] = status.nudges;
  document["nudges_total"] = status.nudges_total;
  document["host"] = encode_host(status.host);
  document["board"] = encode_board(status.board);
  document["classes"] = status.classes;
  if (status.hook) document["hook"] = encode_hook(*status.hook);
  document["ended"] = encode_end(status.ended);
  return document;
}

std::string encode_runtime_status(const RuntimeStatus& status) {
  return runtime_status_json(status).dump(2, ' ', false, ordered_json::error_handler_t::replace) +
         "\n";
}

Result<RuntimeStatus> decode_runtime_status(std::string_view text) {
  const auto document = parse_strict_json(text);
  if (!document) return Failure{"not JSON, or a key given twice"};
  if (!document->is_object()) return Failure{"not a JSON object"};

  Fields fields(*document, "");
  RuntimeStatus status;
  status.version = fields.text("version");
  const std::uint64_t pid = fields.u64("pid");
  if (!fields.failure() &&
      (pid == 0 || pid > std::uint64_t{std::numeric_limits<std::int32_t>::max()})) {
    fields.fail("pid", "not a process id");
  }
  status.pid = static_cast<std::int32_t>(pid);
  status.owner = fields.text("owner");
  status.shell_id = fields.optional_text("shell_id");
  status.started = fields.time("started_ms");
  status.updated = fields.time("updated_ms");
  if (const auto activity = fields.optional_text("activity")) {
    if (*activity == "busy") {
      status.activity = Activity::Busy;
    } else if (*activity == "idle") {
      status.activity = Activity::Idle;
    } else {
      fields.fail("activity", "neither busy nor idle");
    }
  }
  status.since = fields.optional_time("since_ms");
  const std::string pacing = fields.text("pacing");
  if (const auto known = pacing_named(pacing)) {
    status.pacing = *known;
  } else if (!fields.failure()) {
    fields.fail("pacing", "unknown");
  }
  status.next_nudge = fields.optional_time("next_nudge_ms");
  status.nudges = fields.u64("nudges");
  status.nudges_total = fields.u64("nudges_total");

  Fields host(fields.object("host"), "host.");
  status.host.ok = host.boolean("ok");
  status.host.failing_since = host.optional_time("failing_since_ms");
  status.host.last_failure = host.optional_text("last_failure");
  fields.absorb(host);

  if (const json* board_object = fields.optional_object("board")) {
    Fields board(*board_object, "board.");
    status.board = RuntimeBoard{board.text("id"), board.u64("checkpoints")};
    fields.absorb(board);
  }
  status.classes = fields.u64("classes");
  if (const json* hook_object = fields.optional_object("hook")) {
    Fields hook(*hook_object, "hook.");
    status.hook = RuntimeHook{hook.u64("failures"), hook.optional_text("last_failure")};
    fields.absorb(hook);
  }
  if (const json* end_object = fields.optional_object("ended")) {
    Fields end(*end_object, "ended.");
    status.ended = RuntimeEnd{end.text("reason"), end.i64("exit_code"), end.time("at_ms"),
                              end.optional_text("cause")};
    fields.absorb(end);
  }

  if (fields.failure()) return *fields.failure();
  return status;
}

bool runtime_status_due(const RuntimeStatus* written, const RuntimeStatus& current) {
  if (written == nullptr) return true;
  // A clock set back must not hold the heartbeat off until it catches up again.
  if (current.updated < written->updated) return true;
  if (elapsed_between(written->updated, current.updated) >= kRuntimeHeartbeat) return true;
  // Readers judge the host failing by `updated`: write when that judgement turns.
  if (host_failing(current) != host_failing(*written)) return true;
  RuntimeStatus same_moment = *written;
  same_moment.updated = current.updated;
  return !(same_moment == current);
}

bool host_failing(const RuntimeStatus& status) {
  const auto& since = status.host.failing_since;
  return !status.host.ok && since && status.updated >= *since &&
         status.updated - *since >= kHostFailingAfter;
}

std::filesystem::path runtime_status_path(const std::filesystem::path& dir,
                                          std::string_view owner) {
  return dir / (owner_file_stem(owner) + ".json");
}

bool is_runtime_status_file_name(std::string_view name) { return name.ends_with(".json"); }

}  // namespace kelvo
