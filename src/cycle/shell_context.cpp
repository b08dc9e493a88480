#include "cycle/shell_context.hpp"

#include <utility>

namespace kelvo {

std::optional<std::string> sender(const ShellContext& context) {
  if (!context.polled) return std::nullopt;
  return context.polled->shell_id;
}

void reply(const ShellContext& context, std::string text, Outbox& outbox) {
  if (!context.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::ActiveOnly, sender(context), std::move(text)});
}

void save(const ShellContext& context, WallTime now, Outbox& outbox) {
  if (context.state_file) outbox.effects.emplace_back(Save{context.owner_state, now});
}

}  // namespace kelvo
