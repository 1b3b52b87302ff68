#include "link/arm_link.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <vector>

#include "data/local_text.h"
#include "link/serial_settings.h"

namespace pilvo {
namespace {

constexpr char kLoadFailureOnOpen[] =
    "_error loading mpusbapi.dll (%i).\n\n Copy or update the dll file!";
constexpr char kLoadFailureOnChoice[] = "_error loading mpusbapi.dll (%i)";
constexpr int kTextUsbDevicesTitle = 2230;
constexpr int kTextDevicesNotFound = 2231;

constexpr std::array<std::uint8_t, 2> kIdentifierQuery = {0x01, 0x02};
constexpr std::size_t kIdentifierReplyLength = 5;
constexpr std::array<std::uint8_t, 2> kReleaseCommand = {0x50, 0x02};
constexpr std::size_t kReleaseReplyLength = 2;

}  // namespace

ArmLink::ArmLink(const ArmRecord& record, UsbDeviceChooser& chooser, std::string profileStore)
    : record_(record), chooser_(chooser), profileStore_(std::move(profileStore)) {}

ArmLink::~ArmLink() {
  // Pipes and the port go without the close notifications: nobody is listening any more.
  ClosePipes();
  serial_.Close();
}

bool ArmLink::SetPortName(std::string_view name) {
  if (!FitsPortNameField(name)) return false;
  portName_ = name;
  return true;
}

bool ArmLink::IsOpen() const {
  return IsUsb() ? usbInstance_ >= 0 : serial_.IsOpen();
}

int ArmLink::OpenArmPort() {
  return IsUsb() ? OpenUsb() : OpenSerial();
}

int ArmLink::OpenSerial() {
  const auto path = SerialDevicePath(portName_, profileStore_);
  if (!path) return -1;
  if (const int result = serial_.Open(*path); result != 0) return result;
  if (const int result = serial_.ApplyLineSettings(BaudRateOfSpeedCode(record_.serialSpeedCode));
      result != 0) {
    return result;
  }
  return serial_.ApplyTimeouts(ReadSerialTimeouts(profileStore_));
}

bool ArmLink::EnsureUsbLibrary(const char* failureFormat) {
  if (libraryStatus_ < 0) libraryStatus_ = LoadUsbLibrary();
  if (libraryStatus_ >= 0) return true;
  std::array<char, 128> text{};
  std::snprintf(text.data(), text.size(), failureFormat, libraryStatus_);
  chooser_.Tell(text.data(), true);
  return false;
}

int ArmLink::OpenUsb() {
  if (!EnsureUsbLibrary(kLoadFailureOnOpen)) return -1;
  const int instance = ChooseUsbDevice(false);
  if (instance < 0) return -1;
  usbInstance_ = instance;
  if (OpenPipes()) return 0;
  // A pipe that did open is closed too, so that no handle is lost.
  ClosePipes();
  usbInstance_ = -1;
  return -1;
}

bool ArmLink::OpenPipes() {
  const auto instance = static_cast<std::uint32_t>(usbInstance_);
  writePipe_ = library_.Open(instance, kArmVidPid, kArmEndpoint, MPUSB_DIRECTION_WRITE);
  readPipe_ = library_.Open(instance, kArmVidPid, kArmEndpoint, MPUSB_DIRECTION_READ);
  return PipesOpen();
}

bool ArmLink::PipesOpen() const {
  return writePipe_ != MPUSB_INVALID_HANDLE && readPipe_ != MPUSB_INVALID_HANDLE;
}

void ArmLink::ClosePipes() {
  if (writePipe_ != MPUSB_INVALID_HANDLE) library_.Close(writePipe_);
  if (readPipe_ != MPUSB_INVALID_HANDLE) library_.Close(readPipe_);
  writePipe_ = MPUSB_INVALID_HANDLE;
  readPipe_ = MPUSB_INVALID_HANDLE;
}

int ArmLink::LoadUsbLibrary() {
  libraryStatus_ = library_.Load();
  return libraryStatus_;
}

std::string ArmLink::QueryIdentifierOnOpenPipes() {
  std::array<std::uint8_t, kIdentifierReplyLength> reply{};
  std::uint32_t length = kIdentifierReplyLength;
  if (UsbTransact(kIdentifierQuery, reply, length, kUsbTimeoutMs, kUsbTimeoutMs) != 1 ||
      reply[0] != kIdentifierQuery[0]) {
    return {};
  }
  return std::string(reply.begin() + 1, reply.end());
}

int ArmLink::ChooseUsbDevice(bool showMessages) {
  if (!EnsureUsbLibrary(kLoadFailureOnChoice)) return -1;
  const std::uint32_t count = library_.DeviceCount(kArmVidPid);
  if (count == 0) {
    if (showMessages) {
      chooser_.Tell(LocalText(kTextDevicesNotFound), false);
    }
    return -1;
  }

  std::vector<int> instances;
  std::vector<std::string> identifiers;
  for (std::uint32_t instance = 0; instance <= kLastUsbInstanceProbed && instances.size() < count &&
                                   instances.size() < kMaxUsbChoices;
       ++instance) {
    usbInstance_ = static_cast<int>(instance);
    if (OpenPipes()) {
      instances.push_back(usbInstance_);
      identifiers.push_back(QueryIdentifierOnOpenPipes());
    }
    ClosePipes();
    usbInstance_ = -1;
  }

  // With no arm recorded there is nothing the open could use.
  if (instances.empty()) return -1;
  if (count == 1 && !showMessages) return instances.front();
  const auto line = chooser_.Choose(LocalText(kTextUsbDevicesTitle), identifiers);
  if (!line || *line >= instances.size()) return -1;
  return instances[*line];
}

int ArmLink::UsbTransact(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply,
                         std::uint32_t& replyLength, std::uint32_t writeTimeoutMs,
                         std::uint32_t readTimeoutMs) {
  if (!PipesOpen()) return 0;
  const std::uint32_t expected =
      std::min<std::uint32_t>(replyLength, static_cast<std::uint32_t>(reply.size()));
  std::uint32_t sent = 0;
  if (!library_.Write(writePipe_, request, sent, writeTimeoutMs)) {
    HandleLibraryFailure();
    return 0;
  }
  replyLength = 0;
  if (!library_.Read(readPipe_, reply.first(expected), replyLength, readTimeoutMs)) {
    HandleLibraryFailure();
    return 0;
  }
  if (replyLength == expected) return 1;
  return replyLength < expected ? 2 : 0;
}

void ArmLink::HandleLibraryFailure() {
  // An invalid handle means the device was unplugged: its pipes are dead. The instance stays,
  // so the link still counts as open until the caller closes it after the failed exchange.
  if (library_.LastFailureWasInvalidHandle()) {
    ClosePipes();
  } else {
    std::cout << "Error Code \r\n" << std::flush;
  }
}

int ArmLink::ChiudePorta() {
  if (closeListener_) closeListener_();
  int result = -1;
  if (IsUsb() && !record_.options.probeMode) {
    std::array<std::uint8_t, kReleaseReplyLength> reply{};
    std::uint32_t length = kReleaseReplyLength;
    UsbTransact(kReleaseCommand, reply, length, kUsbTimeoutMs, kUsbTimeoutMs);
  }
  // Whatever is open is closed, even if the link type changed since it was opened.
  if (usbInstance_ >= 0) result = 0;
  ClosePipes();
  usbInstance_ = -1;
  if (serial_.IsOpen()) {
    serial_.Close();
    result = 0;
  }
  return result;
}

void ArmLink::UnloadArmLink() {
  ChiudePorta();
  library_.Unload();
  libraryStatus_ = -1;
}

}  // namespace pilvo
