#include "fleet/fleet_view.hpp"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <tuple>
#include <utility>

#include "common/duration.hpp"
#include "common/local_stamp.hpp"
#include "common/text.hpp"
#include "common/utf8.hpp"
#include "common/version.hpp"
#include "runtime/runtime_status_json.hpp"

namespace kelvo {

namespace {

using nlohmann::ordered_json;

// How far apart two moments are, either way.
Millis distance(WallTime a, WallTime b) { return a > b ? a - b : b - a; }

Life life_of(const StatusFile& file, bool alive, WallTime now) {
  const RuntimeStatus& status = file.status;
  if (status.ended) return status.ended->cause == "stopped" ? Life::Stopped : Life::Ended;
  if (!alive) return Life::Gone;
  const bool fresh =
      distance(status.updated, now) <= kStaleAfter && distance(file.modified, now) <= kStaleAfter;
  return fresh ? Life::Running : Life::Stale;
}

std::string state_name(Life life, Pacing pacing) {
  switch (life) {
    case Life::Running:
      return std::string(pacing_name(pacing));
    case Life::Stale:
      return "stale";
    case Life::Gone:
      return "gone";
    case Life::Ended:
      return "ended";
    case Life::Stopped:
      return "stopped";
  }
  return "gone";
}

std::vector<Need> needs_of(const FleetShell& shell) {
  switch (shell.life) {
    case Life::Gone:
      return {Need::Gone};
    case Life::Stale:
      return {Need::Stale};
    case Life::Ended:
    case Life::Stopped:
      return {};
    case Life::Running:
      break;
  }
  std::vector<Need> needs;
  if (shell.status.pacing == Pacing::Unresponsive) needs.push_back(Need::Unresponsive);
  if (shell.status.pacing == Pacing::Blocked) needs.push_back(Need::Blocked);
  if (shell.host_failing) needs.push_back(Need::HostFailing);
  return needs;
}

FleetShell make_shell(StatusFile file, WallTime now, const PidAlive& alive) {
  FleetShell shell;
  shell.alive = alive(file.status.pid);
  shell.life = life_of(file, shell.alive, now);
  shell.update_age =
      std::max(elapsed_between(file.status.updated, now), elapsed_between(file.modified, now));
  shell.file = std::move(file.name);
  shell.status = std::move(file.status);
  const RuntimeStatus& status = shell.status;
  shell.state = state_name(shell.life, status.pacing);
  shell.host_failing = is_live(shell.life) && host_failing(status);
  if (is_live(shell.life) && status.activity == Activity::Idle && status.since) {
    shell.idle_for = elapsed_between(*status.since, now);
  }
  shell.needs = needs_of(shell);
  return shell;
}

std::string age(Millis span) { return "~" + format_idle_coarse(whole_seconds(span)); }

// Text from a file, kept to one line that drives no terminal.
std::string shown(std::string_view text) { return escape_controls(text); }

std::size_t visible_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += decode_utf8_step(text, pos).length) ++width;
  return width;
}

constexpr std::size_t kColumns = 8;
using Cells = std::array<std::string, kColumns>;

// The host calls as a cell: a failure shows from the first failed call, though only a minute
// of them needs a person.
std::string host_cell(const RuntimeHost& host, WallTime now) {
  if (host.ok) return "ok";
  if (!host.failing_since) return "failing";
  return "failing " + age(elapsed_between(*host.failing_since, now));
}

// A shell that is gone, ended or stopped shows no stretch, next nudge or host: they have ended.
Cells row_cells(const FleetShell& shell, WallTime now) {
  const RuntimeStatus& status = shell.status;
  const bool live = is_live(shell.life);
  return {
      shown(status.owner),
      status.shell_id ? shown(*status.shell_id) : "-",
      shell.state,
      live && status.activity && status.since
          ? local_hour_minute(*status.since) + " " + age(elapsed_between(*status.since, now))
          : "-",
      live && status.next_nudge ? local_hour_minute(*status.next_nudge) : "-",
      std::to_string(status.nudges) + "/" + std::to_string(status.nudges_total),
      live ? host_cell(status.host, now) : "-",
      age(shell.update_age),
  };
}

std::string summary(const FleetView& view) {
  const auto needing = std::count_if(view.shells.begin(), view.shells.end(),
                                     [](const FleetShell& shell) { return !shell.needs.empty(); });
  std::string text = view.shells.empty()       ? std::string("no shells")
                     : view.shells.size() == 1 ? std::string("1 shell")
                                               : std::to_string(view.shells.size()) + " shells";
  if (!view.shells.empty()) {
    text += needing == 0   ? ", nobody needs a person"
            : needing == 1 ? ", 1 needs a person"
                           : ", " + std::to_string(needing) + " need a person";
  }
  if (!view.skipped.empty()) {
    text += "; " + std::to_string(view.skipped.size()) +
            (view.skipped.size() == 1 ? " file skipped needs" : " files skipped need") +
            " a person";
  }
  return text + "\n";
}

// A label value of the exposition format: valid UTF-8 with backslash, double quote and line
// feed escaped as the format asks, and the other controls as visible text (`\x1b`, `\u202e`)
// that a terminal showing the exposition does not obey.
std::string label_value(std::string_view raw) {
  const std::string escaped = escape_controls(raw, "\"");
  std::string value;
  for (std::size_t pos = 0; pos < escaped.size(); ++pos) {
    value += escaped[pos];
    if (escaped[pos] != '\\') continue;
    const char next = escaped[++pos];
    if (next != '\\' && next != '"' && next != 'n') value += '\\';
    value += next;
  }
  return value;
}

// Which shells a family has a sample for.
enum class Scope { Every, Live, Ended };

struct Family {
  std::string_view name;
  std::string_view type;
  std::string_view help;
  Scope scope;
  std::uint64_t (*value)(const FleetShell&);
};

std::uint64_t flag(bool on) { return on ? 1 : 0; }

std::uint64_t seconds(Millis span) {
  return static_cast<std::uint64_t>(whole_seconds(span).count());
}

bool in_scope(Scope scope, const FleetShell& shell) {
  switch (scope) {
    case Scope::Every:
      return true;
    case Scope::Live:
      return is_live(shell.life);
    case Scope::Ended:
      return shell.life == Life::Ended || shell.life == Life::Stopped;
  }
  return false;
}

// A file of an older shell names no cause; it ended as the supersession line says.
std::string_view end_cause(const FleetShell& shell) {
  return shell.status.ended && shell.status.ended->cause ? *shell.status.ended->cause
                                                         : "superseded";
}

const std::array<Family, 12> kFamilies = {{
    {"kelvo_up", "gauge",
     "1 while the shell runs and keeps its runtime status fresh; 0 when it is gone, stale, ended "
     "or stopped.",
     Scope::Every, [](const FleetShell& s) { return flag(s.life == Life::Running); }},
    {"kelvo_gone", "gauge", "1 when the shell's process died without writing an end.", Scope::Every,
     [](const FleetShell& s) { return flag(s.life == Life::Gone); }},
    {"kelvo_stale", "gauge",
     "1 when the shell's process lives but its runtime status is not fresh (it hangs).",
     Scope::Every, [](const FleetShell& s) { return flag(s.life == Life::Stale); }},
    {"kelvo_ended", "gauge",
     "1 for a shell that ended by itself or was stopped; cause: stopped, taken-over, revoked or "
     "superseded.",
     Scope::Ended, [](const FleetShell&) { return std::uint64_t{1}; }},
    {"kelvo_blocked", "gauge", "1 while the agent has said it is blocked on a person (!!done!!).",
     Scope::Live, [](const FleetShell& s) { return flag(s.status.pacing == Pacing::Blocked); }},
    {"kelvo_unresponsive", "gauge",
     "1 while the agent has not answered the nudges of its idle stretch.", Scope::Live,
     [](const FleetShell& s) { return flag(s.status.pacing == Pacing::Unresponsive); }},
    {"kelvo_idle_seconds", "gauge",
     "Seconds since the endpoint's idle stretch began; 0 while it is busy.", Scope::Live,
     [](const FleetShell& s) { return s.idle_for ? seconds(*s.idle_for) : 0; }},
    {"kelvo_nudges_total", "counter", "Nudges the shell has sent since it started.", Scope::Live,
     [](const FleetShell& s) { return s.status.nudges_total; }},
    {"kelvo_host_failing", "gauge", "1 while the shell's host calls have failed for a minute.",
     Scope::Live, [](const FleetShell& s) { return flag(s.host_failing); }},
    {"kelvo_classes", "gauge", "Classes of wait in the owner's registry.", Scope::Live,
     [](const FleetShell& s) { return s.status.classes; }},
    {"kelvo_hook_failures_total", "counter", "Event hook runs that failed since the shell started.",
     Scope::Live, [](const FleetShell& s) { return s.status.hook ? s.status.hook->failures : 0; }},
    {"kelvo_update_age_seconds", "gauge",
     "Seconds since the shell last rewrote its runtime status.", Scope::Every,
     [](const FleetShell& s) { return seconds(s.update_age); }},
}};

std::string family_text(const Family& family, const std::vector<FleetShell>& shells) {
  std::string samples;
  for (const FleetShell& shell : shells) {
    if (!in_scope(family.scope, shell)) continue;
    std::string labels =
        fill("owner=\"{}\",shell_id=\"{}\"",
             {label_value(shell.status.owner), label_value(shell.status.shell_id.value_or(""))});
    if (family.scope == Scope::Ended) labels += ",cause=\"" + label_value(end_cause(shell)) + "\"";
    samples +=
        std::string(family.name) + "{" + labels + "} " + std::to_string(family.value(shell)) + "\n";
  }
  if (samples.empty()) return samples;
  return fill("# HELP {} {}\n# TYPE {} {}\n",
              {family.name, family.help, family.name, family.type}) +
         samples;
}

}  // namespace

std::string_view need_name(Need need) {
  switch (need) {
    case Need::Gone:
      return "gone";
    case Need::Stale:
      return "stale";
    case Need::Unresponsive:
      return "unresponsive";
    case Need::Blocked:
      return "blocked";
    case Need::HostFailing:
      return "host-failing";
  }
  return "gone";
}

bool is_live(Life life) { return life == Life::Running || life == Life::Stale; }

bool FleetView::needs_person() const {
  return !skipped.empty() || std::any_of(shells.begin(), shells.end(), [](const FleetShell& shell) {
    return !shell.needs.empty();
  });
}

FleetView make_fleet_view(std::vector<StatusFile> files, std::vector<SkippedFile> skipped,
                          WallTime now, const PidAlive& alive) {
  FleetView view{.now = now, .shells = {}, .skipped = std::move(skipped)};
  for (StatusFile& file : files) view.shells.push_back(make_shell(std::move(file), now, alive));
  std::sort(view.shells.begin(), view.shells.end(), [](const FleetShell& a, const FleetShell& b) {
    return std::tuple(a.needs.empty(), std::string_view(a.status.owner), std::string_view(a.file)) <
           std::tuple(b.needs.empty(), std::string_view(b.status.owner), std::string_view(b.file));
  });
  std::sort(view.skipped.begin(), view.skipped.end(),
            [](const SkippedFile& a, const SkippedFile& b) { return a.name < b.name; });
  return view;
}

std::string fleet_table(const FleetView& view, bool colour) {
  if (view.shells.empty()) return summary(view);
  std::vector<Cells> rows = {
      {"OWNER", "SHELL", "STATE", "SINCE", "NEXT NUDGE", "NUDGES", "HOST", "UPDATED"}};
  for (const FleetShell& shell : view.shells) rows.push_back(row_cells(shell, view.now));
  std::array<std::size_t, kColumns> widths{};
  for (const Cells& cells : rows) {
    for (std::size_t i = 0; i < kColumns; ++i) {
      widths[i] = std::max(widths[i], visible_width(cells[i]));
    }
  }
  std::string table;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::string line;
    for (std::size_t i = 0; i < kColumns; ++i) {
      line += rows[r][i];
      if (i + 1 < kColumns) line += std::string(widths[i] - visible_width(rows[r][i]) + 2, ' ');
    }
    const bool header = r == 0;
    const bool alarming = !header && !view.shells[r - 1].needs.empty();
    if (colour && (header || alarming)) line = (header ? "\x1b[1m" : "\x1b[31m") + line + "\x1b[0m";
    table += line + "\n";
  }
  return table + summary(view);
}

std::string fleet_json(const FleetView& view) {
  ordered_json shells = ordered_json::array();
  for (const FleetShell& shell : view.shells) {
    ordered_json needs = ordered_json::array();
    for (const Need need : shell.needs) needs.push_back(std::string(need_name(need)));
    ordered_json entry = ordered_json::object();
    entry["file"] = shell.file;
    entry["owner"] = shell.status.owner;
    entry["shell_id"] =
        shell.status.shell_id ? ordered_json(*shell.status.shell_id) : ordered_json(nullptr);
    entry["state"] = shell.state;
    entry["needs_person"] = !shell.needs.empty();
    entry["needs"] = std::move(needs);
    entry["alive"] = shell.alive;
    entry["update_age_ms"] = shell.update_age.count();
    entry["idle_ms"] =
        shell.idle_for ? ordered_json(shell.idle_for->count()) : ordered_json(nullptr);
    entry["status"] = runtime_status_json(shell.status);
    shells.push_back(std::move(entry));
  }
  ordered_json skipped = ordered_json::array();
  for (const SkippedFile& file : view.skipped) {
    skipped.push_back({{"file", file.name}, {"reason", file.reason}});
  }
  ordered_json document = ordered_json::object();
  document["version"] = std::string(PROGRAM_VERSION);
  document["now_ms"] = epoch_ms(view.now);
  document["needs_person"] = view.needs_person();
  document["shells"] = std::move(shells);
  document["skipped"] = std::move(skipped);
  // Every character outside ASCII escaped: no C1 or bidirectional control reaches a terminal.
  return document.dump(2, ' ', true, ordered_json::error_handler_t::replace) + "\n";
}

std::string fleet_exposition(const FleetView& view) {
  std::string text;
  for (const Family& family : kFamilies) text += family_text(family, view.shells);
  return text +
         fill(
             "# HELP kelvo_files_skipped Files of the runtime folder that could not be read "
             "as a runtime status.\n# TYPE kelvo_files_skipped gauge\nkelvo_files_skipped {}\n",
             {std::to_string(view.skipped.size())});
}

}  // namespace kelvo
