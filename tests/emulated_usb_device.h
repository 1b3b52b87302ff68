// A USB device on a umockdev testbed, answering the usbdevfs ioctls that libusb sends it. As an
// arm's board it has bulk endpoints OUT 1 and IN 1, answers the version query 00 02 with
// 00 minor major and ignores anything else; once unplugged it fails every ioctl with ENODEV, as
// the kernel does.
#pragma once

#include <umockdev.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct usbdevfs_urb;

namespace pilvo {

class EmulatedUsbDevice {
 public:
  static constexpr std::uint16_t kArmProduct = 0xfeab;

  // Plugs the device in at `bus` and `address`; vendor 04d8, product `product`.
  EmulatedUsbDevice(UMockdevTestbed* testbed, unsigned bus, unsigned address,
                    std::uint8_t minorVersion, std::uint16_t product = kArmProduct);
  EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
  EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;
  ~EmulatedUsbDevice();

  void Unplug();

  // How often interface 0 has been claimed and released.
  int claims() const { return claims_; }
  int releases() const { return releases_; }

 private:
  // A submitted urb and its buffer, as copies that umockdev writes back when the urb is reaped.
  struct Urb {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;  // null for an empty transfer
    usbdevfs_urb* fields() const;
  };

  static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
  static void Release(const Urb& urb);
  // Each returns the errno of the ioctl, 0 for success.
  int Handle(gulong request, UMockdevIoctlData* arg);
  int Submit(UMockdevIoctlData* arg);
  int Reap(UMockdevIoctlData* arg);
  int Discard(UMockdevIoctlData* arg);
  void AnswerWaitingReads();
  void Finish(const Urb& urb, std::size_t moved, int status);

  UMockdevTestbed* testbed_;
  std::string devnode_;
  std::string syspath_;
  std::uint8_t minorVersion_;
  UMockdevIoctlBase* handler_;
  std::atomic<bool> unplugged_ = false;
  std::atomic<int> claims_ = 0, releases_ = 0;
  // Used on umockdev's worker thread only, where the ioctls arrive.
  std::deque<Urb> waiting_, done_;
  std::deque<std::vector<std::uint8_t>> replies_;
};

}  // namespace pilvo
