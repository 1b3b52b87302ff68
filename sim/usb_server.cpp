#include "sim/usb_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "platform/mpusbapi/mpusbapi.h"
#include "sim/usb_devices.h"
#include "sim/usb_wire.h"

namespace pilvo::sim {
namespace {

using Clock = std::chrono::steady_clock;

// While pipes are open the arms are looked at this often, so that an unplug is noticed even when
// no request comes in meanwhile.
constexpr std::chrono::milliseconds kPlugCheckInterval{20};
constexpr int kListenBacklog = 16;
constexpr std::size_t kMaxConnections = 256;
// A client is not read from while it has sent, or left unread, more than this.
constexpr std::size_t kBufferLimit = 2 * (wire::kHeaderSize + wire::kMaxPayload);

struct PendingRead {
  std::uint32_t maxLength = 0;
  Clock::time_point deadline;
};

struct Connection {
  UniqueFd socket;
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
  std::optional<UsbPipe> pipe;
  std::optional<PendingRead> pendingRead;
  bool closed = false;
};

// The serving thread's state: the devices and the connections, touched by that thread only.
class ServeLoop {
 public:
  ServeLoop(std::vector<VirtualArm*> arms, int listener, int wake)
      : devices_(std::move(arms)), listener_(listener), wake_(wake) {}

  // Returns when the wake-up descriptor is signalled.
  void Run();

 private:
  void AcceptAll();
  void Receive(Connection& connection);
  void Send(Connection& connection);
  // Answers one request or the pending read; false when the connection has to wait.
  bool Advance(Connection& connection, Clock::time_point now);
  void Handle(Connection& connection, const wire::Header& header,
              std::span<const std::uint8_t> payload, Clock::time_point now);
  void OpenPipe(Connection& connection, std::uint32_t instance, std::uint32_t direction);
  bool FinishRead(Connection& connection, Clock::time_point now);
  int PollTimeoutMs(Clock::time_point now) const;

  UsbDevices devices_;
  int listener_;
  int wake_;
  std::vector<Connection> connections_;
};

void Respond(Connection& connection, wire::Status status, std::uint32_t value = 0,
             std::span<const std::uint8_t> payload = {}) {
  wire::AppendFrame(connection.output, static_cast<std::uint8_t>(status), value, 0, payload);
}

void ServeLoop::Run() {
  std::vector<pollfd> polled;
  while (true) {
    polled.clear();
    polled.push_back({wake_, POLLIN, 0});
    polled.push_back({listener_, POLLIN, 0});
    for (const Connection& connection : connections_) {
      short events = connection.input.size() < kBufferLimit ? POLLIN : 0;
      if (!connection.output.empty()) events |= POLLOUT;
      polled.push_back({connection.socket.get(), events, 0});
    }
    if (::poll(polled.data(), polled.size(), PollTimeoutMs(Clock::now())) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (polled[0].revents != 0) return;

    for (std::size_t i = 0; i < connections_.size(); ++i) {
      const short revents = polled[i + 2].revents;
      if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) Receive(connections_[i]);
      if ((revents & POLLOUT) != 0) Send(connections_[i]);
    }
    if ((polled[1].revents & POLLIN) != 0) AcceptAll();

    devices_.Refresh();
    const Clock::time_point now = Clock::now();
    for (bool progress = true; progress;) {
      progress = false;
      for (Connection& connection : connections_) progress = Advance(connection, now) || progress;
    }
    for (Connection& connection : connections_) Send(connection);
    std::erase_if(connections_, [](const Connection& connection) { return connection.closed; });
  }
}

void ServeLoop::AcceptAll() {
  while (true) {
    UniqueFd socket(::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!socket.valid()) {
      if (errno == EINTR) continue;
      return;
    }
    // Past the limit the connection is closed at once: the client sees the device vanish.
    if (connections_.size() < kMaxConnections) {
      connections_.emplace_back().socket = std::move(socket);
    }
  }
}

void ServeLoop::Receive(Connection& connection) {
  std::uint8_t chunk[4096];
  while (!connection.closed && connection.input.size() < kBufferLimit) {
    const ssize_t received = ::recv(connection.socket.get(), chunk, sizeof(chunk), 0);
    if (received > 0) {
      connection.input.insert(connection.input.end(), chunk, chunk + received);
    } else if (received < 0 && errno == EINTR) {
      continue;
    } else {
      if (received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) connection.closed = true;
      return;
    }
  }
}

void ServeLoop::Send(Connection& connection) {
  while (!connection.closed && !connection.output.empty()) {
    const ssize_t sent = ::send(connection.socket.get(), connection.output.data(),
                                connection.output.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      connection.output.erase(connection.output.begin(), connection.output.begin() + sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN && errno != EWOULDBLOCK) connection.closed = true;
      return;
    }
  }
}

bool ServeLoop::Advance(Connection& connection, Clock::time_point now) {
  if (connection.closed) return false;
  if (connection.pendingRead) return FinishRead(connection, now);
  if (connection.output.size() >= kBufferLimit || connection.input.size() < wire::kHeaderSize) {
    return false;
  }
  const std::span<const std::uint8_t> input(connection.input);
  const wire::Header header = wire::ParseHeader(input.first<wire::kHeaderSize>());
  if (header.payloadLength > wire::kMaxPayload) {
    connection.closed = true;
    return false;
  }
  const std::size_t frameSize = wire::kHeaderSize + header.payloadLength;
  if (input.size() < frameSize) return false;
  Handle(connection, header, input.subspan(wire::kHeaderSize, header.payloadLength), now);
  connection.input.erase(connection.input.begin(),
                         connection.input.begin() + static_cast<std::ptrdiff_t>(frameSize));
  return true;
}

void ServeLoop::Handle(Connection& connection, const wire::Header& header,
                       std::span<const std::uint8_t> payload, Clock::time_point now) {
  const auto expects = [&](std::uint32_t direction) {
    return connection.pipe && connection.pipe->direction == direction;
  };
  switch (static_cast<wire::Op>(header.code)) {
    case wire::Op::kCount:
      Respond(connection, wire::Status::kOk, devices_.Count());
      return;
    case wire::Op::kOpen:
      OpenPipe(connection, header.argument0, header.argument1);
      return;
    case wire::Op::kWrite:
      if (!expects(MPUSB_DIRECTION_WRITE)) break;
      if (const wire::Status status = devices_.Write(*connection.pipe, payload);
          status == wire::Status::kOk) {
        Respond(connection, status, header.payloadLength);
      } else {
        Respond(connection, status);
      }
      return;
    case wire::Op::kRead:
      if (!expects(MPUSB_DIRECTION_READ)) break;
      connection.pendingRead =
          PendingRead{header.argument0, now + std::chrono::milliseconds(header.argument1)};
      FinishRead(connection, now);
      return;
  }
  Respond(connection, wire::Status::kBadRequest);
}

void ServeLoop::OpenPipe(Connection& connection, std::uint32_t instance, std::uint32_t direction) {
  if (connection.pipe ||
      (direction != MPUSB_DIRECTION_WRITE && direction != MPUSB_DIRECTION_READ)) {
    Respond(connection, wire::Status::kBadRequest);
  } else if (const std::optional<UsbPipe> pipe = devices_.Open(instance, direction)) {
    connection.pipe = pipe;
    Respond(connection, wire::Status::kOk);
  } else {
    Respond(connection, wire::Status::kNoDevice);
  }
}

bool ServeLoop::FinishRead(Connection& connection, Clock::time_point now) {
  const PendingRead read = *connection.pendingRead;
  if (!devices_.Alive(*connection.pipe)) {
    Respond(connection, wire::Status::kGone);
  } else if (const std::optional<std::vector<std::uint8_t>> reply =
                 devices_.TakeReply(*connection.pipe)) {
    if (reply->size() > read.maxLength) {
      Respond(connection, wire::Status::kOverflow);
    } else {
      Respond(connection, wire::Status::kOk, static_cast<std::uint32_t>(reply->size()), *reply);
    }
  } else if (now >= read.deadline) {
    Respond(connection, wire::Status::kTimedOut);
  } else {
    return false;
  }
  connection.pendingRead.reset();
  return true;
}

int ServeLoop::PollTimeoutMs(Clock::time_point now) const {
  std::optional<Clock::time_point> wakeAt;
  const auto earliest = [&](Clock::time_point at) { wakeAt = wakeAt ? std::min(*wakeAt, at) : at; };
  for (const Connection& connection : connections_) {
    if (connection.pendingRead) earliest(connection.pendingRead->deadline);
    if (connection.pipe) earliest(now + kPlugCheckInterval);
  }
  if (!wakeAt) return -1;
  if (*wakeAt <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now).count();
  return static_cast<int>(std::min<decltype(wait)>(wait, INT_MAX));
}

// A server that still listens on the path accepts (or at least queues) a connection; the socket
// of one that has gone refuses it.
bool AnotherServerAnswers(const sockaddr_un& address) {
  const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return false;
  const int result =
      ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  return result == 0 || errno == EAGAIN || errno == EINPROGRESS;
}

}  // namespace

UsbSimServer::UsbSimServer(std::vector<VirtualArm*> arms, std::string socketPath)
    : arms_(std::move(arms)), socketPath_(std::move(socketPath)) {}

UsbSimServer::~UsbSimServer() {
  Stop();
}

bool UsbSimServer::Start() {
  sockaddr_un address{};
  if (thread_.joinable() || !wire::MakeUnixAddress(socketPath_, address)) return false;
  struct stat existing {};
  if (::lstat(socketPath_.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode) || AnotherServerAnswers(address)) return false;
    ::unlink(socketPath_.c_str());
  }
  UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!listener.valid() || !wake.valid() ||
      ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return false;
  }
  if (::listen(listener.get(), kListenBacklog) != 0 ||
      ::lstat(socketPath_.c_str(), &existing) != 0) {
    ::unlink(socketPath_.c_str());
    return false;
  }
  socketInode_ = existing.st_ino;
  listener_ = std::move(listener);
  wake_ = std::move(wake);
  thread_ = std::thread([this] { ServeLoop(arms_, listener_.get(), wake_.get()).Run(); });
  return true;
}

void UsbSimServer::Stop() {
  if (!thread_.joinable()) return;
  const std::uint64_t signal = 1;
  while (::write(wake_.get(), &signal, sizeof(signal)) < 0 && errno == EINTR) {
  }
  thread_.join();
  // Only our own socket file: a later server may have replaced it.
  struct stat current {};
  if (::lstat(socketPath_.c_str(), &current) == 0 && current.st_ino == socketInode_) {
    ::unlink(socketPath_.c_str());
  }
  listener_.Reset();
  wake_.Reset();
}

}  // namespace pilvo::sim
