// The USB access library for real arms, on libusb-1.0. A pipe is one bulk endpoint of a device
// whose interface 0 is claimed; the pipes of one device share its libusb handle.
#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/mpusbapi/mpusbapi.h"

namespace {

constexpr std::uint32_t kLibraryVersion = 0x01000000;  // 1.0.0.0
constexpr int kArmInterface = 0;

struct UsbIdentity {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

// ASCII only: under a Turkish locale std::tolower leaves 'I' as it is, and "VID_" would not match.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char c) {
           return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
         });
}

// Exactly four hex digits.
std::optional<std::uint16_t> ParseHex4(std::string_view text) {
  if (text.size() != 4) return std::nullopt;
  std::uint16_t value = 0;
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value, 16);
  if (error != std::errc() || last != end) return std::nullopt;
  return value;
}

// "vid_XXXX&pid_YYYY", any case.
std::optional<UsbIdentity> ParseVidPid(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::string_view all(text);
  constexpr std::string_view kVid = "vid_", kPid = "&pid_";
  if (all.size() != kVid.size() + 4 + kPid.size() + 4 || !StartsWithIgnoringCase(all, kVid) ||
      !StartsWithIgnoringCase(all.substr(kVid.size() + 4), kPid)) {
    return std::nullopt;
  }
  const auto vendor = ParseHex4(all.substr(kVid.size(), 4));
  const auto product = ParseHex4(all.substr(kVid.size() + 4 + kPid.size()));
  if (!vendor || !product) return std::nullopt;
  return UsbIdentity{*vendor, *product};
}

// "\MCHP_EPn" (n = 1 to 15) and a direction give the endpoint address.
std::optional<unsigned char> ParseEndpoint(const char* text, std::uint32_t direction) {
  if (text == nullptr || direction > MPUSB_DIRECTION_READ) return std::nullopt;
  const std::string_view all(text);
  constexpr std::string_view kPrefix = "\\mchp_ep";
  if (!StartsWithIgnoringCase(all, kPrefix)) return std::nullopt;
  const std::string_view digits = all.substr(kPrefix.size());
  unsigned number = 0;
  const char* end = digits.data() + digits.size();
  const auto [last, error] = std::from_chars(digits.data(), end, number);
  if (error != std::errc() || last != end || digits.size() > 2 || number < 1 || number > 15) {
    return std::nullopt;
  }
  const unsigned in = direction == MPUSB_DIRECTION_READ ? LIBUSB_ENDPOINT_IN : 0;
  return static_cast<unsigned char>(in | number);
}

int ErrnoOfTransfer(int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_NO_DEVICE:
      return EBADF;
    case LIBUSB_ERROR_TIMEOUT:
      return ETIMEDOUT;
    default:
      return EIO;
  }
}

int ErrnoOfOpen(int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_NO_DEVICE:
      return ENODEV;
    case LIBUSB_ERROR_ACCESS:
      return EACCES;
    case LIBUSB_ERROR_BUSY:
      return EBUSY;
    default:
      return EIO;
  }
}

// A device handle with the arm's interface claimed, released when the last pipe lets go.
class ClaimedDevice {
 public:
  explicit ClaimedDevice(libusb_device_handle* handle) : handle_(handle) {}
  ClaimedDevice(const ClaimedDevice&) = delete;
  ClaimedDevice& operator=(const ClaimedDevice&) = delete;
  ~ClaimedDevice() {
    libusb_release_interface(handle_, kArmInterface);
    libusb_close(handle_);
  }
  libusb_device_handle* handle() const { return handle_; }

 private:
  libusb_device_handle* handle_;
};

struct Pipe {
  std::shared_ptr<ClaimedDevice> device;
  unsigned char endpoint = 0;
};

// The attached devices of one identity, in instance order: bus number, then device address.
class MatchingDevices {
 public:
  MatchingDevices(libusb_context* context, UsbIdentity identity) {
    const ssize_t count = libusb_get_device_list(context, &list_);
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list_[i], &descriptor) == LIBUSB_SUCCESS &&
          descriptor.idVendor == identity.vendor && descriptor.idProduct == identity.product) {
        devices_.push_back(list_[i]);
      }
    }
    std::sort(devices_.begin(), devices_.end(), [](libusb_device* a, libusb_device* b) {
      return std::pair(libusb_get_bus_number(a), libusb_get_device_address(a)) <
             std::pair(libusb_get_bus_number(b), libusb_get_device_address(b));
    });
  }
  MatchingDevices(const MatchingDevices&) = delete;
  MatchingDevices& operator=(const MatchingDevices&) = delete;
  ~MatchingDevices() {
    if (list_ != nullptr) libusb_free_device_list(list_, 1);
  }

  std::size_t size() const { return devices_.size(); }
  libusb_device* operator[](std::size_t instance) const { return devices_[instance]; }

 private:
  libusb_device** list_ = nullptr;
  std::vector<libusb_device*> devices_;
};

// Everything the library holds: the libusb context, made on first use, and the open pipes.
// Pipes are numbered and numbers are never reused, so a stale handle is always recognised.
// Transfers run outside the lock on their own reference to the device.
class Library {
 public:
  static Library& Instance() {
    static Library library;
    return library;
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The context must end before libusb can be unloaded with this library: it joins libusb's
  // event thread.
  ~Library() {
    pipes_.clear();
    if (context_ != nullptr) libusb_exit(context_);
  }

  std::uint32_t CountDevices(UsbIdentity identity) {
    const std::lock_guard lock(mutex_);
    libusb_context* context = Context();
    if (context == nullptr) return 0;
    return static_cast<std::uint32_t>(MatchingDevices(context, identity).size());
  }

  MPUSB_HANDLE OpenPipe(std::uint32_t instance, UsbIdentity identity, unsigned char endpoint) {
    const std::lock_guard lock(mutex_);
    libusb_context* context = Context();
    if (context == nullptr) return MPUSB_INVALID_HANDLE;
    const MatchingDevices matching(context, identity);
    if (instance >= matching.size()) {
      errno = ENODEV;
      return MPUSB_INVALID_HANDLE;
    }
    std::shared_ptr<ClaimedDevice> device = ClaimedInUse(matching[instance]);
    if (!device) device = Claim(matching[instance]);
    if (!device) return MPUSB_INVALID_HANDLE;
    const std::uintptr_t number = nextPipe_++;
    pipes_.emplace(number, Pipe{std::move(device), endpoint});
    return reinterpret_cast<MPUSB_HANDLE>(number);
  }

  std::optional<Pipe> Find(MPUSB_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    const auto pipe = pipes_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (pipe == pipes_.end()) return std::nullopt;
    return pipe->second;
  }

  bool ClosePipe(MPUSB_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    return pipes_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  }

 private:
  Library() = default;

  // Null, with errno set, when libusb cannot start.
  libusb_context* Context() {
    if (context_ == nullptr && libusb_init(&context_) != LIBUSB_SUCCESS) {
      context_ = nullptr;
      errno = EIO;
    }
    return context_;
  }

  std::shared_ptr<ClaimedDevice> ClaimedInUse(libusb_device* device) const {
    for (const auto& [number, pipe] : pipes_) {
      if (libusb_get_device(pipe.device->handle()) == device) return pipe.device;
    }
    return nullptr;
  }

  static std::shared_ptr<ClaimedDevice> Claim(libusb_device* device) {
    libusb_device_handle* handle = nullptr;
    int result = libusb_open(device, &handle);
    if (result == LIBUSB_SUCCESS) {
      result = libusb_claim_interface(handle, kArmInterface);
      if (result == LIBUSB_SUCCESS) return std::make_shared<ClaimedDevice>(handle);
      libusb_close(handle);
    }
    errno = ErrnoOfOpen(result);
    return nullptr;
  }

  std::mutex mutex_;
  libusb_context* context_ = nullptr;
  std::map<std::uintptr_t, Pipe> pipes_;
  std::uintptr_t nextPipe_ = 1;
};

using TransferFunction = int(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                             unsigned int);

std::uint32_t Transfer(TransferFunction* transfer, MPUSB_HANDLE handle, unsigned char* data,
                       std::uint32_t length, std::uint32_t* transferred, std::uint32_t timeoutMs,
                       bool toDevice) {
  if (transferred == nullptr || (data == nullptr && length != 0) || length > INT_MAX) {
    errno = EINVAL;
    return 0;
  }
  *transferred = 0;
  const std::optional<Pipe> pipe = Library::Instance().Find(handle);
  if (!pipe) {
    errno = EBADF;
    return 0;
  }
  if (((pipe->endpoint & LIBUSB_ENDPOINT_IN) == 0) != toDevice) {
    errno = EINVAL;
    return 0;
  }
  // A time-out of 0 means "do not wait" here but "wait forever" to libusb.
  const unsigned int timeout = std::max<std::uint32_t>(timeoutMs, 1);
  int moved = 0;
  const int result = transfer(pipe->device->handle(), pipe->endpoint, data,
                              static_cast<int>(length), &moved, timeout);
  *transferred = static_cast<std::uint32_t>(moved);
  if (result != LIBUSB_SUCCESS) {
    errno = ErrnoOfTransfer(result);
    return 0;
  }
  return 1;
}

}  // namespace

[[gnu::visibility("default")]] uint32_t _MPUSBGetDLLVersion(void) {
  return kLibraryVersion;
}

[[gnu::visibility("default")]] uint32_t _MPUSBGetDeviceCount(const char* vidPid) {
  const std::optional<UsbIdentity> identity = ParseVidPid(vidPid);
  if (!identity) {
    errno = EINVAL;
    return 0;
  }
  return Library::Instance().CountDevices(*identity);
}

[[gnu::visibility("default")]] MPUSB_HANDLE _MPUSBOpen(uint32_t instance, const char* vidPid,
                                                       const char* endpoint, uint32_t direction,
                                                       uint32_t reserved) {
  const std::optional<UsbIdentity> identity = ParseVidPid(vidPid);
  const std::optional<unsigned char> address = ParseEndpoint(endpoint, direction);
  if (!identity || !address || reserved != 0) {
    errno = EINVAL;
    return MPUSB_INVALID_HANDLE;
  }
  return Library::Instance().OpenPipe(instance, *identity, *address);
}

[[gnu::visibility("default")]] uint32_t _MPUSBWrite(MPUSB_HANDLE pipe, const void* data,
                                                    uint32_t length, uint32_t* transferred,
                                                    uint32_t timeoutMs) {
  // libusb takes a mutable buffer for both directions but only reads it on the way out.
  auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
  return Transfer(libusb_bulk_transfer, pipe, bytes, length, transferred, timeoutMs, true);
}

[[gnu::visibility("default")]] uint32_t _MPUSBRead(MPUSB_HANDLE pipe, void* data, uint32_t length,
                                                   uint32_t* transferred, uint32_t timeoutMs) {
  return Transfer(libusb_bulk_transfer, pipe, static_cast<unsigned char*>(data), length,
                  transferred, timeoutMs, false);
}

[[gnu::visibility("default")]] uint32_t _MPUSBReadInt(MPUSB_HANDLE pipe, void* data,
                                                      uint32_t length, uint32_t* transferred,
                                                      uint32_t timeoutMs) {
  return Transfer(libusb_interrupt_transfer, pipe, static_cast<unsigned char*>(data), length,
                  transferred, timeoutMs, false);
}

[[gnu::visibility("default")]] int32_t _MPUSBClose(MPUSB_HANDLE pipe) {
  if (!Library::Instance().ClosePipe(pipe)) {
    errno = EBADF;
    return 0;
  }
  return 1;
}
