#include "link/usb_library.h"

#include <dlfcn.h>

#include <cerrno>
#include <limits>
#include <utility>

namespace pilvo {
namespace {

template <typename Function>
bool Resolve(void* module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(module, name));
  return function != nullptr;
}

// errno is cleared first: only an EBADF set by this very call means "invalid handle".
template <typename Byte, typename Entry>
bool Transfer(Entry entry, MPUSB_HANDLE pipe, std::span<Byte> bytes, std::uint32_t& transferred,
              std::uint32_t timeoutMs, bool& invalidHandle) {
  transferred = 0;
  if (entry == nullptr) {
    invalidHandle = true;  // without the library no pipe can be valid
    return false;
  }
  invalidHandle = false;
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return false;
  errno = 0;
  const bool done = entry(pipe, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                          &transferred, timeoutMs) != 0;
  invalidHandle = !done && errno == EBADF;
  return done;
}

}  // namespace

UsbAccessLibrary::UsbAccessLibrary(std::string libraryFile)
    : libraryFile_(std::move(libraryFile)) {}

UsbAccessLibrary::~UsbAccessLibrary() {
  Unload();
}

int UsbAccessLibrary::Load() {
  if (module_ != nullptr) return 0;
  void* module = dlopen(libraryFile_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return usb_load::kCannotLoad;

  EntryPoints entry;
  const bool complete =
      dlsym(module, "_MPUSBGetDLLVersion") != nullptr &&
      Resolve(module, "_MPUSBGetDeviceCount", entry.getDeviceCount) &&
      Resolve(module, "_MPUSBOpen", entry.open) && Resolve(module, "_MPUSBWrite", entry.write) &&
      Resolve(module, "_MPUSBRead", entry.read) && dlsym(module, "_MPUSBReadInt") != nullptr &&
      Resolve(module, "_MPUSBClose", entry.close);
  if (!complete) {
    dlclose(module);
    return usb_load::kEntryPointMissing;
  }
  module_ = module;
  entry_ = entry;
  return 0;
}

void UsbAccessLibrary::Unload() {
  if (module_ == nullptr) return;
  entry_ = {};
  dlclose(module_);
  module_ = nullptr;
}

std::uint32_t UsbAccessLibrary::DeviceCount(const char* vidPid) const {
  return entry_.getDeviceCount != nullptr ? entry_.getDeviceCount(vidPid) : 0;
}

MPUSB_HANDLE UsbAccessLibrary::Open(std::uint32_t instance, const char* vidPid,
                                    const char* endpoint, std::uint32_t direction) const {
  if (entry_.open == nullptr) return MPUSB_INVALID_HANDLE;
  return entry_.open(instance, vidPid, endpoint, direction, 0);
}

bool UsbAccessLibrary::Write(MPUSB_HANDLE pipe, std::span<const std::uint8_t> bytes,
                             std::uint32_t& transferred, std::uint32_t timeoutMs) {
  return Transfer(entry_.write, pipe, bytes, transferred, timeoutMs, lastFailureInvalidHandle_);
}

bool UsbAccessLibrary::Read(MPUSB_HANDLE pipe, std::span<std::uint8_t> bytes,
                            std::uint32_t& transferred, std::uint32_t timeoutMs) {
  return Transfer(entry_.read, pipe, bytes, transferred, timeoutMs, lastFailureInvalidHandle_);
}

void UsbAccessLibrary::Close(MPUSB_HANDLE pipe) const {
  if (entry_.close != nullptr) entry_.close(pipe);
}

}  // namespace pilvo
