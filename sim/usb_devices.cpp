#include "sim/usb_devices.h"

#include <utility>

#include "sim/virtual_arm.h"

namespace pilvo::sim {
namespace {

// A board answers each request before it takes the next; a client that keeps writing without
// reading finds the device busy rather than growing the queue without end.
constexpr std::size_t kMaxUnreadReplies = 16;

}  // namespace

UsbDevices::UsbDevices(std::vector<VirtualArm*> arms) {
  devices_.reserve(arms.size());
  for (VirtualArm* arm : arms) devices_.push_back(Device{arm, arm->plugged(), 0, {}});
}

void UsbDevices::Refresh() {
  for (Device& device : devices_) {
    const bool plugged = device.arm->plugged();
    if (device.present && !plugged) {
      ++device.generation;
      device.replies.clear();
    }
    device.present = plugged;
  }
}

std::uint32_t UsbDevices::Count() const {
  std::uint32_t count = 0;
  for (const Device& device : devices_) count += device.present ? 1 : 0;
  return count;
}

std::optional<UsbPipe> UsbDevices::Open(std::uint32_t instance, std::uint32_t direction) const {
  std::uint32_t seen = 0;
  for (std::size_t index = 0; index < devices_.size(); ++index) {
    if (!devices_[index].present) continue;
    if (seen++ == instance) return UsbPipe{index, direction, devices_[index].generation};
  }
  return std::nullopt;
}

bool UsbDevices::Alive(const UsbPipe& pipe) const {
  const Device& device = devices_.at(pipe.arm);
  return device.present && device.generation == pipe.generation;
}

wire::Status UsbDevices::Write(const UsbPipe& pipe, std::span<const std::uint8_t> request) {
  if (!Alive(pipe)) return wire::Status::kGone;
  Device& device = devices_[pipe.arm];
  if (device.replies.size() >= kMaxUnreadReplies) return wire::Status::kTimedOut;
  std::vector<std::uint8_t> reply = device.arm->HandleUsbRequest(request);
  if (!reply.empty()) device.replies.push_back(std::move(reply));
  return wire::Status::kOk;
}

std::optional<std::vector<std::uint8_t>> UsbDevices::TakeReply(const UsbPipe& pipe) {
  if (!Alive(pipe)) return std::nullopt;
  Device& device = devices_[pipe.arm];
  if (device.replies.empty()) return std::nullopt;
  std::vector<std::uint8_t> reply = std::move(device.replies.front());
  device.replies.pop_front();
  return reply;
}

}  // namespace pilvo::sim
