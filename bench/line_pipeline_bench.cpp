// The loop's line sorting against its floor: a signed line's MAC is checked once, under the key
// the run derived from the link at start-up, and the frame is then read by its type. The floor is
// one bare HMAC-SHA256 computation over the same frame text with libcrypto, the key derived once:
// - one-shot: libcrypto's HMAC() call, as a program that just wants a MAC makes it;
// - arithmetic: EVP_MAC fetched once and one context re-keyed, nothing but the MAC arithmetic.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <array>
#include <string>

#include "canned_host.hpp"
#include "cycle/poll_line.hpp"
#include "frame/frame_mac.hpp"
#include "qrn-sim/frames.hpp"

namespace kelvo::bench {
namespace {

std::string command_frame() { return sim::shell_command_frame("status", "{}"); }

std::string io_frame() {
  return sim::agent_output_frame(
      "Pushed the fix; CI is running, back in about 20 minutes. !!wait=20!!", 7, false);
}

void sort_line(benchmark::State& state, const std::string& frame) {
  const std::string line = *sign_frame(frame, kLink);
  const FrameKey key = derive_frame_key(kLink);
  for (auto _ : state) benchmark::DoNotOptimize(sort_poll_line(line, key));
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(line.size()) + " B line");
}

std::array<unsigned char, SHA256_DIGEST_LENGTH> frame_key() {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> key{};
  SHA256(reinterpret_cast<const unsigned char*>(kLink.data()), kLink.size(), key.data());
  return key;
}

// One-shot HMAC() calls over the frame text.
void hmac_one_shot_floor(benchmark::State& state, const std::string& frame) {
  const auto key = frame_key();
  std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
  unsigned int out_length = 0;
  for (auto _ : state) {
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(frame.data()), frame.size(), out.data(),
         &out_length);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

// HMAC-SHA256 computations of the frame text: EVP_MAC fetched once, one context re-keyed.
void hmac_arithmetic_floor(benchmark::State& state, const std::string& frame) {
  const auto key = frame_key();
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
  char digest_name[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest_name, 0),
                               OSSL_PARAM_construct_end()};
  std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
  std::size_t out_length = 0;
  for (auto _ : state) {
    EVP_MAC_init(ctx, key.data(), key.size(), params);
    EVP_MAC_update(ctx, reinterpret_cast<const unsigned char*>(frame.data()), frame.size());
    EVP_MAC_final(ctx, out.data(), &out_length, out.size());
    benchmark::DoNotOptimize(out);
  }
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
  state.SetItemsProcessed(state.iterations());
}

void BM_SortCommandLine(benchmark::State& state) { sort_line(state, command_frame()); }
void BM_HmacOneShotCommandLine(benchmark::State& state) {
  hmac_one_shot_floor(state, command_frame());
}
void BM_HmacArithmeticCommandLine(benchmark::State& state) {
  hmac_arithmetic_floor(state, command_frame());
}
void BM_SortIoLine(benchmark::State& state) { sort_line(state, io_frame()); }
void BM_HmacOneShotIoLine(benchmark::State& state) { hmac_one_shot_floor(state, io_frame()); }
void BM_HmacArithmeticIoLine(benchmark::State& state) { hmac_arithmetic_floor(state, io_frame()); }

BENCHMARK(BM_SortCommandLine);
BENCHMARK(BM_HmacOneShotCommandLine);
BENCHMARK(BM_HmacArithmeticCommandLine);
BENCHMARK(BM_SortIoLine);
BENCHMARK(BM_HmacOneShotIoLine);
BENCHMARK(BM_HmacArithmeticIoLine);

}  // namespace
}  // namespace kelvo::bench
