#include "cycle/operator_messages.hpp"

#include <array>

#include "common/agent_voice.hpp"
#include "common/duration.hpp"
#include "common/text.hpp"

namespace kelvo {
namespace {

constexpr std::array<std::string_view, 7> INTRO_SENTENCES{
    "is pacing this endpoint: if you go idle for >60s a ping will nudge you back.",
    "Steer it with inline codes — emit `!!done!!` when you're blocked on a human, or `!!wait=m!!` "
    "when you're waiting on a peer or a task with an ETA (m minutes).",
    "`!!done!!` covers this idle stretch only: anything that puts you back to work — a peer "
    "message included — re-arms the pacing, so re-emit it if you are still blocked.",
    "Every message your kelvo sends arrives from `{}` — that sender is this shell, never a "
    "fellow agent.",
    "kelvo also keeps one stretch board: the live stretch runs until you classify it, each "
    "`!!wait=m!!` marks a checkpoint (`:1`, `:2`, … — `:0` is its start), and when a quiet "
    "stretch of ≥60s ends you get the board: its stretch id and each checkpoint's time since it "
    "was marked.",
    "Classify a recurring kind of wait by its checkpoint — `!!classify=<id>-<sub>:<name>!!` "
    "(snake_case name) — and kelvo folds that checkpoint's shown time into the class's running "
    "average (kept across restarts) and starts a fresh stretch.",
    "Retire classes you no longer track with `qrn shell cmd {} retire \"<names>\"` "
    "(space-separated, CLI only).",
};

}  // namespace

std::string intro_message(std::optional<std::string_view> sender) {
  std::string text(KELVO_PREFIX);
  text += INTRO_SENTENCES.front();
  for (std::size_t i = 1; i < INTRO_SENTENCES.size(); ++i) {
    text += ' ';
    text += INTRO_SENTENCES[i];
  }
  text += VERSION_SUFFIX;
  // Without a shell id the shell sends no sender; the host's own default is KELVO-0.
  const std::string_view id = sender.value_or("KELVO-0");
  return fill(text, {id, id});
}

std::string nudge_message(Millis idle_for, std::string_view stamp) {
  return kelvo_says(fill(
      "— idle ~{} (as of {}, local tz). Proceed to check on any ongoing tasks or "
      "fellow agents whose work you're waiting on. If you're blocked on a human, emit `!!done!!` "
      "to stop these nudges for this idle stretch — going back to work re-arms them, so re-emit "
      "it if you are still blocked. If you're waiting on a peer or a task with an ETA, emit "
      "`!!wait=m!!`.",
      {format_idle_coarse(whole_seconds(idle_for)), stamp}));
}

}  // namespace kelvo
