// The framing between the virtual arm's USB server and the simulator flavour of the USB access
// library, on a Unix stream socket. Header-only, so that the library needs nothing else of ours.
//
// Every frame, in both directions: code (1 byte), argument 0, argument 1, payload length (4 bytes
// each, little-endian), then the payload. A request's code is an Op, a response's a Status with
// its value in argument 0. Each request gets exactly one response, in order.
//
// One connection is one pipe: kOpen binds it to a device and a direction, and closing the
// connection closes the pipe.
//   kCount                          → kOk, argument 0 = devices present
//   kOpen  (instance, direction)    → kOk; kNoDevice; kBadRequest (direction, already open)
//   kWrite payload = request packet → kOk, argument 0 = bytes taken; kGone; kTimedOut (the
//                                     device holds too many unread replies)
//   kRead  (max length, time-out)   → kOk with the oldest reply packet; kTimedOut; kGone;
//                                     kOverflow (the packet was longer than the read; it is lost)
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace pilvo::sim::wire {

enum class Op : std::uint8_t { kCount = 1, kOpen = 2, kWrite = 3, kRead = 4 };

enum class Status : std::uint8_t {
  kOk = 0,
  kNoDevice = 1,    // no device at that instance
  kGone = 2,        // the pipe's device has been unplugged since the pipe was opened
  kTimedOut = 3,    // nothing to read within the time-out, or the device takes no more
  kOverflow = 4,    // the reply packet did not fit the read
  kBadRequest = 5,  // the request does not fit the connection's state
};

inline constexpr std::size_t kHeaderSize = 13;
// Larger than any packet of the arm; a longer frame ends the connection.
inline constexpr std::uint32_t kMaxPayload = 4096;

struct Header {
  std::uint8_t code = 0;
  std::uint32_t argument0 = 0;
  std::uint32_t argument1 = 0;
  std::uint32_t payloadLength = 0;
};

inline void AppendFrame(std::vector<std::uint8_t>& out, std::uint8_t code, std::uint32_t argument0,
                        std::uint32_t argument1, std::span<const std::uint8_t> payload) {
  out.push_back(code);
  for (const std::uint32_t word :
       {argument0, argument1, static_cast<std::uint32_t>(payload.size())}) {
    for (int shift = 0; shift < 32; shift += 8)
      out.push_back(static_cast<std::uint8_t>(word >> shift));
  }
  out.insert(out.end(), payload.begin(), payload.end());
}

inline Header ParseHeader(std::span<const std::uint8_t, kHeaderSize> bytes) {
  const auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
    return value;
  };
  return Header{bytes[0], word(1), word(5), word(9)};
}

// PILVO_SIM_USB_SOCKET, else $XDG_RUNTIME_DIR/pilvo-sim-usb.sock, else
// /tmp/pilvo-sim-usb-<uid>.sock.
inline std::string UsbSocketPath() {
  if (const char* path = std::getenv("PILVO_SIM_USB_SOCKET"); path != nullptr && *path != '\0') {
    return path;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return std::string(runtime) + "/pilvo-sim-usb.sock";
  }
  return "/tmp/pilvo-sim-usb-" + std::to_string(::getuid()) + ".sock";
}

// False when the path does not fit a socket address.
inline bool MakeUnixAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace pilvo::sim::wire
