// The USB access library, loaded at run time with dlopen("libmpusbapi.so") through the ordinary
// search order, and its seven entry points resolved by name.
#pragma once

#include <cstdint>
#include <span>

#include "platform/mpusbapi/mpusbapi.h"

namespace pilvo {

class UsbAccessLibrary {
 public:
  UsbAccessLibrary() = default;
  UsbAccessLibrary(const UsbAccessLibrary&) = delete;
  UsbAccessLibrary& operator=(const UsbAccessLibrary&) = delete;
  ~UsbAccessLibrary();

  // 0 loaded (or already loaded), -1 the library cannot be loaded, -2 an entry point is
  // missing (the library is released again).
  int Load();
  void Unload();
  bool IsLoaded() const { return module_ != nullptr; }

  // Thin calls of the entry points; the library must be loaded.
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
  void* module_ = nullptr;
  decltype(&_MPUSBGetDLLVersion) getDllVersion_ = nullptr;
  decltype(&_MPUSBGetDeviceCount) getDeviceCount_ = nullptr;
  decltype(&_MPUSBOpen) open_ = nullptr;
  decltype(&_MPUSBWrite) write_ = nullptr;
  decltype(&_MPUSBRead) read_ = nullptr;
  decltype(&_MPUSBReadInt) readInt_ = nullptr;
  decltype(&_MPUSBClose) close_ = nullptr;
  bool lastFailureInvalidHandle_ = false;
};

}  // namespace pilvo
