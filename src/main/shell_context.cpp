#include "main/shell_context.hpp"

#include "common/console.hpp"
#include "common/text.hpp"
#include "main/host_cli.hpp"
#include "main/new_stretch_id.hpp"
#include "main/operator_messages.hpp"
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
  report(fill("state file {} could not be loaded: {}; starting with an empty registry",
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
  ShellContext context{
      .link = settings.link,
      .frame_key = derive_frame_key(settings.link),
      .owner = settings.owner,
      .polled = polled_shell(settings),
      .state_file = std::move(state_file),
      .machine = {},
      .counters = {},
      .owner_state = std::move(owner_state),
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

void save_owner_state(ShellContext& context, WallTime now) {
  if (!context.state_file) return;
  StateFile& file = *context.state_file;
  if (file.unreadable) {
    const auto kept = keep_unreadable(file.path, now);
    if (!kept) {
      report(fill("state save failed: {}", {kept.failure().reason}));
      return;
    }
    if (*kept) report(fill("state file {} kept as {}", {file.path.string(), (*kept)->string()}));
    file.unreadable = false;
  }
  save_state(file.path, context.owner_state);
}

}  // namespace kelvo
