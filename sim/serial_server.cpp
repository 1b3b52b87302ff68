#include "sim/serial_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace pilvo::sim {
namespace {

constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

bool MakeRaw(int fd) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return false;
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

timespec ToTimespec(std::chrono::nanoseconds duration) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  return timespec{static_cast<time_t>(seconds.count()),
                  static_cast<long>((duration - seconds).count())};
}

}  // namespace

SerialSimServer::SerialSimServer(VirtualArm& arm, bool wireTime)
    : arm_(arm),
      wireTime_(wireTime),
      baudRate_(BaudRateOfSpeedCode(arm.record().serialSpeedCode)) {}

SerialSimServer::~SerialSimServer() {
  Stop();
}

bool SerialSimServer::Start() {
  if (thread_.joinable()) return false;
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  std::array<char, 64> name{};
  if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
      ::ptsname_r(master.get(), name.data(), name.size()) != 0) {
    return false;
  }
  UniqueFd slave(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!slave.valid() || !wake.valid() || !MakeRaw(master.get()) || !MakeRaw(slave.get()) ||
      ::fcntl(master.get(), F_SETFL, O_NONBLOCK) != 0) {
    return false;
  }
  master_ = std::move(master);
  slave_ = std::move(slave);
  wake_ = std::move(wake);
  slavePath_ = name.data();
  try {
    thread_ = std::thread(&SerialSimServer::Serve, this);
  } catch (const std::system_error& error) {
    master_.Reset();
    slave_.Reset();
    wake_.Reset();
    slavePath_.clear();
    errno = error.code().value();
    return false;
  }
  return true;
}

void SerialSimServer::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
  }
  master_.Reset();
  slave_.Reset();
  wake_.Reset();
  slavePath_.clear();
}

void SerialSimServer::Serve() {
  std::vector<std::uint8_t> request;
  for (;;) {
    if (WaitForInput() == Wait::Stopped) return;
    // A board answers each address as it comes in, so whatever has arrived is answered now.
    request.clear();
    ReadAvailable(request);
    if (request.empty()) continue;
    const std::vector<std::uint8_t> reply = arm_.HandleSerialRequest(request);
    if (reply.empty()) continue;
    if (wireTime_) {
      const auto bits = static_cast<std::int64_t>((request.size() + reply.size()) * kBitsPerByte);
      const std::chrono::nanoseconds lineTime{bits * 1'000'000'000 / baudRate_};
      // Waiting on the wake-up alone: the host's next request waits its turn, as on a line.
      pollfd wake{wake_.get(), POLLIN, 0};
      const timespec limit = ToTimespec(lineTime);
      if (::ppoll(&wake, 1, &limit, nullptr) > 0) return;
    }
    WriteReply(reply);
  }
}

SerialSimServer::Wait SerialSimServer::WaitForInput() const {
  std::array<pollfd, 2> entries{pollfd{wake_.get(), POLLIN, 0}, pollfd{master_.get(), POLLIN, 0}};
  int ready = 0;
  do {
    ready = ::ppoll(entries.data(), entries.size(), nullptr, nullptr);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0 || entries[0].revents != 0) return Wait::Stopped;
  if ((entries[1].revents & POLLIN) != 0) return Wait::Readable;
  if (entries[1].revents != 0) {
    // Hang-up or error without data (cannot happen while the slave is held): pause instead of
    // spinning, still awake to Stop.
    const timespec pause = ToTimespec(kHangUpPause);
    return ::ppoll(entries.data(), 1, &pause, nullptr) == 0 ? Wait::Quiet : Wait::Stopped;
  }
  return Wait::Quiet;
}

void SerialSimServer::ReadAvailable(std::vector<std::uint8_t>& request) const {
  std::array<std::uint8_t, kMaxRegisterList> buffer{};
  const std::size_t room = kMaxRegisterList - request.size();
  ssize_t count = 0;
  do {
    count = ::read(master_.get(), buffer.data(), room);
  } while (count < 0 && errno == EINTR);
  if (count > 0) request.insert(request.end(), buffer.begin(), buffer.begin() + count);
}

void SerialSimServer::WriteReply(const std::vector<std::uint8_t>& reply) const {
  std::size_t written = 0;
  while (written < reply.size()) {
    const ssize_t count = ::write(master_.get(), reply.data() + written, reply.size() - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the host's input queue is full: the rest is lost, as on an overrun line
    }
  }
}

}  // namespace pilvo::sim
