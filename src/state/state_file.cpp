#include "state/state_file.hpp"

#include <string>
#include <system_error>

#include "common/files.hpp"
#include "common/owner_stem.hpp"
#include "common/text.hpp"
#include "state/state_codec.hpp"

namespace kelvo {

std::filesystem::path state_path(const std::filesystem::path& state_dir, std::string_view owner) {
  return state_dir / "state" / (owner_file_stem(owner) + ".json");
}

Result<OwnerState> load_state(const std::filesystem::path& path) {
  const auto text = read_whole_file(path);
  if (!text) {
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) return OwnerState{};
    return text.failure();
  }
  if (auto state = parse_state(*text)) return std::move(*state);
  return Failure{
      "not a state file (damaged JSON, a key given twice, or a missing or wrong-typed field)"};
}

Result<void> save_state(const std::filesystem::path& path, const OwnerState& state) {
  const std::filesystem::path dir = path.parent_path();
  if (dir.empty()) return {};
  std::error_code created;
  std::filesystem::create_directories(dir, created);
  if (created) return Failure{fill("state dir create failed under {}", {dir.string()})};
  const auto text = serialize_state(state);
  if (!text) return Failure{fill("state serialize failed: {}", {text.failure().reason})};
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  if (const auto saved = replace_file(path, *text, temporary); !saved) {
    return Failure{fill("state save failed: {}", {saved.failure().reason})};
  }
  return {};
}

}  // namespace kelvo
