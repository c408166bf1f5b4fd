// Whether a sanitizer runs the test: their allocators need more address space than a test
// that limits it leaves.
#pragma once

namespace drawlet::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace drawlet::test
