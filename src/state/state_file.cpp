#include "state/state_file.hpp"

#include <string>
#include <system_error>

#include "common/console.hpp"
#include "common/files.hpp"
#include "common/percent_encoding.hpp"
#include "common/text.hpp"
#include "state/state_codec.hpp"

namespace kelvo {

namespace {

bool is_plain_owner(std::string_view owner) {
  if (owner.empty() || owner == "." || owner == "..") return false;
  for (const char c : owner) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == '%' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path state_path(const std::filesystem::path& state_dir, std::string_view owner) {
  const std::string stem =
      is_plain_owner(owner) ? std::string(owner) : percent_encode(owner, "._-");
  return state_dir / "state" / (stem + ".json");
}

OwnerState load_state(const std::filesystem::path& path) {
  const auto text = read_whole_file(path);
  if (!text) return {};
  return parse_state(*text).value_or(OwnerState{});
}

void save_state(const std::filesystem::path& path, const OwnerState& state) {
  const std::filesystem::path dir = path.parent_path();
  if (dir.empty()) return;
  std::error_code created;
  std::filesystem::create_directories(dir, created);
  if (created) {
    report(fill("state dir create failed under {}", {dir.string()}));
    return;
  }
  const auto text = serialize_state(state);
  if (!text) {
    report(fill("state serialize failed: {}", {text.failure().reason}));
    return;
  }
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  if (const auto saved = replace_file(path, *text, temporary); !saved) {
    report(fill("state save failed: {}", {saved.failure().reason}));
  }
}

}  // namespace kelvo
