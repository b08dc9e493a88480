#include "main/outbox_delivery.hpp"

#include <type_traits>
#include <variant>

#include "common/console.hpp"
#include "common/text.hpp"
#include "main/host_cli.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

// A send that cannot start loses its message and says so; one that runs and fails counts
// against the host's health.
void deliver(ShellContext& context, LoopEffects& effects, const Message& message) {
  if (!context.owner) return;
  const ProcessStatus status = send(effects.host, *context.owner, message);
  if (std::holds_alternative<SpawnFailed>(status)) {
    report(Urgency::Warning, "send dropped (spawn failed)");
  } else if (!exited_zero(status)) {
    context.send_failure = "send " + describe_status(status);
  } else {
    context.send_failure.reset();
  }
}

// The state file is moved aside first when it could not be loaded, so its classes survive; a
// person hears of it.
void save_owner_state(ShellContext& context, LoopEffects& effects, const Save& save) {
  StateFile& file = *context.state_file;
  if (file.unreadable) {
    const auto kept = keep_unreadable(file.path, save.at);
    if (!kept) {
      report(Urgency::Error, fill("state save failed: {}", {kept.failure().reason}));
      return;
    }
    if (*kept) {
      std::string line = fill("state file {} kept as {}", {file.path.string(), (*kept)->string()});
      report(Urgency::Warning, line);
      effects.events.tell(event_at(context, ShellEventKind::StateKeptAside, save.at, line));
    }
    file.unreadable = false;
  }
  if (const auto saved = save_state(file.path, save.state); !saved) {
    report(Urgency::Error, saved.failure().reason);
  }
}

}  // namespace

void carry_out(ShellContext& context, LoopEffects& effects, Outbox& outbox) {
  for (const Effect& effect : outbox.effects) {
    std::visit(
        [&](const auto& e) {
          using E = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<E, Message>) {
            deliver(context, effects, e);
          } else if constexpr (std::is_same_v<E, Save>) {
            if (context.state_file) save_owner_state(context, effects, e);
          } else if constexpr (std::is_same_v<E, ConsoleLine>) {
            report(e.urgency, e.text);
          } else {
            static_assert(std::is_same_v<E, ShellEvent>);
            effects.events.tell(e);
          }
        },
        effect);
  }
  outbox.effects.clear();
}

}  // namespace kelvo
