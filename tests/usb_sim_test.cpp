// The simulator flavour of the USB access library against an in-process USB server with two
// virtual arms.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <vector>

#include "demo_arm.h"
#include "platform/atomic_file.h"
#include "platform/mpusbapi/mpusbapi.h"
#include "sim/unique_fd.h"
#include "sim/usb_server.h"
#include "sim/usb_wire.h"
#include "sim/virtual_arm.h"
#include "usb_calls.h"

namespace pilvo::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ErrnoOf;
using testing::Exchange;

constexpr char kVidPid[] = "vid_04d8&pid_feab";
constexpr char kEndpoint[] = "\\MCHP_EP1";
constexpr std::uint32_t kTimeoutMs = 100;

// A pipe pair of one instance.
struct PipePair {
  MPUSB_HANDLE out = MPUSB_INVALID_HANDLE;
  MPUSB_HANDLE in = MPUSB_INVALID_HANDLE;
  bool valid() const { return out != MPUSB_INVALID_HANDLE && in != MPUSB_INVALID_HANDLE; }
};

PipePair OpenPipes(std::uint32_t instance) {
  return {_MPUSBOpen(instance, kVidPid, kEndpoint, MPUSB_DIRECTION_WRITE, 0),
          _MPUSBOpen(instance, kVidPid, kEndpoint, MPUSB_DIRECTION_READ, 0)};
}

std::optional<Bytes> AskIdentifier(const PipePair& pair) {
  return Exchange(pair.out, pair.in, {0x01, 0x02});
}

Bytes IdentifierReply(const char* identifier) {
  return {0x01, static_cast<std::uint8_t>(identifier[0]), static_cast<std::uint8_t>(identifier[1]),
          static_cast<std::uint8_t>(identifier[2]), static_cast<std::uint8_t>(identifier[3])};
}

class UsbSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PILVO_SIM_USB_SOCKET", socketPath_.c_str(), 1);
    ASSERT_TRUE(server_.Start());
  }
  void TearDown() override {
    for (const MPUSB_HANDLE pipe : opened_) _MPUSBClose(pipe);
  }

  std::uint32_t Count() const { return _MPUSBGetDeviceCount(kVidPid); }
  // Pipes closed at the end of the test.
  PipePair Open(std::uint32_t instance) {
    const PipePair pair = OpenPipes(instance);
    opened_.insert(opened_.end(), {pair.out, pair.in});
    return pair;
  }

  const std::string socketPath_ =
      ::testing::TempDir() + "usb_sim_test_" + std::to_string(::getpid()) + ".sock";
  VirtualArm usb_{pilvo::testing::DemoArm("usb6_quaternion")};
  VirtualArm table_{pilvo::testing::DemoArm("rotating_table")};
  UsbSimServer server_{{&usb_, &table_}, socketPath_};
  std::vector<MPUSB_HANDLE> opened_;
};

TEST_F(UsbSimTest, ThreadsTalkToTheirArmsAtOnce) {
  const auto talk = [](std::uint32_t instance, const char* identifier) {
    return std::async(std::launch::async, [=] {
      const PipePair pair = OpenPipes(instance);
      int answered = 0;
      for (int i = 0; i < 50; ++i) answered += AskIdentifier(pair) == IdentifierReply(identifier);
      _MPUSBClose(pair.out);
      _MPUSBClose(pair.in);
      return answered;
    });
  };
  auto first = talk(0, "PA60");
  auto second = talk(1, "RT70");
  EXPECT_EQ(first.get(), 50);
  EXPECT_EQ(second.get(), 50);
}

TEST_F(UsbSimTest, UnpluggedArmDropsOutUntilReopened) {
  const PipePair stale = Open(1);
  ASSERT_TRUE(stale.valid());
  table_.SetPlugged(false);
  EXPECT_EQ(ErrnoOf([&] { return AskIdentifier(stale).has_value(); }), EBADF);
  std::uint32_t moved = 0;
  Bytes reply(5);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(stale.in, reply.data(), 5, &moved, kTimeoutMs); }),
            EBADF);
  EXPECT_EQ(Count(), 1u);
  EXPECT_EQ(ErrnoOf([&] { return Open(1).valid(); }), ENODEV);

  table_.SetPlugged(true);
  EXPECT_EQ(Count(), 2u);
  EXPECT_EQ(ErrnoOf([&] { return AskIdentifier(stale).has_value(); }), EBADF);
  EXPECT_EQ(AskIdentifier(Open(1)), IdentifierReply("RT70"));
  // Instances count only the arms present: without arm 0, instance 0 is arm 1.
  usb_.SetPlugged(false);
  EXPECT_EQ(AskIdentifier(Open(0)), IdentifierReply("RT70"));
}

TEST_F(UsbSimTest, PendingReadEndsWhenTheArmGoesOrTheServerStops) {
  const PipePair first = Open(0);
  const PipePair second = Open(1);
  ASSERT_TRUE(first.valid() && second.valid());
  const auto readLong = [](MPUSB_HANDLE pipe) {
    return std::async(std::launch::async, [pipe] {
      std::uint8_t reply[8];
      std::uint32_t moved = 0;
      return ErrnoOf([&] { return _MPUSBRead(pipe, reply, sizeof(reply), &moved, 5000); });
    });
  };
  // Nothing to read: the reads wait (and meanwhile reach the server) until the arm goes.
  constexpr auto kWhile = std::chrono::milliseconds(50);
  auto unplugged = readLong(first.in);
  EXPECT_EQ(unplugged.wait_for(kWhile), std::future_status::timeout);
  usb_.SetPlugged(false);
  EXPECT_EQ(unplugged.get(), EBADF);

  auto stopped = readLong(second.in);
  EXPECT_EQ(stopped.wait_for(kWhile), std::future_status::timeout);
  server_.Stop();
  EXPECT_EQ(stopped.get(), EBADF);
  EXPECT_FALSE(std::filesystem::exists(socketPath_));
  EXPECT_EQ(Count(), 0u);
  EXPECT_EQ(ErrnoOf([&] { return Open(0).valid(); }), ENODEV);
  ::setenv("PILVO_SIM_USB_SOCKET", (::testing::TempDir() + "no/such/folder.sock").c_str(), 1);
  EXPECT_EQ(Count(), 0u);
}

TEST_F(UsbSimTest, InvalidHandlesAndArgumentsAreRefused) {
  EXPECT_NE(_MPUSBGetDLLVersion(), 0u);
  EXPECT_EQ(_MPUSBGetDeviceCount("VID_04D8&PID_FEAB"), 2u);
  for (const char* vidPid : {"vid_04d8&pid_0001", "vid_04d8", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(_MPUSBGetDeviceCount(vidPid), 0u);
  }

  std::uint8_t bytes[8] = {0x01, 0x02};
  std::uint32_t moved = 0;
  const MPUSB_HANDLE closed = _MPUSBOpen(0, kVidPid, kEndpoint, MPUSB_DIRECTION_WRITE, 0);
  ASSERT_EQ(_MPUSBClose(closed), 1);
  for (const MPUSB_HANDLE bad : {MPUSB_INVALID_HANDLE, MPUSB_HANDLE{}, closed}) {
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(bad, bytes, 2, &moved, kTimeoutMs); }), EBADF);
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBReadInt(bad, bytes, 8, &moved, kTimeoutMs); }), EBADF);
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBClose(bad); }), EBADF);
  }

  const struct {
    const char* vidPid;
    const char* endpoint;
    std::uint32_t direction;
    std::uint32_t reserved;
    int error;
  } refusals[] = {
      {kVidPid, "\\MCHP_EP2", 0, 0, ENODEV}, {kVidPid, "MCHP_EP1", 0, 0, EINVAL},
      {kVidPid, nullptr, 0, 0, EINVAL},      {kVidPid, kEndpoint, 2, 0, EINVAL},
      {kVidPid, kEndpoint, 0, 1, EINVAL},    {"vid_04d8&pid_0001", kEndpoint, 0, 0, ENODEV},
      {"vid_04d8", kEndpoint, 0, 0, EINVAL}};
  for (const auto& r : refusals) {
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBOpen(0, r.vidPid, r.endpoint, r.direction, r.reserved); }),
              r.error)
        << &r - refusals;
  }

  const PipePair pair = Open(0);
  ASSERT_TRUE(pair.valid());
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(pair.in, bytes, 2, &moved, kTimeoutMs); }), EINVAL);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(pair.out, bytes, 2, nullptr, kTimeoutMs); }), EINVAL);
  // A reply longer than the read is lost, as a USB overflow.
  ASSERT_TRUE(_MPUSBWrite(pair.out, bytes, 2, &moved, kTimeoutMs));
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(pair.in, bytes, 3, &moved, kTimeoutMs); }), EIO);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(pair.in, bytes, 8, &moved, 0); }), ETIMEDOUT);
}

TEST_F(UsbSimTest, SocketPathIsGuarded) {
  UsbSimServer second({&usb_}, socketPath_);
  EXPECT_FALSE(second.Start());
  EXPECT_FALSE(server_.Start());
  server_.Stop();

  // A socket left by a server that has gone is replaced.
  sockaddr_un address{};
  ASSERT_TRUE(wire::MakeUnixAddress(socketPath_, address));
  {
    const UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  }
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(Count(), 1u);
  second.Stop();

  // Anything else at the path is left alone.
  std::ofstream(socketPath_) << "keep";
  EXPECT_FALSE(second.Start());
  EXPECT_EQ(ReadWholeFile(socketPath_), (Bytes{'k', 'e', 'e', 'p'}));
  std::filesystem::remove(socketPath_);
}

}  // namespace
}  // namespace pilvo::sim
