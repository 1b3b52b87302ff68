// How much memory the process holds, to tell a leak or a slow growth from the first use of
// buffers and caches.
#pragma once

namespace pilvo::soak {

// The resident set, kilobytes, from /proc/self/statm; -1 when it cannot be read.
long ResidentKilobytes();

// AddressSanitizer keeps freed memory in quarantine, so the resident set grows by design there
// and only LeakSanitizer's report at exit tells of leaks.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentSetTellsLeaks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kResidentSetTellsLeaks = false;
#else
inline constexpr bool kResidentSetTellsLeaks = true;
#endif
#else
inline constexpr bool kResidentSetTellsLeaks = true;
#endif

}  // namespace pilvo::soak
