// Reads arbitrary bytes as a session file; whatever is restored must be a session the shell can
// run on, and must save and load back to the very same session, so a restart never drifts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cycle/session_codec.hpp"
#include "machine/pacing_machine.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto record = kelvo::decode_session(text);
  if (!record) return 0;
  const kelvo::PacingMachine& machine = record->session.machine;
  require(machine.backoff_step < kelvo::BACKOFF_MS.size());
  require(!record->session.board.checkpoints.empty());
  const std::string file = kelvo::encode_session(*record);
  const auto reloaded = kelvo::decode_session(file);
  require(reloaded && *reloaded == *record);
  require(kelvo::encode_session(*reloaded) == file);
  // The restored machine can be driven: a tick far ahead and a busy edge must not trip it.
  kelvo::PacingMachine driven = machine;
  static_cast<void>(kelvo::tick(driven, kelvo::at_epoch_ms(UINT64_MAX)));
  static_cast<void>(kelvo::on_activity(driven, {kelvo::Activity::Busy, kelvo::WallTime{}}));
  return 0;
}
