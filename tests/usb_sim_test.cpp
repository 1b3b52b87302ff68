// The simulator flavour of the USB access library, loaded with dlopen as the driver loads it,
// against an in-process USB server with two virtual arms.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <vector>

#include "data/tab_file.h"
#include "platform/mpusbapi/mpusbapi.h"
#include "sim/unique_fd.h"
#include "sim/usb_server.h"
#include "sim/usb_wire.h"
#include "sim/virtual_arm.h"

namespace pilvo::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kVidPid[] = "vid_04d8&pid_feab";
constexpr char kEndpoint[] = "\\MCHP_EP1";
constexpr std::uint32_t kTimeoutMs = 100;

struct UsbLibrary {
  UsbLibrary() : module(::dlopen(PILVO_SIM_USB_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
    if (module == nullptr) return;
    const auto resolve = [&](auto& entry, const char* name) {
      entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(::dlsym(module, name));
    };
    resolve(version, "_MPUSBGetDLLVersion");
    resolve(count, "_MPUSBGetDeviceCount");
    resolve(open, "_MPUSBOpen");
    resolve(write, "_MPUSBWrite");
    resolve(read, "_MPUSBRead");
    resolve(readInt, "_MPUSBReadInt");
    resolve(close, "_MPUSBClose");
  }
  bool complete() const { return version && count && open && write && read && readInt && close; }

  void* module;
  decltype(&_MPUSBGetDLLVersion) version = nullptr;
  decltype(&_MPUSBGetDeviceCount) count = nullptr;
  decltype(&_MPUSBOpen) open = nullptr;
  decltype(&_MPUSBWrite) write = nullptr;
  decltype(&_MPUSBRead) read = nullptr;
  decltype(&_MPUSBReadInt) readInt = nullptr;
  decltype(&_MPUSBClose) close = nullptr;
};

const UsbLibrary& Library() {
  static const UsbLibrary library;
  return library;
}

std::unique_ptr<VirtualArm> DemoArm(const char* name) {
  std::ifstream file(std::string(PILVO_DEMO_DIR) + "/" + name + ".tab", std::ios::binary);
  const Bytes bytes{std::istreambuf_iterator<char>(file), {}};
  TabContents contents;
  if (ParseTabFile(bytes, contents) != TabError::None) return nullptr;
  return std::make_unique<VirtualArm>(contents.main);
}

// A pipe pair of one instance, closed at the end.
struct PipePair {
  MPUSB_HANDLE out = MPUSB_INVALID_HANDLE;
  MPUSB_HANDLE in = MPUSB_INVALID_HANDLE;
  bool valid() const { return out != MPUSB_INVALID_HANDLE && in != MPUSB_INVALID_HANDLE; }
};

class UsbSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().complete()) << ::dlerror();
    arms_.push_back(DemoArm("usb6_quaternion"));
    arms_.push_back(DemoArm("rotating_table"));
    ASSERT_TRUE(arms_[0] && arms_[1]);
    std::string pattern = (std::filesystem::temp_directory_path() / "pilvo-usb-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    socketPath_ = (directory_ / "usb.sock").string();
    ::setenv("PILVO_SIM_USB_SOCKET", socketPath_.c_str(), 1);
    server_ =
        std::make_unique<UsbSimServer>(std::vector{arms_[0].get(), arms_[1].get()}, socketPath_);
    ASSERT_TRUE(server_->Start());
  }
  void TearDown() override {
    for (const MPUSB_HANDLE pipe : opened_) Library().close(pipe);
    server_.reset();
    std::filesystem::remove_all(directory_);
  }

  std::uint32_t Count() const { return Library().count(kVidPid); }
  // Pipes closed at the end of the test.
  PipePair Open(std::uint32_t instance) {
    const PipePair pair = OpenPipes(instance);
    opened_.insert(opened_.end(), {pair.out, pair.in});
    return pair;
  }
  static PipePair OpenPipes(std::uint32_t instance) {
    return {Library().open(instance, kVidPid, kEndpoint, MPUSB_DIRECTION_WRITE, 0),
            Library().open(instance, kVidPid, kEndpoint, MPUSB_DIRECTION_READ, 0)};
  }
  // The reply to `request`, or nothing with errno set by the failing call.
  static std::optional<Bytes> Transact(const PipePair& pair, const Bytes& request,
                                       std::uint32_t expected = 64) {
    std::uint32_t moved = 0;
    if (!Library().write(pair.out, request.data(), static_cast<std::uint32_t>(request.size()),
                         &moved, kTimeoutMs)) {
      return std::nullopt;
    }
    EXPECT_EQ(moved, request.size());
    Bytes reply(expected);
    if (!Library().read(pair.in, reply.data(), expected, &moved, kTimeoutMs)) return std::nullopt;
    reply.resize(moved);
    return reply;
  }
  static Bytes IdentifierReply(const char* identifier) {
    return {0x01, static_cast<std::uint8_t>(identifier[0]),
            static_cast<std::uint8_t>(identifier[1]), static_cast<std::uint8_t>(identifier[2]),
            static_cast<std::uint8_t>(identifier[3])};
  }

  std::vector<std::unique_ptr<VirtualArm>> arms_;
  std::filesystem::path directory_;
  std::string socketPath_;
  std::unique_ptr<UsbSimServer> server_;
  std::vector<MPUSB_HANDLE> opened_;
};

TEST_F(UsbSimTest, ThreadsTalkToTheirArmsAtOnce) {
  const auto talk = [](std::uint32_t instance, const char* identifier) {
    return std::async(std::launch::async, [=] {
      const PipePair pair = OpenPipes(instance);
      int answered = 0;
      for (int i = 0; i < 50; ++i) {
        answered += Transact(pair, {0x01, 0x02}) == IdentifierReply(identifier);
      }
      Library().close(pair.out);
      Library().close(pair.in);
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
  arms_[1]->SetPlugged(false);
  EXPECT_FALSE(Transact(stale, {0x01, 0x02}));
  EXPECT_EQ(errno, EBADF);
  std::uint32_t moved = 0;
  Bytes reply(5);
  EXPECT_FALSE(Library().read(stale.in, reply.data(), 5, &moved, kTimeoutMs));
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(Count(), 1u);
  EXPECT_FALSE(Open(1).valid());
  EXPECT_EQ(errno, ENODEV);

  arms_[1]->SetPlugged(true);
  EXPECT_EQ(Count(), 2u);
  EXPECT_FALSE(Transact(stale, {0x01, 0x02}));
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(Transact(Open(1), {0x01, 0x02}), IdentifierReply("RT70"));

  // Instances count only the arms present: without arm 0, instance 0 is arm 1.
  arms_[0]->SetPlugged(false);
  EXPECT_EQ(Transact(Open(0), {0x01, 0x02}), IdentifierReply("RT70"));
}

TEST_F(UsbSimTest, PendingReadEndsWhenTheArmGoesOrTheServerStops) {
  const PipePair first = Open(0);
  const PipePair second = Open(1);
  ASSERT_TRUE(first.valid() && second.valid());
  const auto readLong = [](MPUSB_HANDLE pipe) {
    return std::async(std::launch::async, [pipe] {
      std::uint8_t reply[8];
      std::uint32_t moved = 0;
      return Library().read(pipe, reply, sizeof(reply), &moved, 5000) != 0 ? 0 : errno;
    });
  };
  // Nothing to read: the reads wait (and meanwhile reach the server) until the arm goes.
  constexpr auto kWhile = std::chrono::milliseconds(50);
  auto unplugged = readLong(first.in);
  EXPECT_EQ(unplugged.wait_for(kWhile), std::future_status::timeout);
  arms_[0]->SetPlugged(false);
  EXPECT_EQ(unplugged.get(), EBADF);

  auto stopped = readLong(second.in);
  EXPECT_EQ(stopped.wait_for(kWhile), std::future_status::timeout);
  server_->Stop();
  EXPECT_EQ(stopped.get(), EBADF);
}

TEST_F(UsbSimTest, WithoutServerThereAreNoDevices) {
  server_->Stop();
  EXPECT_FALSE(std::filesystem::exists(socketPath_));
  EXPECT_EQ(Count(), 0u);
  EXPECT_FALSE(Open(0).valid());
  EXPECT_EQ(errno, ENODEV);

  ::setenv("PILVO_SIM_USB_SOCKET", (directory_ / "nothing" / "here.sock").c_str(), 1);
  EXPECT_EQ(Count(), 0u);
}

TEST_F(UsbSimTest, InvalidHandlesAndArgumentsAreRefused) {
  EXPECT_NE(Library().version(), 0u);
  EXPECT_EQ(Library().count("VID_04D8&PID_FEAB"), 2u);
  EXPECT_EQ(Library().count("vid_04d8&pid_0001"), 0u);
  EXPECT_EQ(Library().count("vid_04d8"), 0u);
  EXPECT_EQ(Library().count(nullptr), 0u);

  std::uint8_t bytes[8] = {0x01, 0x02};
  std::uint32_t moved = 0;
  for (const MPUSB_HANDLE bad : {MPUSB_INVALID_HANDLE, MPUSB_HANDLE{}}) {
    EXPECT_FALSE(Library().write(bad, bytes, 2, &moved, kTimeoutMs));
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(Library().readInt(bad, bytes, 8, &moved, kTimeoutMs));
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(Library().close(bad), 0);
    EXPECT_EQ(errno, EBADF);
  }
  const MPUSB_HANDLE closed = Library().open(0, kVidPid, kEndpoint, MPUSB_DIRECTION_WRITE, 0);
  ASSERT_EQ(Library().close(closed), 1);
  EXPECT_EQ(Library().close(closed), 0);
  EXPECT_FALSE(Library().write(closed, bytes, 2, &moved, kTimeoutMs));
  EXPECT_EQ(errno, EBADF);

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
  for (const auto& refusal : refusals) {
    EXPECT_EQ(
        Library().open(0, refusal.vidPid, refusal.endpoint, refusal.direction, refusal.reserved),
        MPUSB_INVALID_HANDLE);
    EXPECT_EQ(errno, refusal.error) << refusal.endpoint << " " << refusal.direction;
  }

  const PipePair pair = Open(0);
  ASSERT_TRUE(pair.valid());
  EXPECT_FALSE(Library().write(pair.in, bytes, 2, &moved, kTimeoutMs));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(Library().write(pair.out, bytes, 2, nullptr, kTimeoutMs));
  EXPECT_EQ(errno, EINVAL);
  // A reply longer than the read is lost, as a USB overflow.
  ASSERT_TRUE(Library().write(pair.out, bytes, 2, &moved, kTimeoutMs));
  EXPECT_FALSE(Library().read(pair.in, bytes, 3, &moved, kTimeoutMs));
  EXPECT_EQ(errno, EIO);
  EXPECT_FALSE(Library().read(pair.in, bytes, 8, &moved, 0));
  EXPECT_EQ(errno, ETIMEDOUT);
}

TEST_F(UsbSimTest, SocketPathIsGuarded) {
  UsbSimServer second({arms_[0].get()}, socketPath_);
  EXPECT_FALSE(second.Start());
  EXPECT_FALSE(server_->Start());
  server_->Stop();

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
  std::ifstream kept(socketPath_);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
}

}  // namespace
}  // namespace pilvo::sim
