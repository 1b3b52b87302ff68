// The simulator flavour of the USB access library: the seven entry points of mpusbapi.h, served
// by the virtual arm's USB server on a Unix socket (sim/usb_wire.h). Each pipe is a connection
// of its own; a handle is a number that is never reused, so a stale handle cannot reach
// another pipe. Without a server there are no devices.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/mpusbapi/mpusbapi.h"
#include "sim/unique_fd.h"
#include "sim/usb_wire.h"

namespace pilvo::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLibraryVersion = 0x01000000;  // 1.0.0.0
constexpr std::string_view kArmVidPid = "vid_04d8&pid_feab";
constexpr std::string_view kEndpointPrefix = "\\MCHP_EP";
constexpr unsigned kArmEndpoint = 1;
// How long a call waits for the server beyond its own time-out before taking it for gone.
constexpr std::chrono::milliseconds kServerGrace{2000};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "vid_XXXX&pid_YYYY" in any case.
bool IsVidPidText(std::string_view text) {
  constexpr std::string_view kShape = "vid_####&pid_####";
  return text.size() == kShape.size() && std::ranges::equal(text, kShape, [](char c, char shape) {
           return shape == '#' ? IsHexDigit(c) : EqualIgnoringCase({&c, 1}, {&shape, 1});
         });
}

// 0 when the text names the arm's bulk endpoint, else the errno of the refusal.
int CheckEndpoint(const char* endpoint) {
  if (endpoint == nullptr) return EINVAL;
  const std::string_view text(endpoint);
  if (text.size() <= kEndpointPrefix.size() ||
      !EqualIgnoringCase(text.substr(0, kEndpointPrefix.size()), kEndpointPrefix)) {
    return EINVAL;
  }
  unsigned number = 0;
  for (const char digit : text.substr(kEndpointPrefix.size())) {
    if (digit < '0' || digit > '9' || number > 15) return EINVAL;
    number = number * 10 + static_cast<unsigned>(digit - '0');
  }
  return number == kArmEndpoint ? 0 : ENODEV;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready =
        ::poll(&entry, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool SendAll(int fd, std::span<const std::uint8_t> bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(sent));
    } else if (sent < 0 && errno != EINTR &&
               ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd, POLLOUT, deadline))) {
      return false;
    }
  }
  return true;
}

bool ReceiveExactly(int fd, std::span<std::uint8_t> bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t received = ::recv(fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
    if (received > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(received));
    } else if (received == 0 || (errno != EINTR && ((errno != EAGAIN && errno != EWOULDBLOCK) ||
                                                    !WaitFor(fd, POLLIN, deadline)))) {
      return false;
    }
  }
  return true;
}

struct Response {
  wire::Status status = wire::Status::kOk;
  std::uint32_t value = 0;
  std::vector<std::uint8_t> payload;
};

// One request and its response; nothing when the server has gone, broke the framing or did not
// answer by the deadline.
std::optional<Response> Exchange(int fd, wire::Op op, std::uint32_t argument0,
                                 std::uint32_t argument1, std::span<const std::uint8_t> payload,
                                 Clock::time_point deadline) {
  std::vector<std::uint8_t> request;
  wire::AppendFrame(request, static_cast<std::uint8_t>(op), argument0, argument1, payload);
  std::uint8_t headerBytes[wire::kHeaderSize];
  if (!SendAll(fd, request, deadline) || !ReceiveExactly(fd, headerBytes, deadline)) {
    return std::nullopt;
  }
  const wire::Header header = wire::ParseHeader(headerBytes);
  if (header.payloadLength > wire::kMaxPayload) return std::nullopt;
  Response response{static_cast<wire::Status>(header.code), header.argument0,
                    std::vector<std::uint8_t>(header.payloadLength)};
  if (!ReceiveExactly(fd, response.payload, deadline)) return std::nullopt;
  return response;
}

int ErrnoOfStatus(wire::Status status) {
  switch (status) {
    case wire::Status::kOk:
      return 0;
    case wire::Status::kNoDevice:
      return ENODEV;
    case wire::Status::kGone:
      return EBADF;
    case wire::Status::kTimedOut:
      return ETIMEDOUT;
    case wire::Status::kOverflow:
      return EIO;
    case wire::Status::kBadRequest:
      return EINVAL;
  }
  return EIO;
}

UniqueFd ConnectToServer() {
  sockaddr_un address{};
  if (!wire::MakeUnixAddress(wire::UsbSocketPath(), address)) return {};
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  // A Unix socket connects at once or not at all; a full backlog counts as no server.
  if (socket.valid() &&
      ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    socket.Reset();
  }
  return socket;
}

struct Pipe {
  explicit Pipe(UniqueFd connection) : socket(std::move(connection)) {}
  UniqueFd socket;
  std::mutex transfer;  // one transfer at a time on a pipe
  bool broken = false;  // the connection lost its framing: the pipe is dead
};

// The open pipes. A call holds its pipe by shared pointer, so a close from another thread frees
// the pipe only when that call is done.
class PipeTable {
 public:
  MPUSB_HANDLE Add(std::shared_ptr<Pipe> pipe) {
    const std::lock_guard lock(mutex_);
    const std::uintptr_t id = nextId_++;
    pipes_.emplace(id, std::move(pipe));
    return reinterpret_cast<MPUSB_HANDLE>(id);
  }
  std::shared_ptr<Pipe> Find(MPUSB_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    const auto found = pipes_.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == pipes_.end() ? nullptr : found->second;
  }
  bool Remove(MPUSB_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    return pipes_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Pipe>> pipes_;
  std::uintptr_t nextId_ = 1;  // never 0, never the invalid handle
};

PipeTable& Pipes() {
  static PipeTable table;
  return table;
}

std::uint32_t DeviceCount(const char* vidPid) {
  if (vidPid == nullptr || !EqualIgnoringCase(vidPid, kArmVidPid)) return 0;
  const UniqueFd socket = ConnectToServer();
  if (!socket.valid()) return 0;
  const std::optional<Response> response =
      Exchange(socket.get(), wire::Op::kCount, 0, 0, {}, Clock::now() + kServerGrace);
  return response && response->status == wire::Status::kOk ? response->value : 0;
}

// 0 and the pipe's handle, or the errno of the failure.
int OpenPipe(std::uint32_t instance, const char* vidPid, const char* endpoint,
             std::uint32_t direction, std::uint32_t reserved, MPUSB_HANDLE& handle) {
  if (vidPid == nullptr || !IsVidPidText(vidPid) || direction > MPUSB_DIRECTION_READ ||
      reserved != 0) {
    return EINVAL;
  }
  if (const int refused = CheckEndpoint(endpoint); refused != 0) return refused;
  if (!EqualIgnoringCase(vidPid, kArmVidPid)) return ENODEV;
  UniqueFd socket = ConnectToServer();
  if (!socket.valid()) return ENODEV;
  const std::optional<Response> response =
      Exchange(socket.get(), wire::Op::kOpen, instance, direction, {}, Clock::now() + kServerGrace);
  if (!response) return ENODEV;
  if (response->status != wire::Status::kOk) return ErrnoOfStatus(response->status);
  handle = Pipes().Add(std::make_shared<Pipe>(std::move(socket)));
  return 0;
}

// 0, or the errno of the failure. A server that has gone shows as an unplugged device.
int Transfer(MPUSB_HANDLE handle, wire::Op op, std::span<const std::uint8_t> outgoing,
             std::span<std::uint8_t> incoming, std::uint32_t timeoutMs,
             std::uint32_t& transferred) {
  const std::shared_ptr<Pipe> pipe = Pipes().Find(handle);
  if (!pipe) return EBADF;
  const std::lock_guard lock(pipe->transfer);
  if (pipe->broken) return EBADF;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs) + kServerGrace;
  const std::uint32_t maxLength = static_cast<std::uint32_t>(incoming.size());
  const std::optional<Response> response =
      Exchange(pipe->socket.get(), op, maxLength, timeoutMs, outgoing, deadline);
  if (!response || response->payload.size() > incoming.size()) {
    pipe->broken = true;
    return EBADF;
  }
  if (response->status != wire::Status::kOk) return ErrnoOfStatus(response->status);
  std::ranges::copy(response->payload, incoming.begin());
  transferred = op == wire::Op::kRead ? static_cast<std::uint32_t>(response->payload.size())
                                      : response->value;
  return 0;
}

int WritePipe(MPUSB_HANDLE handle, const void* data, std::uint32_t length,
              std::uint32_t* transferred, std::uint32_t timeoutMs) {
  if (transferred == nullptr || (data == nullptr && length != 0)) return EINVAL;
  *transferred = 0;
  if (length > wire::kMaxPayload) return EINVAL;
  return Transfer(handle, wire::Op::kWrite, {static_cast<const std::uint8_t*>(data), length}, {},
                  timeoutMs, *transferred);
}

int ReadPipe(MPUSB_HANDLE handle, void* data, std::uint32_t length, std::uint32_t* transferred,
             std::uint32_t timeoutMs) {
  if (transferred == nullptr || (data == nullptr && length != 0)) return EINVAL;
  *transferred = 0;
  return Transfer(handle, wire::Op::kRead, {},
                  {static_cast<std::uint8_t*>(data), std::min(length, wire::kMaxPayload)},
                  timeoutMs, *transferred);
}

// Runs an entry point's work: nothing thrown crosses the C boundary, and errno is set last, after
// every lock and descriptor of the work has been released.
template <typename Work>
bool Succeeded(Work&& work) {
  int error = 0;
  try {
    error = work();
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  } catch (...) {
    error = EIO;
  }
  if (error != 0) errno = error;
  return error == 0;
}

}  // namespace
}  // namespace pilvo::sim

using pilvo::sim::Succeeded;

[[gnu::visibility("default")]] uint32_t _MPUSBGetDLLVersion(void) {
  return pilvo::sim::kLibraryVersion;
}

[[gnu::visibility("default")]] uint32_t _MPUSBGetDeviceCount(const char* vidPid) {
  std::uint32_t count = 0;
  Succeeded([&] {
    count = pilvo::sim::DeviceCount(vidPid);
    return 0;
  });
  return count;
}

[[gnu::visibility("default")]] MPUSB_HANDLE _MPUSBOpen(uint32_t instance, const char* vidPid,
                                                       const char* endpoint, uint32_t direction,
                                                       uint32_t reserved) {
  MPUSB_HANDLE handle = MPUSB_INVALID_HANDLE;
  Succeeded([&] {
    return pilvo::sim::OpenPipe(instance, vidPid, endpoint, direction, reserved, handle);
  });
  return handle;
}

[[gnu::visibility("default")]] uint32_t _MPUSBWrite(MPUSB_HANDLE pipe, const void* data,
                                                    uint32_t length, uint32_t* transferred,
                                                    uint32_t timeoutMs) {
  return Succeeded(
      [&] { return pilvo::sim::WritePipe(pipe, data, length, transferred, timeoutMs); });
}

[[gnu::visibility("default")]] uint32_t _MPUSBRead(MPUSB_HANDLE pipe, void* data, uint32_t length,
                                                   uint32_t* transferred, uint32_t timeoutMs) {
  return Succeeded(
      [&] { return pilvo::sim::ReadPipe(pipe, data, length, transferred, timeoutMs); });
}

// The virtual arm has bulk endpoints only; an interrupt read takes the same replies.
[[gnu::visibility("default")]] uint32_t _MPUSBReadInt(MPUSB_HANDLE pipe, void* data,
                                                      uint32_t length, uint32_t* transferred,
                                                      uint32_t timeoutMs) {
  return _MPUSBRead(pipe, data, length, transferred, timeoutMs);
}

[[gnu::visibility("default")]] int32_t _MPUSBClose(MPUSB_HANDLE pipe) {
  return Succeeded([&] { return pilvo::sim::Pipes().Remove(pipe) ? 0 : EBADF; });
}
