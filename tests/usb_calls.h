// Calls of a USB access library as the tests make them, linked directly.
#pragma once

#include <cerrno>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/mpusbapi/mpusbapi.h"

namespace pilvo::testing {

// The errno a call leaves when it fails, 0 when it succeeds.
template <typename Call>
int ErrnoOf(Call call) {
  errno = 0;
  const auto result = call();
  if constexpr (std::is_pointer_v<decltype(result)>) {
    return result == MPUSB_INVALID_HANDLE ? errno : 0;
  } else {
    return result == 0 ? errno : 0;
  }
}

// The reply to `request`, or nothing with errno set by the failing call.
inline std::optional<std::vector<std::uint8_t>> Exchange(MPUSB_HANDLE out, MPUSB_HANDLE in,
                                                         const std::vector<std::uint8_t>& request) {
  std::uint32_t moved = 0;
  std::vector<std::uint8_t> reply(64);
  const auto size = static_cast<std::uint32_t>(request.size());
  if (!_MPUSBWrite(out, request.data(), size, &moved, 100) || moved != size ||
      !_MPUSBRead(in, reply.data(), 64, &moved, 100)) {
    return std::nullopt;
  }
  reply.resize(moved);
  return reply;
}

}  // namespace pilvo::testing
