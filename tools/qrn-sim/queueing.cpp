#include "qrn-sim/queueing.hpp"

#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

template <typename Match>
std::size_t queue_where(const std::vector<std::filesystem::path>& files, const QueuedFrame& frame,
                        Match matches) {
  std::size_t count = 0;
  for (const auto& file : files) {
    const bool queued = update_link(file, [&](Link& link) {
      if (link.revoked || !matches(link)) return false;
      link.queue.push_back(frame);
      return true;
    });
    if (queued) ++count;
  }
  return count;
}

}  // namespace

std::size_t queue_for_owner(const std::filesystem::path& home, std::string_view owner,
                            const QueuedFrame& frame) {
  std::vector<std::filesystem::path> files;
  for (const auto& [file, link] : read_links(home)) {
    if (link.owner == owner) files.push_back(file);
  }
  return queue_where(files, frame, [](const Link&) { return true; });
}

std::size_t queue_for_shell(const std::vector<std::filesystem::path>& files,
                            std::string_view shell_id, const QueuedFrame& frame) {
  return queue_where(files, frame, [&](const Link& link) { return link.shell_id == shell_id; });
}

}  // namespace kelvo::sim
