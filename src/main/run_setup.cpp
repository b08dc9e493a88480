#include "main/run_setup.hpp"

#include "common/console.hpp"
#include "common/text.hpp"
#include "cycle/cycle_steps.hpp"
#include "cycle/operator_messages.hpp"
#include "main/outbox_delivery.hpp"
#include "main/session_file.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

Run run_of(const StartupSettings& settings, const LoopEffects& effects, WallTime now) {
  Run run{.link = settings.link,
          .settings = {.frame_key = derive_frame_key(settings.link),
                       .owner = settings.owner,
                       .shell_id = settings.shell_id,
                       .state_path = std::nullopt,
                       .unresponsive_after = settings.unresponsive_after,
                       .process_id = effects.process_id,
                       .started = now},
          .session_path = std::nullopt,
          .link_fingerprint = {}};
  if (settings.state_dir && settings.owner) {
    run.settings.state_path = state_path(*settings.state_dir, *settings.owner);
    run.session_path = session_path(*settings.state_dir, *settings.owner);
    run.link_fingerprint = link_fingerprint(run.settings.frame_key);
  }
  return run;
}

// The registry in the state file; an unreadable file is reported, marked, and starts it empty.
void load_owner_state(const RunSettings& run, ShellState& state) {
  if (!run.state_path) return;
  auto loaded = load_state(*run.state_path);
  if (loaded) {
    state.owner_state = std::move(*loaded);
    return;
  }
  state.owner_file_unreadable = true;
  report(Urgency::Warning,
         fill("state file {} could not be loaded: {}; starting with an empty registry",
              {run.state_path->string(), loaded.failure().reason}));
}

// The session the last run left, when it can be used; gives the shell id it was sending from.
std::optional<std::optional<std::string>> restore_session(const Run& run, ShellState& state,
                                                          WallTime now) {
  if (!run.session_path) return std::nullopt;
  FoundSession found =
      find_session(*run.session_path, *run.settings.owner, run.link_fingerprint, now);
  if (found.line) report(Urgency::Warning, *found.line);
  if (!found.record) return std::nullopt;
  state.session = std::move(found.record->session);
  state.session.stretch_ids.process_id = run.settings.process_id;
  state.restored_unchecked = true;
  return found.record->shell_id;
}

}  // namespace

StartedRun set_up_run(const StartupSettings& settings, LoopEffects& effects) {
  const WallTime now = effects.clock.now();
  StartedRun set_up{run_of(settings, effects, now), {}};
  const Run& run = set_up.run;
  ShellState& state = set_up.state;
  load_owner_state(run.settings, state);
  const auto restored_sender = restore_session(run, state, now);
  if (!restored_sender) {
    state.session.stretch_ids = StretchIds{.process_id = effects.process_id, .drawn = 0};
    state.session.board = StretchBoard(draw_stretch_id(state.session.stretch_ids, now), now);
  }
  if (!restored_sender || *restored_sender != run.settings.shell_id) {
    Outbox outbox;
    reply(run.settings, intro_message(run.settings.shell_id), outbox);
    follow_delivery(state, carry_out(run, state, effects, outbox));
  }
  return set_up;
}

SessionRecord session_record(const Run& run, const Session& session, WallTime now) {
  return SessionRecord{.owner = run.settings.owner.value_or(""),
                       .shell_id = run.settings.shell_id,
                       .link_fingerprint = run.link_fingerprint,
                       .saved = now,
                       .session = session};
}

}  // namespace kelvo
