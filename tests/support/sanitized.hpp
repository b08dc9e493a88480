#pragma once

namespace kelvo::testing {

// Under AddressSanitizer every program the tests start is several times slower, and its
// allocator keeps freed memory. Stress tests run fewer rounds there: memory errors show on the
// first rounds, and the plain build runs them all.
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// `full` rounds in the plain build, `sanitized` under AddressSanitizer.
constexpr int stress_rounds(int full, int sanitized) { return kSanitized ? sanitized : full; }

}  // namespace kelvo::testing
