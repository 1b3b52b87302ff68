// The serial server through a real pseudo-terminal, used from the slave side as a host uses a
// serial port: plain termios, a register list written in one go, the reply read back.
#include "sim/serial_server.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

namespace pilvo::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

ArmRecord SerialArm() {
  ArmRecord record;
  record.name = "SR60";
  record.jointCount = 6;
  record.encoderLines.fill(3600);  // 40 counts a degree
  record.jointExtendedCount.fill(true);
  record.serialSpeedCode = 0;  // 9600 baud
  return record;
}

// The host's end: raw, and a read gives up after `timeoutTenths` of a second without a byte.
class HostPort {
 public:
  explicit HostPort(const std::string& path, cc_t timeoutTenths = 5)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios settings{};
    if (fd_ < 0 || ::tcgetattr(fd_, &settings) != 0) return;
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = timeoutTenths;
    ::tcsetattr(fd_, TCSANOW, &settings);
  }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;
  ~HostPort() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool open() const { return fd_ >= 0; }

  Bytes Exchange(const Bytes& request, std::size_t replyLength) {
    if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
      return {};
    }
    Bytes reply(replyLength);
    std::size_t received = 0;
    while (received < replyLength) {
      const ssize_t count = ::read(fd_, reply.data() + received, replyLength - received);
      if (count <= 0) break;
      received += static_cast<std::size_t>(count);
    }
    reply.resize(received);
    return reply;
  }

 private:
  int fd_;
};

const Bytes kSixAxisList{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                         0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00};

TEST(SerialSimServer, WireTimeHoldsTheReplyBack) {
  VirtualArm arm(SerialArm());
  SerialSimServer server(arm, true);
  ASSERT_TRUE(server.Start());
  HostPort port(server.slavePath());
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(port.Exchange(kSixAxisList, kSixAxisList.size()).size(), kSixAxisList.size());
  // 22 bytes out and 22 back, 10 bits each, at 9600 baud: 45.8 ms at least.
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(45833));
}

TEST(SerialSimServer, StopEndsTheServerAndRemovesTheTerminal) {
  VirtualArm arm(SerialArm());
  SerialSimServer server(arm, true);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.slavePath().rfind("/dev/pts/", 0), 0u);
  HostPort port(server.slavePath());
  server.Stop();  // would hang here if the serving thread were not woken
  EXPECT_TRUE(server.slavePath().empty());
  EXPECT_TRUE(port.Exchange({0x04, 0x00}, 2).empty());  // the line is gone
  server.Stop();
  EXPECT_TRUE(server.Start());  // a stopped server can serve again
}

}  // namespace
}  // namespace pilvo::sim
