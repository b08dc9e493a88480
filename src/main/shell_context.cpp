#include "main/shell_context.hpp"

#include "board/stretch_id.hpp"
#include "main/host_cli.hpp"
#include "main/operator_messages.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

std::optional<std::filesystem::path> state_path_for(const StartupSettings& settings) {
  if (!settings.state_dir || !settings.owner) return std::nullopt;
  return state_path(*settings.state_dir, *settings.owner);
}

}  // namespace

ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects) {
  const auto path = state_path_for(settings);
  ShellContext context{
      .settings = settings,
      .machine = {},
      .counters = {},
      .refusal_streak = 0,
      .activity_source =
          settings.shell_id ? std::optional<ActivityTracker>(ActivityTracker{}) : std::nullopt,
      .state_path = path,
      .owner_state = path ? load_state(*path) : OwnerState{},
      .board = StretchBoard(new_stretch_id(), effects.clock.now_ms()),
  };
  if (settings.owner) {
    send(effects.host, *settings.owner, SendFlags::ActiveOnly, settings.shell_id, intro_message());
  }
  return context;
}

void save_owner_state(const ShellContext& context) {
  if (context.state_path) save_state(*context.state_path, context.owner_state);
}

}  // namespace kelvo
