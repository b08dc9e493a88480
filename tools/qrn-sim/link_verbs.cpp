#include "common/text.hpp"
#include "qrn-sim/args.hpp"
#include "qrn-sim/commands.hpp"
#include "qrn-sim/error.hpp"
#include "qrn-sim/store.hpp"

namespace kelvo::sim {

namespace {

const std::string kLinkUsage =
    "qrn-sim link new --owner OWNER [--shell-id ID] | qrn-sim link revoke TOKEN";
constexpr std::string_view kDefaultShellId = "KELVO-0";

// Owners and shell ids travel as single words of the bound line and of send's argument list.
void require_single_word(const std::string& text, const std::string& what) {
  if (text.empty() || text.starts_with("-") || trim(text) != text ||
      split_whitespace(text).size() != 1) {
    throw SimError(what + " must be one word without white space, not starting with '-'");
  }
}

int link_new(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {{"--owner", "--shell-id"}, {}}, kLinkUsage);
  expect_positional(parsed, 0, kLinkUsage);
  const auto owner = parsed.value("--owner");
  if (!owner) throw usage_error(kLinkUsage);
  const std::string shell_id = parsed.value("--shell-id").value_or(std::string(kDefaultShellId));
  require_single_word(*owner, "the owner");
  require_single_word(shell_id, "the shell id");
  const std::string token = env.new_token();
  const std::uint64_t now = env.now_ms();
  update_state(env.home, [&](SimState& state) {
    Link link;
    link.owner = *owner;
    link.shell_id = shell_id;
    if (!state.links.emplace(token, std::move(link)).second) {
      throw SimError("link token already in use");
    }
    Endpoint fresh;
    fresh.since = now;
    state.endpoints.emplace(*owner, std::move(fresh));
  });
  env.write_out(token + "\n");
  return 0;
}

int link_revoke(Words args, SimEnv& env) {
  const ParsedArgs parsed = parse_args(args, {}, kLinkUsage);
  expect_positional(parsed, 1, kLinkUsage);
  update_state(env.home,
               [&](SimState& state) { link_for(state, parsed.positional[0]).revoked = true; });
  return 0;
}

}  // namespace

int run_link(Words args, SimEnv& env) {
  if (!args.empty() && args[0] == "new") return link_new(args.subspan(1), env);
  if (!args.empty() && args[0] == "revoke") return link_revoke(args.subspan(1), env);
  throw usage_error(kLinkUsage);
}

}  // namespace kelvo::sim
