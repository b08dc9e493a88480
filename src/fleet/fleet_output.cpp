#include "fleet/fleet_output.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "common/files.hpp"

namespace kelvo {

std::optional<std::string> output_folder_refusal(uid_t owner, mode_t mode, uid_t caller) {
  if (owner != 0 && owner != caller) return "its folder belongs to user " + std::to_string(owner);
  if ((mode & (S_IWGRP | S_IWOTH)) != 0 && (mode & S_ISVTX) == 0) {
    return std::string("its folder is writable by other users and not sticky");
  }
  return std::nullopt;
}

Result<void> write_output(const std::filesystem::path& file, std::string_view text) {
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    return Failure{std::generic_category().message(errno)};
  }
  if (auto refusal = output_folder_refusal(info.st_uid, info.st_mode, ::geteuid())) {
    return Failure{std::move(*refusal)};
  }
  return replace_file_unsynced_unique(file, text);
}

}  // namespace kelvo
