#include "emulated_usb_device.h"

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pilvo {
namespace {

constexpr std::uint8_t kOut = 0x01, kIn = 0x81;

std::string Printed(const char* format, unsigned value) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), format, value);
  return text.data();
}

// Device descriptor, then one configuration: interface 0 with bulk endpoints OUT 1 and IN 1.
std::string DescriptorsInHex(std::uint16_t product) {
  const auto low = static_cast<std::uint8_t>(product & 0xff);
  const auto high = static_cast<std::uint8_t>(product >> 8);
  // clang-format off
  const std::array<std::uint8_t, 50> bytes{
      18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xd8, 0x04, low, high, 0x00, 0x01, 1, 2, 0, 1,  // device
      9, 2, 32, 0, 1, 1, 0, 0x80, 50,  // configuration
      9, 4, 0, 0, 2, 0xff, 0, 0, 0,    // interface 0
      7, 5, kOut, 0x02, 64, 0, 0,      // bulk OUT 1
      7, 5, kIn, 0x02, 64, 0, 0};      // bulk IN 1
  // clang-format on
  std::string hex;
  for (std::uint8_t byte : bytes) hex += Printed("%02x", byte);
  return hex;
}

}  // namespace

EmulatedUsbDevice::EmulatedUsbDevice(UMockdevTestbed* testbed, unsigned bus, unsigned address,
                                     std::uint8_t minorVersion, std::uint16_t product)
    : testbed_(testbed),
      devnode_("/dev/bus/usb/" + Printed("%03u", bus) + "/" + Printed("%03u", address)),
      syspath_("/sys/devices/" + std::to_string(bus) + "-" + std::to_string(address)),
      minorVersion_(minorVersion),
      handler_(umockdev_ioctl_base_new()) {
  // The device in the format of umockdev-record: its path, device node, the sysfs attributes
  // libusb reads (H: a binary one) and the udev properties. The "add" uevent goes out once
  // all of it is in place.
  const std::vector<std::string> lines{
      "P: " + syspath_.substr(std::strlen("/sys")),
      "N: " + devnode_.substr(std::strlen("/dev/")),
      "A: busnum=" + std::to_string(bus),
      "A: devnum=" + std::to_string(address),
      "A: speed=12",
      "A: idVendor=04d8",
      "A: idProduct=" + Printed("%04x", product),
      "A: bConfigurationValue=1",
      "H: descriptors=" + DescriptorsInHex(product),
      "E: SUBSYSTEM=usb",
      "E: DEVTYPE=usb_device",
      "E: DEVNAME=" + devnode_,
      "E: BUSNUM=" + Printed("%03u", bus),
      "E: DEVNUM=" + Printed("%03u", address),
  };
  std::string description;
  for (const std::string& line : lines) description += line + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error)) {
    ADD_FAILURE() << "cannot add " << syspath_ << ": " << error->message;
    g_clear_error(&error);
  }
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
  if (!umockdev_testbed_attach_ioctl(testbed_, devnode_.c_str(), handler_, &error)) {
    ADD_FAILURE() << "cannot emulate " << devnode_ << ": " << error->message;
    g_clear_error(&error);
  }
}

EmulatedUsbDevice::~EmulatedUsbDevice() {
  if (!unplugged_) Unplug();
  g_signal_handlers_disconnect_by_data(handler_, this);
  umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
  for (const Urb& urb : waiting_) Release(urb);
  for (const Urb& urb : done_) Release(urb);
  g_object_unref(handler_);
}

void EmulatedUsbDevice::Unplug() {
  unplugged_ = true;
  umockdev_testbed_uevent(testbed_, syspath_.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, syspath_.c_str());
}

usbdevfs_urb* EmulatedUsbDevice::Urb::fields() const {
  return reinterpret_cast<usbdevfs_urb*>(urb->data);
}

gboolean EmulatedUsbDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
  const int error = static_cast<EmulatedUsbDevice*>(self)->Handle(
      umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
  umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
  return TRUE;
}

void EmulatedUsbDevice::Release(const Urb& urb) {
  if (urb.buffer != nullptr) g_object_unref(urb.buffer);
  g_object_unref(urb.urb);
}

int EmulatedUsbDevice::Handle(gulong request, UMockdevIoctlData* arg) {
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

int EmulatedUsbDevice::Submit(UMockdevIoctlData* arg) {
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
    static constexpr std::array<std::uint8_t, 2> kVersionQuery{0x00, 0x02};
    if (length == kVersionQuery.size() &&
        std::memcmp(urb.buffer->data, kVersionQuery.data(), length) == 0) {
      replies_.push_back({0x00, minorVersion_, 0x01});
    }
    Finish(urb, length, 0);
  } else {
    waiting_.push_back(urb);
  }
  AnswerWaitingReads();
  return 0;
}

// A read waits for the next reply, as a bulk IN endpoint naks until the board has one. A reply
// longer than the read overflows it.
void EmulatedUsbDevice::AnswerWaitingReads() {
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
}

void EmulatedUsbDevice::Finish(const Urb& urb, std::size_t moved, int status) {
  urb.fields()->actual_length = static_cast<int>(moved);
  urb.fields()->status = status;
  done_.push_back(urb);
}

// The argument points at the caller's urb pointer, which receives the finished urb.
int EmulatedUsbDevice::Reap(UMockdevIoctlData* arg) {
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
int EmulatedUsbDevice::Discard(UMockdevIoctlData* arg) {
  gulong address = 0;
  std::memcpy(&address, arg->data, sizeof address);
  const auto urb = std::find_if(waiting_.begin(), waiting_.end(),
                                [address](const Urb& u) { return u.urb->client_addr == address; });
  if (urb == waiting_.end()) return EINVAL;
  const Urb discarded = *urb;
  waiting_.erase(urb);
  Finish(discarded, 0, -ENOENT);
  return 0;
}

}  // namespace pilvo
