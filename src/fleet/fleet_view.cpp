#include "fleet/fleet_view.hpp"

#include <algorithm>
#include <array>
#include <ctime>
#include <nlohmann/json.hpp>
#include <tuple>
#include <utility>

#include "common/duration.hpp"
#include "common/text.hpp"
#include "common/utf8.hpp"
#include "common/version.hpp"

namespace kelvo {

namespace {

using nlohmann::ordered_json;

FleetShell make_shell(StatusFile file, WallTime now, const PidAlive& alive) {
  FleetShell shell;
  shell.file = std::move(file.name);
  shell.status = std::move(file.status);
  const RuntimeStatus& status = shell.status;
  shell.alive = alive(status.pid);
  shell.update_age = elapsed_between(status.updated, now);
  if (status.activity == Activity::Idle && status.since) {
    shell.idle_for = elapsed_between(*status.since, now);
  }
  if (status.ended) {
    shell.state = "ended";
  } else if (!shell.alive) {
    shell.state = "gone";
    shell.needs.push_back(Need::Gone);
  } else if (shell.update_age > kStaleAfter) {
    shell.state = "stale";
    shell.needs.push_back(Need::Stale);
  } else {
    shell.state = std::string(pacing_name(status.pacing));
    if (status.pacing == Pacing::Unresponsive) shell.needs.push_back(Need::Unresponsive);
    if (status.pacing == Pacing::Blocked) shell.needs.push_back(Need::Blocked);
    if (!status.host.ok) shell.needs.push_back(Need::HostFailing);
  }
  return shell;
}

// "HH:MM" in the local zone.
std::string local_clock(WallTime moment) {
  const auto secs = static_cast<std::time_t>(whole_seconds(moment.time_since_epoch()).count());
  std::tm parts{};
  localtime_r(&secs, &parts);
  char text[16];
  return std::string(text, std::strftime(text, sizeof text, "%H:%M", &parts));
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

Cells row_cells(const FleetShell& shell, WallTime now) {
  const RuntimeStatus& status = shell.status;
  std::string host = "ok";
  if (!status.host.ok) {
    host = "failing";
    if (status.host.failing_since)
      host += " " + age(elapsed_between(*status.host.failing_since, now));
  }
  return {
      shown(status.owner),
      status.shell_id ? shown(*status.shell_id) : "-",
      shell.state,
      status.activity && status.since
          ? local_clock(*status.since) + " " + age(elapsed_between(*status.since, now))
          : "-",
      status.next_nudge ? local_clock(*status.next_nudge) : "-",
      std::to_string(status.nudges) + "/" + std::to_string(status.nudges_total),
      std::move(host),
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
            (view.skipped.size() == 1 ? " file skipped" : " files skipped");
  }
  return text + "\n";
}

// A label value of the exposition format: valid UTF-8 with backslash, double quote and line
// feed escaped.
std::string label_value(std::string_view raw) {
  return replace_all(replace_all(replace_all(decode_utf8_lossy(raw), "\\", "\\\\"), "\"", "\\\""),
                     "\n", "\\n");
}

struct Family {
  std::string_view name;
  std::string_view type;
  std::string_view help;
  std::uint64_t (*value)(const FleetShell&);
};

std::uint64_t flag(bool on) { return on ? 1 : 0; }

const std::array<Family, 8> kFamilies = {{
    {"kelvo_up", "gauge",
     "1 while the shell runs and keeps its runtime status fresh; 0 when it is gone, stale or "
     "ended.",
     [](const FleetShell& s) {
       return flag(s.alive && !s.status.ended && s.update_age <= kStaleAfter);
     }},
    {"kelvo_blocked", "gauge", "1 while the agent has said it is blocked on a person (!!done!!).",
     [](const FleetShell& s) { return flag(s.status.pacing == Pacing::Blocked); }},
    {"kelvo_unresponsive", "gauge",
     "1 while the agent has not answered the nudges of its idle stretch.",
     [](const FleetShell& s) { return flag(s.status.pacing == Pacing::Unresponsive); }},
    {"kelvo_idle_seconds", "gauge",
     "Seconds since the endpoint's idle stretch began; 0 while it is busy.",
     [](const FleetShell& s) {
       return s.idle_for ? static_cast<std::uint64_t>(whole_seconds(*s.idle_for).count()) : 0;
     }},
    {"kelvo_nudges_total", "counter", "Nudges the shell has sent since it started.",
     [](const FleetShell& s) { return s.status.nudges_total; }},
    {"kelvo_host_failing", "gauge", "1 while the shell's host calls are failing.",
     [](const FleetShell& s) { return flag(!s.status.host.ok); }},
    {"kelvo_classes", "gauge", "Classes of wait in the owner's registry.",
     [](const FleetShell& s) { return s.status.classes; }},
    {"kelvo_update_age_seconds", "gauge",
     "Seconds since the shell last rewrote its runtime status.",
     [](const FleetShell& s) {
       return static_cast<std::uint64_t>(whole_seconds(s.update_age).count());
     }},
}};

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

bool FleetView::needs_person() const {
  return std::any_of(shells.begin(), shells.end(),
                     [](const FleetShell& shell) { return !shell.needs.empty(); });
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
  return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string fleet_exposition(const FleetView& view) {
  std::string text;
  for (const Family& family : kFamilies) {
    text +=
        fill("# HELP {} {}\n# TYPE {} {}\n", {family.name, family.help, family.name, family.type});
    for (const FleetShell& shell : view.shells) {
      text += fill(
          "{}{owner=\"{}\",shell_id=\"{}\"} {}\n",
          {family.name, label_value(shell.status.owner),
           label_value(shell.status.shell_id.value_or("")), std::to_string(family.value(shell))});
    }
  }
  return text;
}

}  // namespace kelvo
