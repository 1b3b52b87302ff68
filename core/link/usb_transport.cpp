#include "link/usb_transport.h"

#include <array>
#include <cstdio>
#include <iostream>
#include <utility>

#include "data/local_text.h"
#include "link/serial_port.h"

namespace pilvo {
namespace {

constexpr char kLoadFailureOnOpen[] =
    "_error loading mpusbapi.dll (%i).\n\n Copy or update the dll file!";
constexpr char kLoadFailureOnChoice[] = "_error loading mpusbapi.dll (%i)";
constexpr int kTextUsbDevicesTitle = 2230;
constexpr int kTextDevicesNotFound = 2231;

constexpr std::array<std::uint8_t, 2> kIdentifierQuery = {0x01, 0x02};
constexpr std::size_t kIdentifierReplyLength = 5;

}  // namespace

UsbTransport::UsbTransport(UsbDeviceChooser chooser, const Language& language)
    : chooser_(std::move(chooser)), language_(language) {}

UsbTransport::~UsbTransport() {
  ClosePipes();
}

int UsbTransport::LoadLibrary() {
  libraryStatus_ = library_.Load();
  return libraryStatus_;
}

void UsbTransport::UnloadLibrary() {
  Close();
  library_.Unload();
  libraryStatus_ = usb_load::kCannotLoad;
}

bool UsbTransport::EnsureLibrary(const char* failureFormat) {
  if (libraryStatus_ < 0) LoadLibrary();
  if (libraryStatus_ >= 0) return true;
  std::array<char, 128> text{};
  std::snprintf(text.data(), text.size(), failureFormat, libraryStatus_);
  if (chooser_.showLoadFailure) chooser_.showLoadFailure(text.data());
  return false;
}

int UsbTransport::Open() {
  if (!EnsureLibrary(kLoadFailureOnOpen)) return serial_open::kCannotOpen;
  const int instance = ChooseDevice(false);
  if (instance < 0) return serial_open::kCannotOpen;
  instance_ = instance;
  if (OpenPipes()) return 0;
  // A pipe that did open is closed too, so that no handle is lost.
  ClosePipes();
  instance_ = kNoUsbArm;
  return serial_open::kCannotOpen;
}

bool UsbTransport::Close() {
  const bool wasOpen = instance_ >= 0;
  ClosePipes();
  instance_ = kNoUsbArm;
  return wasOpen;
}

bool UsbTransport::OpenPipes() {
  const auto instance = static_cast<std::uint32_t>(instance_);
  writePipe_ = library_.Open(instance, kArmVidPid, kArmEndpoint, MPUSB_DIRECTION_WRITE);
  readPipe_ = library_.Open(instance, kArmVidPid, kArmEndpoint, MPUSB_DIRECTION_READ);
  return PipesOpen();
}

bool UsbTransport::PipesOpen() const {
  return writePipe_ != MPUSB_INVALID_HANDLE && readPipe_ != MPUSB_INVALID_HANDLE;
}

void UsbTransport::ClosePipes() {
  if (writePipe_ != MPUSB_INVALID_HANDLE) library_.Close(writePipe_);
  if (readPipe_ != MPUSB_INVALID_HANDLE) library_.Close(readPipe_);
  writePipe_ = MPUSB_INVALID_HANDLE;
  readPipe_ = MPUSB_INVALID_HANDLE;
}

std::string UsbTransport::QueryIdentifierOnOpenPipes() {
  std::array<std::uint8_t, kIdentifierReplyLength> reply{};
  if (!Write(kIdentifierQuery) || Read(reply) != reply.size() || reply[0] != kIdentifierQuery[0]) {
    return {};
  }
  return std::string(reply.begin() + 1, reply.end());
}

int UsbTransport::ChooseDevice(bool showMessages) {
  if (!EnsureLibrary(kLoadFailureOnChoice)) return kNoUsbArm;
  const std::uint32_t count = library_.DeviceCount(kArmVidPid);
  if (count == 0) {
    if (showMessages && chooser_.showNotFound) {
      chooser_.showNotFound(LocalText(kTextDevicesNotFound, language_));
    }
    return kNoUsbArm;
  }

  std::vector<int> instances;
  std::vector<std::string> identifiers;
  for (std::uint32_t instance = 0; instance <= kLastUsbInstanceProbed && instances.size() < count &&
                                   instances.size() < kMaxUsbChoices;
       ++instance) {
    instance_ = static_cast<int>(instance);
    if (OpenPipes()) {
      instances.push_back(instance_);
      identifiers.push_back(QueryIdentifierOnOpenPipes());
    }
    ClosePipes();
    instance_ = kNoUsbArm;
  }

  // With no arm recorded there is nothing the open could use.
  if (instances.empty()) return kNoUsbArm;
  if (count == 1 && !showMessages) return instances.front();
  if (!chooser_.choose) return kNoUsbArm;
  const auto line = chooser_.choose(LocalText(kTextUsbDevicesTitle, language_), identifiers);
  if (!line || *line >= instances.size()) return kNoUsbArm;
  return instances[*line];
}

bool UsbTransport::Write(std::span<const std::uint8_t> bytes) {
  if (!PipesOpen()) return false;
  std::uint32_t sent = 0;
  if (library_.Write(writePipe_, bytes, sent, kUsbTimeoutMs)) return true;
  HandleLibraryFailure();
  return false;
}

std::size_t UsbTransport::Read(std::span<std::uint8_t> bytes) {
  if (!PipesOpen()) return 0;
  std::uint32_t received = 0;
  if (library_.Read(readPipe_, bytes, received, kUsbTimeoutMs)) return received;
  HandleLibraryFailure();
  return 0;
}

void UsbTransport::HandleLibraryFailure() {
  if (library_.LastFailureWasInvalidHandle()) {
    ClosePipes();
  } else {
    std::cout << "Error Code \r\n" << std::flush;
  }
}

}  // namespace pilvo
