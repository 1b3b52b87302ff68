// The link to the arm's controller board: a serial port or the USB access library, chosen by
// the link type of the working arm record. Opening is lazy; every failed exchange closes the
// link so that the next one reopens it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/arm_record.h"
#include "link/serial_port.h"
#include "link/usb_library.h"

namespace pilvo {


// What the USB device choice asks of the operator: the messages of a failed choice and the
// list of arms to choose from.
class UsbDeviceChooser {
 public:
  virtual ~UsbDeviceChooser() = default;
  virtual void Tell(std::string_view text, bool error) = 0;
  // The line chosen, or nothing on Cancel.
  virtual std::optional<std::size_t> Choose(std::string_view title,
                                            const std::vector<std::string>& lines) = 0;
};

inline constexpr char kArmVidPid[] = "vid_04d8&pid_feab";
inline constexpr char kArmEndpoint[] = "\\MCHP_EP1";
inline constexpr std::uint32_t kUsbTimeoutMs = 100;
inline constexpr int kMaxUsbChoices = 10;
inline constexpr std::uint32_t kLastUsbInstanceProbed = 126;

class ArmLink {
 public:
  // `record` is the working arm record (link type, speed code, probe mode, battery);
  // `profileStore` the application profile holding "TIMEOUT" and the serial port names.
  ArmLink(const ArmRecord& record, UsbDeviceChooser& chooser, std::string profileStore);
  ArmLink(const ArmLink&) = delete;
  ArmLink& operator=(const ArmLink&) = delete;
  ~ArmLink();

  // Called on every close, before anything is sent or closed.
  void SetCloseListener(std::function<void()> listener) { closeListener_ = std::move(listener); }

  // False, and nothing recorded, when the name does not fit the 11-character field.
  bool SetPortName(std::string_view name);
  const std::string& portName() const { return portName_; }

  bool IsUsb() const { return record_.linkType == 1; }
  // Open as the exchanges test it: a valid serial handle, or a USB instance of 0 or more.
  bool IsOpen() const;

  // Serial: 0, -1 cannot open, -2 settings unreadable, -3 settings refused, -4 time-outs
  // refused (after -2 to -4 the port stays open). USB: 0 or -1.
  int OpenArmPort();
  // 0 when a link was open and has been closed, -1 when nothing was open.
  int ChiudePorta();

  // 0 loaded, -1 cannot be loaded, -2 an entry point is missing.
  int LoadUsbLibrary();
  int libraryStatus() const { return libraryStatus_; }
  // The instance of the arm to use, or -1.
  int ChooseUsbDevice(bool showMessages);
  // Closes the link and releases the USB access library.
  void UnloadArmLink();

  // 1 the reply had the expected length (replyLength on entry), 2 it was shorter, 0 failure.
  // replyLength receives the length received.
  int UsbTransact(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                  std::uint32_t& replyLength, std::uint32_t writeTimeoutMs,
                  std::uint32_t readTimeoutMs);

  // Serial exchanges: bytes written and bytes read within the port's time-outs.
  std::size_t SerialWrite(std::span<const std::uint8_t> bytes) { return serial_.Write(bytes); }
  std::size_t SerialRead(std::span<std::uint8_t> bytes) { return serial_.Read(bytes); }

  int usbInstance() const { return usbInstance_; }

 private:
  int OpenSerial();
  int OpenUsb();
  bool EnsureUsbLibrary(const char* failureFormat);
  bool OpenPipes();
  void ClosePipes();
  bool PipesOpen() const;
  std::string QueryIdentifierOnOpenPipes();
  void HandleLibraryFailure();

  const ArmRecord& record_;
  UsbDeviceChooser& chooser_;
  std::string profileStore_;
  std::function<void()> closeListener_;

  std::string portName_;
  SerialPort serial_;
  UsbAccessLibrary library_;
  int libraryStatus_ = -1;
  int usbInstance_ = -1;
  MPUSB_HANDLE writePipe_ = MPUSB_INVALID_HANDLE;
  MPUSB_HANDLE readPipe_ = MPUSB_INVALID_HANDLE;
};

}  // namespace pilvo
