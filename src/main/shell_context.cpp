#include "main/shell_context.hpp"

#include "main/host_cli.hpp"
#include "main/new_stretch_id.hpp"
#include "main/operator_messages.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

std::optional<std::filesystem::path> state_path_for(const StartupSettings& settings) {
  if (!settings.state_dir || !settings.owner) return std::nullopt;
  return state_path(*settings.state_dir, *settings.owner);
}

std::optional<PolledShell> polled_shell(const StartupSettings& settings) {
  if (!settings.shell_id) return std::nullopt;
  return PolledShell{.shell_id = *settings.shell_id, .activity = {}, .refusal_streak = 0};
}

}  // namespace

ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects) {
  const auto path = state_path_for(settings);
  ShellContext context{
      .link = settings.link,
      .owner = settings.owner,
      .polled = polled_shell(settings),
      .state_path = path,
      .machine = {},
      .counters = {},
      .owner_state = path ? load_state(*path) : OwnerState{},
      .board = StretchBoard(new_stretch_id(), effects.clock.now()),
      .host_health = {},
  };
  reply(effects.host, context.owner, sender(context), intro_message());
  return context;
}

std::optional<std::string_view> sender(const ShellContext& context) {
  if (!context.polled) return std::nullopt;
  return context.polled->shell_id;
}

void save_owner_state(const ShellContext& context) {
  if (context.state_path) save_state(*context.state_path, context.owner_state);
}

}  // namespace kelvo
