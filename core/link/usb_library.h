// The USB access library, loaded at run time with dlopen("libmpusbapi.so") through the ordinary
// search order, and its seven entry points resolved by name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/mpusbapi/mpusbapi.h"

namespace pilvo {

// Results of loading the USB access library.
namespace usb_load {
inline constexpr int kCannotLoad = -1;
inline constexpr int kEntryPointMissing = -2;
}  // namespace usb_load

class UsbAccessLibrary {
 public:
  // `libraryFile` goes to dlopen as given: a bare name is searched for (LD_LIBRARY_PATH picks
  // the flavour), a path is taken as it is.
  explicit UsbAccessLibrary(std::string libraryFile = "libmpusbapi.so");
  UsbAccessLibrary(const UsbAccessLibrary&) = delete;
  UsbAccessLibrary& operator=(const UsbAccessLibrary&) = delete;
  ~UsbAccessLibrary();

  // 0 loaded (or already loaded), or a usb_load code (after kEntryPointMissing the library is
  // released again).
  int Load();
  void Unload();
  bool IsLoaded() const { return module_ != nullptr; }

  // Thin calls of the entry points. Without the library they fail: no device, an invalid
  // handle, and a transfer failure that counts as an invalid handle.
  std::uint32_t DeviceCount(const char* vidPid) const;
  MPUSB_HANDLE Open(std::uint32_t instance, const char* vidPid, const char* endpoint,
                    std::uint32_t direction) const;
  // True on success; `transferred` receives the bytes moved. After a failure,
  // LastFailureWasInvalidHandle tells whether the library reported an invalid handle.
  bool Write(MPUSB_HANDLE pipe, std::span<const std::uint8_t> bytes, std::uint32_t& transferred,
             std::uint32_t timeoutMs);
  bool Read(MPUSB_HANDLE pipe, std::span<std::uint8_t> bytes, std::uint32_t& transferred,
            std::uint32_t timeoutMs);
  void Close(MPUSB_HANDLE pipe) const;
  bool LastFailureWasInvalidHandle() const { return lastFailureInvalidHandle_; }

 private:
  // The entry points that are called; _MPUSBGetDLLVersion and _MPUSBReadInt only have to exist.
  struct EntryPoints {
    decltype(&_MPUSBGetDeviceCount) getDeviceCount = nullptr;
    decltype(&_MPUSBOpen) open = nullptr;
    decltype(&_MPUSBWrite) write = nullptr;
    decltype(&_MPUSBRead) read = nullptr;
    decltype(&_MPUSBClose) close = nullptr;
  };

  std::string libraryFile_;
  void* module_ = nullptr;
  EntryPoints entry_;
  bool lastFailureInvalidHandle_ = false;
};

}  // namespace pilvo
