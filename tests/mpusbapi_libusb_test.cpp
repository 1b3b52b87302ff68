// The libusb USB access library against arms emulated by umockdev.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "emulated_usb_device.h"
#include "platform/mpusbapi/mpusbapi.h"
#include "usb_calls.h"

namespace pilvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ErrnoOf;
using testing::Exchange;

constexpr const char* kArm = "vid_04d8&pid_feab";
constexpr const char* kEndpoint = "\\MCHP_EP1";
constexpr std::uint32_t kTimeoutMs = 100;
constexpr std::uint8_t kVersionQuery[] = {0x00, 0x02};

// One testbed for the whole process: the library's libusb context, once made, keeps watching
// the testbed it started with.
class MpusbapiLibusb : public ::testing::Test {
 protected:
  // Without the preload the testbed exists but nothing is redirected to it.
  static void SetUpTestSuite() {
    testbed_ = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) g_clear_object(&testbed_);
  }
  static void TearDownTestSuite() { g_clear_object(&testbed_); }

  void SetUp() override {
    if (testbed_ == nullptr) GTEST_SKIP() << "needs the umockdev preload (run via ctest)";
  }

  static UMockdevTestbed* testbed_;
};

UMockdevTestbed* MpusbapiLibusb::testbed_ = nullptr;

MPUSB_HANDLE OpenPipe(std::uint32_t instance, std::uint32_t direction) {
  return _MPUSBOpen(instance, kArm, kEndpoint, direction, 0);
}

// The version reply 00 minor major of the arm at `instance`, as read back.
Bytes AskVersion(std::uint32_t instance) {
  const MPUSB_HANDLE out = OpenPipe(instance, MPUSB_DIRECTION_WRITE);
  const MPUSB_HANDLE in = OpenPipe(instance, MPUSB_DIRECTION_READ);
  const std::optional<Bytes> reply = Exchange(out, in, {0x00, 0x02});
  _MPUSBClose(out);
  _MPUSBClose(in);
  return reply.value_or(Bytes{});
}

TEST_F(MpusbapiLibusb, CountsArmsOfTheGivenIdentityInBusThenAddressOrder) {
  EmulatedUsbDevice late(testbed_, 2, 3, 7);
  EmulatedUsbDevice early(testbed_, 1, 9, 5);
  EmulatedUsbDevice otherProduct(testbed_, 1, 3, 9, 0x000a);
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 2u);
  {
    EmulatedUsbDevice middle(testbed_, 2, 1, 6);
    EXPECT_EQ(_MPUSBGetDeviceCount("VID_04D8&PID_FEAB"), 3u);
    EXPECT_EQ(_MPUSBGetDeviceCount("vid_04d8&pid_000a"), 1u);
    EXPECT_EQ(AskVersion(0), (Bytes{0x00, 5, 0x01}));
    EXPECT_EQ(AskVersion(1), (Bytes{0x00, 6, 0x01}));
    EXPECT_EQ(AskVersion(2), (Bytes{0x00, 7, 0x01}));
    EXPECT_EQ(ErrnoOf([] { return OpenPipe(3, MPUSB_DIRECTION_WRITE); }), ENODEV);
  }
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 2u);

  for (const char* malformed : {"", "vid_04d8", "vid_4d8&pid_feab", "vid_04d8&pid_feab0",
                                "vid_04g8&pid_feab", "pid_feab&vid_04d8"}) {
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBGetDeviceCount(malformed); }), EINVAL) << malformed;
  }
}

TEST_F(MpusbapiLibusb, PipesOfOneArmShareOneClaimAndMoveItsBytes) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  const struct {
    const char* vidPid;
    const char* endpoint;
    std::uint32_t direction, reserved;
  } refusals[] = {{kArm, kEndpoint, 2, 0},     {kArm, kEndpoint, 1, 1},  {kArm, "\\MCHP_EP0", 1, 0},
                  {kArm, "\\MCHP_EP16", 1, 0}, {kArm, "MCHP_EP1", 1, 0}, {kArm, nullptr, 1, 0},
                  {nullptr, kEndpoint, 1, 0}};
  for (const auto& r : refusals) {
    EXPECT_EQ(ErrnoOf([&] { return _MPUSBOpen(0, r.vidPid, r.endpoint, r.direction, r.reserved); }),
              EINVAL)
        << &r - refusals;
  }
  EXPECT_EQ(arm.claims(), 0);

  const MPUSB_HANDLE out = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  const MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  ASSERT_NE(out, MPUSB_INVALID_HANDLE);
  ASSERT_NE(in, MPUSB_INVALID_HANDLE);
  EXPECT_NE(out, in);
  EXPECT_EQ(arm.claims(), 1);

  std::uint32_t written = 0, read = 99;
  std::array<std::uint8_t, 5> reply{};
  // Nothing to read: the read times out, and the arm stays usable.
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(in, reply.data(), 3, &read, 50); }), ETIMEDOUT);
  EXPECT_EQ(read, 0u);
  // A reply shorter than asked for ends the read, which succeeds.
  ASSERT_EQ(_MPUSBWrite(out, kVersionQuery, 2, &written, kTimeoutMs), 1u);
  EXPECT_EQ(written, 2u);
  ASSERT_EQ(_MPUSBRead(in, reply.data(), 5, &read, kTimeoutMs), 1u);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(reply, (std::array<std::uint8_t, 5>{0x00, 0x05, 0x01, 0, 0}));
  // A reply longer than the read is a fault of the transfer.
  ASSERT_EQ(_MPUSBWrite(out, kVersionQuery, 2, &written, kTimeoutMs), 1u);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(in, reply.data(), 2, &read, kTimeoutMs); }), EIO);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(in, kVersionQuery, 2, &written, kTimeoutMs); }),
            EINVAL);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(out, reply.data(), 5, &read, kTimeoutMs); }), EINVAL);

  EXPECT_EQ(_MPUSBClose(out), 1);
  EXPECT_EQ(arm.releases(), 0);
  EXPECT_EQ(_MPUSBClose(in), 1);
  EXPECT_EQ(arm.releases(), 1);
  // A closed pipe is recognised, even once a new pipe has been opened.
  const MPUSB_HANDLE again = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  ASSERT_NE(again, MPUSB_INVALID_HANDLE);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(out, kVersionQuery, 2, &written, kTimeoutMs); }),
            EBADF);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBClose(out); }), EBADF);
  EXPECT_EQ(_MPUSBClose(again), 1);
}

TEST_F(MpusbapiLibusb, UnpluggedArmMakesItsPipesInvalid) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  const MPUSB_HANDLE out = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  const MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  ASSERT_NE(in, MPUSB_INVALID_HANDLE);
  arm.Unplug();
  std::uint32_t moved = 0;
  std::array<std::uint8_t, 3> bytes{0x00, 0x02};
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBWrite(out, bytes.data(), 2, &moved, kTimeoutMs); }), EBADF);
  EXPECT_EQ(ErrnoOf([&] { return _MPUSBRead(in, bytes.data(), 3, &moved, kTimeoutMs); }), EBADF);
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 0u);
  EXPECT_EQ(_MPUSBClose(out), 1);
  EXPECT_EQ(_MPUSBClose(in), 1);
}

}  // namespace
}  // namespace pilvo
