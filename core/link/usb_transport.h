// The USB link through the USB access library, loaded at run time: the arm chosen among those
// attached, and its write and read pipes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/local_text.h"
#include "link/transport.h"
#include "link/usb_library.h"

namespace pilvo {

// No arm chosen, or none to open: no instance.
inline constexpr int kNoUsbArm = -1;

inline constexpr char kArmVidPid[] = "vid_04d8&pid_feab";
inline constexpr char kArmEndpoint[] = "\\MCHP_EP1";
inline constexpr std::uint32_t kUsbTimeoutMs = 100;
inline constexpr int kMaxUsbChoices = 10;
inline constexpr std::uint32_t kLastUsbInstanceProbed = 126;

// What choosing a USB arm asks of the operator. An empty member answers Cancel or shows nothing.
struct UsbDeviceChooser {
  // The line chosen in a list titled `title` whose first line is selected, or nothing on Cancel.
  std::function<std::optional<std::size_t>(const std::string& title,
                                           const std::vector<std::string>& identifiers)>
      choose;
  // An information message: no arm is attached ("Device/s not found").
  std::function<void(const std::string& text)> showNotFound;
  // An error message: the USB access library cannot be loaded (the text carries its status).
  std::function<void(const std::string& text)> showLoadFailure;
};

class UsbTransport final : public ArmTransport {
 public:
  // The chooser's texts are in `language`, which must outlive the transport.
  UsbTransport(UsbDeviceChooser chooser, const Language& language);
  UsbTransport(const UsbTransport&) = delete;
  UsbTransport& operator=(const UsbTransport&) = delete;
  // The pipes go without a release: nobody is listening any more.
  ~UsbTransport() override;

  // 0 loaded, -1 cannot be loaded, -2 an entry point is missing.
  int LoadLibrary();
  int libraryStatus() const { return libraryStatus_; }
  // Closes the pipes and releases the library.
  void UnloadLibrary();
  // The instance of the arm to use, or kNoUsbArm.
  int ChooseDevice(bool showMessages);
  int instance() const { return instance_; }

  int Open() override;
  bool IsOpen() const override { return instance_ >= 0; }
  bool Close() override;
  // Both fail, sending nothing, once the pipes are closed. A failure that shows the device
  // unplugged closes the pipes; the instance stays, so the link still counts as open until the
  // caller closes it after the failed exchange.
  bool Write(std::span<const std::uint8_t> bytes) override;
  std::size_t Read(std::span<std::uint8_t> bytes) override;

 private:
  bool EnsureLibrary(const char* failureFormat);
  bool OpenPipes();
  void ClosePipes();
  bool PipesOpen() const;
  std::string QueryIdentifierOnOpenPipes();
  void HandleLibraryFailure();

  UsbDeviceChooser chooser_;
  const Language& language_;
  UsbAccessLibrary library_;
  int libraryStatus_ = usb_load::kCannotLoad;  // not loaded yet
  int instance_ = kNoUsbArm;
  MPUSB_HANDLE writePipe_ = MPUSB_INVALID_HANDLE;
  MPUSB_HANDLE readPipe_ = MPUSB_INVALID_HANDLE;
};

}  // namespace pilvo
