#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <limits>
#include <optional>

namespace pilvo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollForever = -1;

std::optional<speed_t> SpeedOfBaudRate(int baudRate) {
  switch (baudRate) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    default:
      return std::nullopt;
  }
}

// Whole milliseconds left until `limitMs` after `since`, rounded up so that a wait never ends
// before the limit; 0 once the limit has passed. Kept in integers so that any limit, however
// large, neither overflows nor wraps.
std::uint64_t MillisecondsLeft(Clock::time_point since, std::uint64_t limitMs) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since);
  const auto elapsedMs = static_cast<std::uint64_t>(std::max<std::int64_t>(elapsed.count(), 0));
  return limitMs > elapsedMs ? limitMs - elapsedMs : 0;
}

// The whole read's budget: multiplier x n + constant, saturated rather than wrapped.
std::uint64_t TotalBudgetMs(const SerialTimeouts& timeouts, std::size_t byteCount) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t multiplier = timeouts.readTotalMultiplier;
  const std::uint64_t perBytes =
      multiplier != 0 && byteCount > kMax / multiplier ? kMax : multiplier * byteCount;
  return std::min(perBytes, kMax - timeouts.readTotalConstant) + timeouts.readTotalConstant;
}

int PollTimeout(std::uint64_t milliseconds) {
  return static_cast<int>(std::min<std::uint64_t>(milliseconds, INT_MAX));
}

enum class WaitResult { kReady, kTimedOut, kFailed };

// Waits until the port can be read (POLLIN) or written (POLLOUT). kFailed: the device is gone or
// in error.
WaitResult WaitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) return WaitResult::kTimedOut;
  return ready > 0 && (entry.revents & events) != 0 ? WaitResult::kReady : WaitResult::kFailed;
}

}  // namespace

SerialPort::~SerialPort() {
  Close();
}

int SerialPort::Open(const std::string& devicePath) {
  Close();
  // Non-blocking, so that opening a modem line does not wait for its carrier; every wait
  // afterwards goes through poll().
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return serial_open::kCannotOpen;
  struct stat status {};
  // The flock keeps out every other program, root included; TIOCEXCL alone would not.
  const bool usable = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
                      ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
  if (!usable) {
    ::close(fd);
    return serial_open::kCannotOpen;
  }
  // A fresh open starts with an empty input queue, so that late bytes of an exchange that failed
  // before the port was closed cannot shift the first reply after reopening.
  ::tcflush(fd, TCIFLUSH);
  fd_ = fd;
  return 0;
}

int SerialPort::ApplyLineSettings(int baudRate) {
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) return serial_open::kSettingsUnreadable;
  const std::optional<speed_t> speed = SpeedOfBaudRate(baudRate);
  if (!speed) return serial_open::kSettingsRefused;
  ::cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  settings.c_cflag |= CLOCAL | CREAD;
  if (::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0 ||
      ::tcsetattr(fd_, TCSANOW, &settings) != 0) {
    return serial_open::kSettingsRefused;
  }
  return 0;
}

int SerialPort::ApplyTimeouts(const SerialTimeouts& timeouts) {
  // Read() does all the timing with poll(); the driver itself must never wait.
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) return serial_open::kTimeoutsRefused;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(fd_, TCSANOW, &settings) != 0) return serial_open::kTimeoutsRefused;
  timeouts_ = timeouts;
  return 0;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

std::size_t SerialPort::Write(std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (fd_ >= 0 && written < bytes.size()) {
    const ssize_t count = ::write(fd_, bytes.data() + written, bytes.size() - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && errno == EAGAIN) {
      if (WaitFor(fd_, POLLOUT, kPollForever) != WaitResult::kReady) break;
    } else {
      break;
    }
  }
  return written;
}

// The read time-outs mean what they mean on the arm's original platform: the read ends after
// multiplier x n + constant ms from its start (no limit when both are 0), or, once a byte has
// arrived, when more than the interval time-out passes without the next one (no limit when 0).
std::size_t SerialPort::Read(std::span<std::uint8_t> bytes) {
  const Clock::time_point start = Clock::now();
  const bool hasTotalLimit = timeouts_.readTotalMultiplier != 0 || timeouts_.readTotalConstant != 0;
  const std::uint64_t totalMs = TotalBudgetMs(timeouts_, bytes.size());
  std::size_t received = 0;
  Clock::time_point lastByte = start;
  while (fd_ >= 0 && received < bytes.size()) {
    std::optional<std::uint64_t> waitMs;
    if (hasTotalLimit) waitMs = MillisecondsLeft(start, totalMs);
    if (received > 0 && timeouts_.readInterval != 0) {
      const std::uint64_t intervalLeft = MillisecondsLeft(lastByte, timeouts_.readInterval);
      waitMs = waitMs ? std::min(*waitMs, intervalLeft) : intervalLeft;
    }
    if (waitMs == std::uint64_t{0}) break;
    // A wait that ran out goes round again: the limits above decide whether the read is over
    // (poll() takes at most INT_MAX ms at a time).
    const WaitResult wait = WaitFor(fd_, POLLIN, waitMs ? PollTimeout(*waitMs) : kPollForever);
    if (wait == WaitResult::kTimedOut) continue;
    if (wait == WaitResult::kFailed) break;
    const ssize_t count = ::read(fd_, bytes.data() + received, bytes.size() - received);
    if (count > 0) {
      received += static_cast<std::size_t>(count);
      lastByte = Clock::now();
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
      break;
    }
  }
  return received;
}

}  // namespace pilvo
