// A USB device on a umockdev testbed, answering the usbdevfs ioctls that libusb sends it. As an
// arm's board it has bulk endpoints OUT 1 and IN 1, answers the version query 00 02 with
// 00 minor major and ignores anything else; once unplugged it fails every ioctl with ENODEV, as
// the kernel does.
#pragma once

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace pilvo {

class EmulatedUsbDevice {
 public:
  // Plugs the device in at `bus` and `address`; vendor 04d8, product `product`.
  EmulatedUsbDevice(UMockdevTestbed* testbed, unsigned bus, unsigned address,
                    std::uint8_t minorVersion, std::uint16_t product = 0xfeab)
      : testbed_(testbed),
        devnode_("/dev/bus/usb/" + Printed("%03u", bus) + "/" + Printed("%03u", address)),
        syspath_("/sys/devices/" + std::to_string(bus) + "-" + std::to_string(address)),
        minorVersion_(minorVersion),
        handler_(umockdev_ioctl_base_new()) {
    // The device in the format of umockdev-record: its path, device node, the sysfs attributes
    // libusb reads (H: a binary one) and the udev properties. The "add" uevent goes out once
    // all of it is in place.
    std::string description;
    for (const std::string& line : std::initializer_list<std::string>{
             "P: " + syspath_.substr(4), "N: " + devnode_.substr(5),
             "A: busnum=" + std::to_string(bus), "A: devnum=" + std::to_string(address),
             "A: speed=12", "A: idVendor=04d8", "A: idProduct=" + Printed("%04x", product),
             "A: bConfigurationValue=1", "H: descriptors=" + Descriptors(product),
             "E: SUBSYSTEM=usb", "E: DEVTYPE=usb_device", "E: DEVNAME=" + devnode_,
             "E: BUSNUM=" + Printed("%03u", bus), "E: DEVNUM=" + Printed("%03u", address)}) {
      description += line + "\n";
    }
    GError* error = nullptr;
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error) ||
        !umockdev_testbed_attach_ioctl(testbed_, devnode_.c_str(), handler_, &error)) {
      ADD_FAILURE() << "cannot emulate " << devnode_ << ": " << error->message;
      g_clear_error(&error);
    }
  }
  EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
  EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;
  ~EmulatedUsbDevice() {
    if (!unplugged_) Unplug();
    g_signal_handlers_disconnect_by_data(handler_, this);
    umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
    for (const Urb& urb : waiting_) Release(urb);
    for (const Urb& urb : done_) Release(urb);
    g_object_unref(handler_);
  }

  void Unplug() {
    unplugged_ = true;
    umockdev_testbed_uevent(testbed_, syspath_.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, syspath_.c_str());
  }

  // How often interface 0 has been claimed and released.
  int claims() const { return claims_; }
  int releases() const { return releases_; }

 private:
  static constexpr std::uint8_t kOut = 0x01, kIn = 0x81;

  // A submitted urb and its buffer, as copies that umockdev writes back when the urb is reaped.
  struct Urb {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;  // null for an empty transfer
    usbdevfs_urb* fields() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
  };

  static std::string Printed(const char* format, unsigned value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), format, value);
    return text.data();
  }

  // Device descriptor, then one configuration: interface 0 with bulk endpoints OUT 1 and IN 1.
  static std::string Descriptors(std::uint16_t product) {
    const unsigned low = product & 0xffu, high = product / 256u;
    // clang-format off
    const std::array<unsigned, 50> bytes{
        18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xd8, 0x04, low, high, 0x00, 0x01, 1, 2, 0, 1,  // device
        9, 2, 32, 0, 1, 1, 0, 0x80, 50,  // configuration
        9, 4, 0, 0, 2, 0xff, 0, 0, 0,    // interface 0
        7, 5, kOut, 0x02, 64, 0, 0,      // bulk OUT 1
        7, 5, kIn, 0x02, 64, 0, 0};      // bulk IN 1
    // clang-format on
    std::string hex;
    for (const unsigned byte : bytes) hex += Printed("%02x", byte);
    return hex;
  }

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    const int error = static_cast<EmulatedUsbDevice*>(self)->Handle(
        umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    return TRUE;
  }

  static void Release(const Urb& urb) {
    if (urb.buffer != nullptr) g_object_unref(urb.buffer);
    g_object_unref(urb.urb);
  }

  // Each returns the errno of the ioctl, 0 for success.
  int Handle(gulong request, UMockdevIoctlData* arg) {
    if (unplugged_) return ENODEV;
    switch (request) {
      case USBDEVFS_CLAIMINTERFACE:
        ++claims_;
        return 0;
      case USBDEVFS_RELEASEINTERFACE:
        ++releases_;
        return 0;
      case USBDEVFS_SUBMITURB:
        return Submit(arg);
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY:
        return Reap(arg);
      case USBDEVFS_DISCARDURB:
        return Discard(arg);
      default:
        return ENOTTY;
    }
  }

  int Submit(UMockdevIoctlData* arg) {
    Urb urb;
    urb.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (urb.urb == nullptr) return EFAULT;
    const usbdevfs_urb* fields = urb.fields();
    const auto length = static_cast<std::size_t>(std::max(fields->buffer_length, 0));
    if (length > 0) {
      urb.buffer =
          umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer), length, nullptr);
    }
    const bool bulk = fields->type == USBDEVFS_URB_TYPE_BULK &&
                      (fields->endpoint == kOut || fields->endpoint == kIn);
    if (!bulk || (length > 0 && urb.buffer == nullptr)) {
      Release(urb);
      return EINVAL;
    }
    if (fields->endpoint == kOut) {
      if (length == 2 && std::memcmp(urb.buffer->data, "\0\2", 2) == 0) {
        replies_.push_back({0x00, minorVersion_, 0x01});
      }
      Finish(urb, length, 0);
    } else {
      waiting_.push_back(urb);
    }
    // A read waits for the next reply, as a bulk IN endpoint naks until the board has one. A
    // reply longer than the read overflows it.
    while (!waiting_.empty() && !replies_.empty()) {
      const Urb read = waiting_.front();
      const std::vector<std::uint8_t> reply = replies_.front();
      waiting_.pop_front();
      replies_.pop_front();
      const auto room = static_cast<std::size_t>(read.fields()->buffer_length);
      const std::size_t moved = std::min(room, reply.size());
      if (moved > 0) std::memcpy(read.buffer->data, reply.data(), moved);
      Finish(read, moved, reply.size() > room ? -EOVERFLOW : 0);
    }
    return 0;
  }

  void Finish(const Urb& urb, std::size_t moved, int status) {
    urb.fields()->actual_length = static_cast<int>(moved);
    urb.fields()->status = status;
    done_.push_back(urb);
  }

  // The argument points at the caller's urb pointer, which receives the finished urb.
  int Reap(UMockdevIoctlData* arg) {
    if (done_.empty()) return EAGAIN;
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (slot == nullptr) return EFAULT;
    const Urb urb = done_.front();
    done_.pop_front();
    umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
    g_object_unref(slot);
    Release(urb);
    return 0;
  }

  // The argument is the address of the urb to cancel; it is then reaped as cancelled.
  int Discard(UMockdevIoctlData* arg) {
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    const auto urb = std::find_if(waiting_.begin(), waiting_.end(), [address](const Urb& u) {
      return u.urb->client_addr == address;
    });
    if (urb == waiting_.end()) return EINVAL;
    const Urb discarded = *urb;
    waiting_.erase(urb);
    Finish(discarded, 0, -ENOENT);
    return 0;
  }

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
