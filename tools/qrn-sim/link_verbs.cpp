#include <filesystem>
#include <optional>

#include "common/text.hpp"
#include "qrn-sim/args.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kLinkUsage =
    "qrn-sim link new --owner OWNER [--shell-id ID] | qrn-sim link revoke TOKEN";

// Owners and shell ids travel as single words of the bound line and of send's argument list.
void require_single_word(const std::string& text, const std::string& what) {
  if (text.empty() || text.starts_with("-") || trim(text) != text ||
      split_whitespace(text).size() != 1) {
    throw SimError(what + " must be one word without white space, not starting with '-'");
  }
}

// The owner's endpoint, made idle since `now` when this is the owner's first link.
void ensure_endpoint(const std::filesystem::path& file, std::uint64_t now) {
  if (load_endpoint(file)) return;
  Endpoint fresh;
  fresh.since = now;
  save_endpoint(file, fresh);
}

int link_new(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--owner", "--shell-id"}, {}}, kLinkUsage);
  expect_positional(parsed, 0, kLinkUsage);
  const auto owner = parsed.value("--owner");
  if (!owner) throw usage_error(kLinkUsage);
  const auto pinned_id = parsed.value("--shell-id");
  require_single_word(*owner, "the owner");
  if (pinned_id) require_single_word(*pinned_id, "the shell id");
  const std::string token = env.new_token();
  const std::filesystem::path owner_file = endpoint_file(env.home, *owner);
  FileLock owner_lock(owner_file, LockMode::Exclusive);
  Link link;
  link.owner = *owner;
  link.shell_id = pinned_id.value_or(next_free_shell_id(ids_in_use(read_links(env.home), *owner)));
  const std::filesystem::path file = link_file(env.home, token);
  FileLock link_lock(file, LockMode::Exclusive);
  if (load_link(file)) throw SimError("link token already in use");
  ensure_endpoint(owner_file, env.now_ms());
  save_link(file, link);
  env.write_out(token + "\n");
  return 0;
}

int link_revoke(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {}, kLinkUsage);
  expect_positional(parsed, 1, kLinkUsage);
  const std::filesystem::path file = link_file(env.home, parsed.positional[0]);
  const std::optional<Link> found = read_link(file);
  if (!found) throw SimError("unknown link token");
  FileLock owner_lock(endpoint_file(env.home, found->owner), LockMode::Exclusive);
  update_link(file, [](Link& link) {
    link.revoked = true;
    return true;
  });
  return 0;
}

}  // namespace

int run_link(Words args, SimEnv& env) {
  if (!args.empty() && args[0] == "new") return link_new(args.subspan(1), env);
  if (!args.empty() && args[0] == "revoke") return link_revoke(args.subspan(1), env);
  throw usage_error(kLinkUsage);
}

}  // namespace kelvo::sim
