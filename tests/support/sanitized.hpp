#pragma once

namespace kelvo::testing {

// In a sanitizer tree (KELVO_SANITIZE) every program the tests start is several times slower, and
// AddressSanitizer's allocator keeps freed memory. Stress tests run fewer rounds there: memory
// errors show on the first rounds, and the plain build runs them all. It is the tree's setting,
// not the compiler's: the black-box tests' own code is compiled without the sanitizers.
#ifdef KELVO_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// `full` rounds in the plain build, `sanitized` under AddressSanitizer.
constexpr int stress_rounds(int full, int sanitized) { return kSanitized ? sanitized : full; }

}  // namespace kelvo::testing
