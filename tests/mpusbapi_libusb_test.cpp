// The libusb USB access library against arms emulated by umockdev.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "emulated_usb_device.h"
#include "platform/mpusbapi/mpusbapi.h"

namespace pilvo {
namespace {

constexpr const char* kArm = "vid_04d8&pid_feab";
constexpr const char* kEndpoint = "\\MCHP_EP1";
constexpr std::uint32_t kTimeoutMs = 100;

// One testbed for the whole process: the library's libusb context, once made, keeps watching
// the testbed it started with.
class MpusbapiLibusb : public testing::Test {
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

  static MPUSB_HANDLE OpenPipe(std::uint32_t instance, std::uint32_t direction) {
    return _MPUSBOpen(instance, kArm, kEndpoint, direction, 0);
  }

  static UMockdevTestbed* testbed_;
};

UMockdevTestbed* MpusbapiLibusb::testbed_ = nullptr;

// The version reply 00 minor major of the arm at `instance`, as read back.
std::vector<std::uint8_t> AskVersion(std::uint32_t instance) {
  MPUSB_HANDLE out = _MPUSBOpen(instance, kArm, kEndpoint, MPUSB_DIRECTION_WRITE, 0);
  MPUSB_HANDLE in = _MPUSBOpen(instance, kArm, kEndpoint, MPUSB_DIRECTION_READ, 0);
  const std::array<std::uint8_t, 2> query{0x00, 0x02};
  std::array<std::uint8_t, 64> reply{};
  std::uint32_t written = 0, read = 0;
  const bool done = _MPUSBWrite(out, query.data(), 2, &written, kTimeoutMs) != 0 &&
                    _MPUSBRead(in, reply.data(), 64, &read, kTimeoutMs) != 0;
  _MPUSBClose(out);
  _MPUSBClose(in);
  if (!done) return {};
  return {reply.begin(), reply.begin() + read};
}

TEST_F(MpusbapiLibusb, CountsAttachedArmsOfTheGivenIdentity) {
  EmulatedUsbDevice first(testbed_, 1, 2, 5);
  EmulatedUsbDevice otherProduct(testbed_, 1, 3, 5, 0x000a);
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 1u);
  {
    EmulatedUsbDevice second(testbed_, 1, 4, 5);
    EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 2u);
    EXPECT_EQ(_MPUSBGetDeviceCount("VID_04D8&PID_FEAB"), 2u);
    EXPECT_EQ(_MPUSBGetDeviceCount("vid_04d8&pid_000a"), 1u);
  }
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 1u);

  for (const char* malformed : {"", "vid_04d8", "vid_4d8&pid_feab", "vid_04d8&pid_feab0",
                                "vid_04g8&pid_feab", "pid_feab&vid_04d8"}) {
    errno = 0;
    EXPECT_EQ(_MPUSBGetDeviceCount(malformed), 0u) << malformed;
    EXPECT_EQ(errno, EINVAL) << malformed;
  }
}

TEST_F(MpusbapiLibusb, InstancesFollowBusNumberThenAddress) {
  EmulatedUsbDevice late(testbed_, 2, 3, 7);
  EmulatedUsbDevice early(testbed_, 1, 9, 5);
  EmulatedUsbDevice middle(testbed_, 2, 1, 6);
  EXPECT_EQ(AskVersion(0), (std::vector<std::uint8_t>{0x00, 5, 0x01}));
  EXPECT_EQ(AskVersion(1), (std::vector<std::uint8_t>{0x00, 6, 0x01}));
  EXPECT_EQ(AskVersion(2), (std::vector<std::uint8_t>{0x00, 7, 0x01}));

  errno = 0;
  EXPECT_EQ(OpenPipe(3, MPUSB_DIRECTION_WRITE), MPUSB_INVALID_HANDLE);
  EXPECT_EQ(errno, ENODEV);
}

TEST_F(MpusbapiLibusb, PipesOfOneArmShareOneClaimedInterface) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  MPUSB_HANDLE out = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  ASSERT_NE(out, MPUSB_INVALID_HANDLE);
  ASSERT_NE(in, MPUSB_INVALID_HANDLE);
  EXPECT_NE(out, in);
  EXPECT_EQ(arm.claims(), 1);

  EXPECT_EQ(_MPUSBClose(out), 1);
  EXPECT_EQ(arm.releases(), 0);
  EXPECT_EQ(_MPUSBClose(in), 1);
  EXPECT_EQ(arm.releases(), 1);

  // A closed pipe is recognised, even once a new pipe has been opened.
  MPUSB_HANDLE again = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  ASSERT_NE(again, MPUSB_INVALID_HANDLE);
  std::uint32_t written = 0;
  errno = 0;
  EXPECT_EQ(_MPUSBWrite(out, "\0\2", 2, &written, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(_MPUSBClose(out), 0);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(_MPUSBClose(again), 1);
}

TEST_F(MpusbapiLibusb, RefusesMalformedOpens) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  const auto refused = [](const char* vidPid, const char* endpoint, std::uint32_t direction,
                          std::uint32_t reserved) {
    errno = 0;
    return _MPUSBOpen(0, vidPid, endpoint, direction, reserved) == MPUSB_INVALID_HANDLE &&
           errno == EINVAL;
  };
  EXPECT_TRUE(refused(kArm, kEndpoint, 2, 0));
  EXPECT_TRUE(refused(kArm, kEndpoint, MPUSB_DIRECTION_READ, 1));
  EXPECT_TRUE(refused(kArm, "\\MCHP_EP0", MPUSB_DIRECTION_READ, 0));
  EXPECT_TRUE(refused(kArm, "\\MCHP_EP16", MPUSB_DIRECTION_READ, 0));
  EXPECT_TRUE(refused(kArm, "MCHP_EP1", MPUSB_DIRECTION_READ, 0));
  EXPECT_TRUE(refused(kArm, nullptr, MPUSB_DIRECTION_READ, 0));
  EXPECT_TRUE(refused(nullptr, kEndpoint, MPUSB_DIRECTION_READ, 0));
  EXPECT_EQ(arm.claims(), 0);
}

TEST_F(MpusbapiLibusb, VersionQueryRoundTrip) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  MPUSB_HANDLE out = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  const std::array<std::uint8_t, 2> query{0x00, 0x02};
  std::uint32_t written = 0, read = 0;
  ASSERT_EQ(_MPUSBWrite(out, query.data(), 2, &written, kTimeoutMs), 1u);
  EXPECT_EQ(written, 2u);
  // The reply is shorter than asked for: the read ends with it and succeeds.
  std::array<std::uint8_t, 5> reply{};
  ASSERT_EQ(_MPUSBRead(in, reply.data(), 5, &read, kTimeoutMs), 1u);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(reply, (std::array<std::uint8_t, 5>{0x00, 0x05, 0x01, 0, 0}));

  // A reply longer than the read is a fault of the transfer.
  ASSERT_EQ(_MPUSBWrite(out, query.data(), 2, &written, kTimeoutMs), 1u);
  errno = 0;
  EXPECT_EQ(_MPUSBRead(in, reply.data(), 2, &read, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EIO);

  errno = 0;
  EXPECT_EQ(_MPUSBWrite(in, query.data(), 2, &written, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EINVAL);
  errno = 0;
  EXPECT_EQ(_MPUSBRead(out, reply.data(), 5, &read, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EINVAL);
  _MPUSBClose(out);
  _MPUSBClose(in);
}

TEST_F(MpusbapiLibusb, ReadWithoutReplyTimesOutAndTheArmStaysUsable) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  std::array<std::uint8_t, 3> reply{};
  std::uint32_t read = 99;
  errno = 0;
  EXPECT_EQ(_MPUSBRead(in, reply.data(), 3, &read, 50), 0u);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(read, 0u);
  _MPUSBClose(in);

  EXPECT_EQ(AskVersion(0), (std::vector<std::uint8_t>{0x00, 5, 0x01}));
}

TEST_F(MpusbapiLibusb, UnpluggedArmMakesItsPipesInvalid) {
  EmulatedUsbDevice arm(testbed_, 1, 2, 5);
  MPUSB_HANDLE out = OpenPipe(0, MPUSB_DIRECTION_WRITE);
  MPUSB_HANDLE in = OpenPipe(0, MPUSB_DIRECTION_READ);
  ASSERT_NE(in, MPUSB_INVALID_HANDLE);
  arm.Unplug();

  std::uint32_t moved = 0;
  std::array<std::uint8_t, 3> bytes{0x00, 0x02};
  errno = 0;
  EXPECT_EQ(_MPUSBWrite(out, bytes.data(), 2, &moved, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(_MPUSBRead(in, bytes.data(), 3, &moved, kTimeoutMs), 0u);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(_MPUSBGetDeviceCount(kArm), 0u);
  EXPECT_EQ(_MPUSBClose(out), 1);
  EXPECT_EQ(_MPUSBClose(in), 1);
}

}  // namespace
}  // namespace pilvo
