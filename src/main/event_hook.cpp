#include "main/event_hook.hpp"

#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "common/clock.hpp"
#include "common/duration.hpp"
#include "common/text.hpp"
#include "common/utf8.hpp"

namespace kelvo {
namespace {

// Enough of a hook's standard error for its first line; the rest is read and dropped, so a
// chatty hook never blocks on a full pipe.
constexpr std::size_t kErrKept = 4096;

// Steady-clock arithmetic wants a signed span: an unsigned one turns a deadline passed into a
// time far ahead.
std::chrono::milliseconds signed_span(Millis span) {
  return std::chrono::milliseconds(
      static_cast<std::int64_t>(std::min<std::uint64_t>(span.count(), INT64_MAX / 1'000'000)));
}

// What a failed hook said, for its failure line.
std::string stderr_piece(const std::string& err) {
  const std::string line = first_error_line(err);
  if (line.empty()) return "";
  return "; stderr \"" + escape_controls(cut_at_character(line, CHILD_ERROR_TEXT_MAX), "\"") + "\"";
}

}  // namespace

std::string machine_name() {
  std::array<char, HOST_NAME_MAX + 1> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::unique_ptr<EventHook> make_event_hook(const std::optional<std::string>& program) {
  if (!program) return std::make_unique<NoEventHook>();
  return std::make_unique<ProcessEventHook>(*program);
}

ProcessEventHook::ProcessEventHook(std::string program, EventHookLimits limits)
    : program_(std::move(program)),
      limits_(limits),
      host_(machine_name()),
      last_now_(wall_now()),
      last_now_steady_(Steady::now()) {}

ProcessEventHook::~ProcessEventHook() {
  if (!running_) return;
  signal_child_group(running_->child.pid, SIGKILL);
  (void)wait_for_child(running_->child.pid, true);
}

void ProcessEventHook::tell(ShellEvent event) {
  if (limits_.queue == 0) {
    ++dropped_;
    return;
  }
  if (queue_.size() >= limits_.queue) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back(std::move(event));
}

std::vector<std::string> ProcessEventHook::service(WallTime now) {
  last_now_ = now;
  last_now_steady_ = Steady::now();
  std::vector<std::string> lines;
  step(now, lines);
  return lines;
}

std::vector<std::string> ProcessEventHook::drain(Millis at_most) {
  const auto deadline = Steady::now() + signed_span(at_most);
  std::vector<std::string> lines;
  for (;;) {
    step(now_for_drain(), lines);
    if (!running_ || Steady::now() >= deadline) break;
    // Wakes on the hook's output or end of output, else looks again shortly.
    pollfd fd{running_->child.error.get(), POLLIN, 0};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now());
    (void)::poll(&fd, 1, static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 20)));
  }
  if (running_) {
    const ShellEventKind kind = running_->kind;
    signal_child_group(running_->child.pid, SIGKILL);
    (void)wait_for_child(running_->child.pid, true);
    std::string why = "still running when the shell ended";
    if (!queue_.empty()) why += "; " + std::to_string(queue_.size()) + " later event(s) not told";
    why += stderr_piece(running_->err);
    running_.reset();
    queue_.clear();
    fail(now_for_drain(), kind, why, lines);
  }
  return lines;
}

void ProcessEventHook::step(WallTime now, std::vector<std::string>& lines) {
  if (running_) {
    pump_piped_child(running_->child, running_->input, running_->err, kErrKept);
    if (child_has_ended(running_->child.pid)) {
      finish(now, lines);
    } else {
      enforce_time_limit();
    }
  }
  while (!running_ && !queue_.empty()) start_next(now, lines);
}

void ProcessEventHook::start_next(WallTime now, std::vector<std::string>& lines) {
  ShellEvent event = std::move(queue_.front());
  queue_.pop_front();
  const std::string name(event_name(event.kind));
  ProcessRequest request;
  request.argv = {program_, name};
  request.env_overrides = {{"KELVO_EVENT", name},
                           {"KELVO_OWNER", event.owner},
                           {"KELVO_SHELL_ID", event.shell_id.value_or("")}};
  request.own_process_group = true;
  auto started = start_piped_process(request);
  if (const auto* failed = std::get_if<SpawnFailed>(&started)) {
    fail(now, event.kind, "cannot start: " + describe_errno(failed->error), lines);
    return;
  }
  running_.emplace(Running{event.kind,
                           std::move(std::get<PipedChild>(started)),
                           event_json(event, host_, std::exchange(dropped_, 0)) + "\n",
                           {},
                           Steady::now()});
  pump_piped_child(running_->child, running_->input, running_->err, kErrKept);
}

void ProcessEventHook::finish(WallTime now, std::vector<std::string>& lines) {
  Running& run = *running_;
  // Whatever a timed-out hook left behind goes with it, while its pid still holds the group.
  if (run.terminated) signal_child_group(run.child.pid, SIGKILL);
  const ProcessStatus status = *wait_for_child(run.child.pid, true);
  pump_piped_child(run.child, run.input, run.err, kErrKept);
  const ShellEventKind kind = run.kind;
  std::string why;
  if (run.terminated) {
    why = "timed out after " + format_duration(whole_seconds(limits_.run_for));
  } else if (!exited_zero(status)) {
    why = describe_status(status);
  }
  why += why.empty() ? "" : stderr_piece(run.err);
  running_.reset();
  if (why.empty()) {
    failure_lines_ = {};  // the failures, if any, are over
  } else {
    fail(now, kind, why, lines);
  }
}

void ProcessEventHook::enforce_time_limit() {
  Running& run = *running_;
  const auto ran = Steady::now() - run.started;
  if (!run.terminated && ran >= signed_span(limits_.run_for)) {
    signal_child_group(run.child.pid, SIGTERM);
    run.terminated = true;
  } else if (run.terminated && !run.killed &&
             ran >= signed_span(limits_.run_for + limits_.kill_after)) {
    signal_child_group(run.child.pid, SIGKILL);
    run.killed = true;
  }
}

void ProcessEventHook::fail(WallTime now, ShellEventKind kind, const std::string& why,
                            std::vector<std::string>& lines) {
  std::string line = "event hook " + escape_controls(program_) + " failed on " +
                     std::string(event_name(kind)) + ": " + why;
  ++health_.failures;
  health_.last_failure = line;
  if (take_turn(failure_lines_, now, limits_.report_every)) lines.push_back(std::move(line));
}

WallTime ProcessEventHook::now_for_drain() const {
  const auto since =
      std::chrono::floor<std::chrono::milliseconds>(Steady::now() - last_now_steady_);
  return saturating_add(last_now_, Millis(static_cast<std::uint64_t>(since.count())));
}

}  // namespace kelvo
