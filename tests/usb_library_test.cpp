#include "link/usb_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "data/product_context.h"
#include "data/settings.h"
#include "dialogs/scripted_operator.h"
#include "fake_mpusbapi.h"
#include "link/arm_link.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr const char* kArm = "vid_04d8&pid_feab";

// Whether the dynamic loader still holds the library at `path`.
bool StillLoaded(const char* path) {
  void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (module == nullptr) return false;
  dlclose(module);
  return true;
}

TEST(UsbAccessLibraryLoad, CompleteLibraryLoadsOnceCallsThroughAndIsReleased) {
  {
    UsbAccessLibrary library(FAKE_MPUSBAPI_COMPLETE);
    ASSERT_EQ(library.Load(), 0);
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(library.Load(), 0);
    EXPECT_EQ(library.DeviceCount(kArm), 1u);
    EXPECT_EQ(library.DeviceCount("vid_04d8&pid_0000"), 0u);
    const MPUSB_HANDLE pipe = library.Open(0, kArm, "\\MCHP_EP1", MPUSB_DIRECTION_WRITE);
    ASSERT_EQ(pipe, FAKE_PIPE_WORKING);
    EXPECT_EQ(library.Open(1, kArm, "\\MCHP_EP1", MPUSB_DIRECTION_READ), MPUSB_INVALID_HANDLE);
    const std::array<std::uint8_t, 2> request{0x00, 0x02};
    std::uint32_t transferred = 0;
    EXPECT_TRUE(library.Write(pipe, request, transferred, 100));
    EXPECT_EQ(transferred, 2u);
    std::array<std::uint8_t, 5> reply{};
    EXPECT_TRUE(library.Read(pipe, reply, transferred, 100));
    EXPECT_EQ(transferred, 3u);
    EXPECT_EQ(reply, (std::array<std::uint8_t, 5>{0x00, 0x05, 0x01, 0, 0}));

    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(StillLoaded(FAKE_MPUSBAPI_COMPLETE));
    EXPECT_EQ(library.Open(0, kArm, "\\MCHP_EP1", MPUSB_DIRECTION_WRITE), MPUSB_INVALID_HANDLE);
    ASSERT_EQ(library.Load(), 0);
    ASSERT_TRUE(StillLoaded(FAKE_MPUSBAPI_COMPLETE));
  }
  EXPECT_FALSE(StillLoaded(FAKE_MPUSBAPI_COMPLETE)) << "released when destroyed";
}

TEST(UsbAccessLibraryLoad, MissingLibraryOrEntryPointFailsEveryCallSafely) {
  UsbAccessLibrary library(FAKE_MPUSBAPI_ABSENT);
  EXPECT_EQ(library.Load(), -1);
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.DeviceCount(kArm), 0u);
  EXPECT_EQ(library.Open(0, kArm, "\\MCHP_EP1", MPUSB_DIRECTION_WRITE), MPUSB_INVALID_HANDLE);
  std::array<std::uint8_t, 2> bytes{};
  std::uint32_t transferred = 7;
  EXPECT_FALSE(library.Write(FAKE_PIPE_WORKING, bytes, transferred, 100));
  EXPECT_EQ(transferred, 0u);
  EXPECT_TRUE(library.LastFailureWasInvalidHandle());
  EXPECT_FALSE(library.Read(FAKE_PIPE_WORKING, bytes, transferred, 100));
  library.Close(FAKE_PIPE_WORKING);

  UsbAccessLibrary withoutReadInt(FAKE_MPUSBAPI_NO_READ_INT);
  EXPECT_EQ(withoutReadInt.Load(), -2);
  EXPECT_FALSE(withoutReadInt.IsLoaded());
  EXPECT_FALSE(StillLoaded(FAKE_MPUSBAPI_NO_READ_INT)) << "released again";
  EXPECT_EQ(withoutReadInt.DeviceCount(kArm), 0u);
}

// The link loads the library by its name, which the test's library path resolves to the
// stand-in without _MPUSBReadInt.
TEST(UsbAccessLibraryLoad, LinkShowsTheLoadFailureWithItsStatusAtEveryOpen) {
  ArmRecord record;
  record.linkType = 1;
  ScriptedOperator ui;
  const ProductContext context(Program::Library, {}, {});
  ArmLink link(record, context, DeviceChooserOf(ui));
  for (int open = 0; open < 2; ++open) {
    EXPECT_EQ(link.OpenArmPort(), -1);
    EXPECT_EQ(link.libraryStatus(), -2);
  }
  EXPECT_EQ(link.ChooseUsbDevice(true), -1);
  const std::string failure = "_error loading mpusbapi.dll (-2)";
  const std::string onOpen = failure + ".\n\n Copy or update the dll file!";
  ASSERT_EQ(ui.requests().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ui.requests()[i].text, i < 2 ? onOpen : failure);
    EXPECT_EQ(ui.requests()[i].caption, "Pilvo DLL");
    EXPECT_EQ(ui.requests()[i].icon, MessageIcon::Error);
  }
}

// The driver closes its pipes only when the library says the handle is invalid.
TEST(UsbAccessLibraryFailures, OnlyEbadfFromTheCallItselfMeansInvalidHandle) {
  UsbAccessLibrary library(FAKE_MPUSBAPI_COMPLETE);
  ASSERT_EQ(library.Load(), 0);
  std::vector<std::uint8_t> bytes(3);
  std::uint32_t transferred = 0;

  EXPECT_FALSE(library.Write(FAKE_PIPE_UNPLUGGED, bytes, transferred, 100));
  EXPECT_TRUE(library.LastFailureWasInvalidHandle());
  EXPECT_FALSE(library.Read(FAKE_PIPE_UNPLUGGED, bytes, transferred, 100));
  EXPECT_TRUE(library.LastFailureWasInvalidHandle());

  EXPECT_FALSE(library.Read(FAKE_PIPE_FAULTY, bytes, transferred, 100));
  EXPECT_FALSE(library.LastFailureWasInvalidHandle());

  errno = EBADF;  // left over from something earlier
  EXPECT_FALSE(library.Write(FAKE_PIPE_MUTE, bytes, transferred, 100));
  EXPECT_FALSE(library.LastFailureWasInvalidHandle());
}

}  // namespace
}  // namespace pilvo
