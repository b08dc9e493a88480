#include "main/outbox_delivery.hpp"

#include <cerrno>
#include <type_traits>
#include <variant>

#include "common/console.hpp"
#include "common/files.hpp"
#include "common/text.hpp"
#include "main/host_cli.hpp"
#include "main/run_setup.hpp"
#include "state/state_file.hpp"

namespace kelvo {

namespace {

// A send that cannot start loses its message and says so; how one that ran ended is seen.
void deliver(const Run& run, LoopEffects& effects, const Message& message, Delivery& delivery) {
  if (!run.settings.owner) return;
  const ProcessStatus status = send(effects.host, *run.settings.owner, message);
  if (const auto* failed = std::get_if<SpawnFailed>(&status)) {
    // A send a stop kept from starting is no loss to report: the run is ending.
    if (failed->error != ECANCELED) report(Urgency::Warning, "send dropped (spawn failed)");
  } else if (!exited_zero(status)) {
    delivery.last_send = Delivery::Send::Failed;
    delivery.send_failure = "send " + describe_status(status);
  } else {
    delivery.last_send = Delivery::Send::Succeeded;
  }
}

// The state file is moved aside first when it could not be loaded, so its classes survive; a
// person hears of it.
void save_owner_state(const Run& run, const ShellState& state, LoopEffects& effects,
                      const Save& save, Delivery& delivery) {
  const std::filesystem::path& path = *run.settings.state_path;
  if (save.keep_aside_first && !delivery.state_file_settled) {
    const auto kept = keep_aside(path, save.at);
    if (!kept) {
      report(Urgency::Error, fill("state save failed: {}", {kept.failure().reason}));
      return;
    }
    if (*kept) {
      std::string line = fill("state file {} kept as {}", {path.string(), (*kept)->string()});
      report(Urgency::Warning, line);
      effects.events.tell(
          event_at(run.settings, state, ShellEventKind::StateKeptAside, save.at, line));
    }
    delivery.state_file_settled = true;
  }
  if (const auto saved = save_state(path, save.state); !saved) {
    report(Urgency::Error, saved.failure().reason);
  }
}

}  // namespace

Delivery carry_out(const Run& run, const ShellState& state, LoopEffects& effects, Outbox& outbox) {
  Delivery delivery;
  for (const Effect& effect : outbox.effects) {
    std::visit(
        [&](const auto& e) {
          using E = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<E, Message>) {
            deliver(run, effects, e, delivery);
          } else if constexpr (std::is_same_v<E, Save>) {
            if (run.settings.state_path) save_owner_state(run, state, effects, e, delivery);
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
  return delivery;
}

}  // namespace kelvo
