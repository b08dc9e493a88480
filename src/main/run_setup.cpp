#include "main/run_setup.hpp"

#include "common/console.hpp"
#include "common/text.hpp"
#include "cycle/operator_messages.hpp"
#include "main/outbox_delivery.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

std::optional<StateFile> state_file_for(const StartupSettings& settings) {
  if (!settings.state_dir || !settings.owner) return std::nullopt;
  return StateFile{.path = state_path(*settings.state_dir, *settings.owner), .unreadable = false};
}

// The registry in the state file; an unreadable file is reported, marked, and starts it empty.
OwnerState load_owner_state(std::optional<StateFile>& state_file) {
  if (!state_file) return {};
  auto loaded = load_state(state_file->path);
  if (loaded) return std::move(*loaded);
  state_file->unreadable = true;
  report(Urgency::Warning,
         fill("state file {} could not be loaded: {}; starting with an empty registry",
              {state_file->path.string(), loaded.failure().reason}));
  return {};
}

std::optional<PolledShell> polled_shell(const StartupSettings& settings) {
  if (!settings.shell_id) return std::nullopt;
  return PolledShell{.shell_id = *settings.shell_id, .activity = {}, .refusal_streak = 0};
}

}  // namespace

ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects) {
  auto state_file = state_file_for(settings);
  auto owner_state = load_owner_state(state_file);
  const WallTime now = effects.clock.now();
  StretchIds stretch_ids{.process_id = effects.process_id, .drawn = 0};
  std::string board_id = draw_stretch_id(stretch_ids, now);
  ShellContext context{
      .link = settings.link,
      .frame_key = derive_frame_key(settings.link),
      .owner = settings.owner,
      .polled = polled_shell(settings),
      .state_file = std::move(state_file),
      .machine = {},
      .counters = {},
      .owner_state = std::move(owner_state),
      .board = StretchBoard(std::move(board_id), now),
      .host_health = {},
      .stretch_ids = stretch_ids,
      .attention = {},
      .unresponsive_after = settings.unresponsive_after,
      .send_failure = std::nullopt,
      .started = now,
      .ended_with = std::nullopt,
  };
  Outbox outbox;
  reply(context, intro_message(sender(context)), outbox);
  carry_out(context, effects, outbox);
  return context;
}

}  // namespace kelvo
