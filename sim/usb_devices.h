// The virtual arms as the USB bus shows them: numbered in order, an unplugged arm left out of
// the numbering; each with the replies it has sent and not yet given to a reader. A pipe opened
// on an arm dies when the arm is unplugged and stays dead after it comes back, as a real device
// enumerates afresh. Used by the server's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sim/usb_wire.h"

namespace pilvo::sim {

class VirtualArm;

struct UsbPipe {
  std::size_t arm = 0;  // index in the server's list, not the instance number
  std::uint32_t direction = 0;
  std::uint64_t generation = 0;  // of the arm's plugging when the pipe was opened
};

class UsbDevices {
 public:
  explicit UsbDevices(std::vector<VirtualArm*> arms);

  // Notices the arms unplugged since the last look: their pipes die and their unread replies
  // are lost.
  void Refresh();

  std::uint32_t Count() const;
  // A pipe on the device at `instance`, or nothing when there is none.
  std::optional<UsbPipe> Open(std::uint32_t instance, std::uint32_t direction) const;
  bool Alive(const UsbPipe& pipe) const;

  // Hands the request packet to the arm and keeps its reply, if any, for the readers.
  wire::Status Write(const UsbPipe& pipe, std::span<const std::uint8_t> request);
  // The oldest unread reply of the pipe's arm, or nothing yet.
  std::optional<std::vector<std::uint8_t>> TakeReply(const UsbPipe& pipe);

 private:
  struct Device {
    VirtualArm* arm = nullptr;
    bool present = false;
    std::uint64_t generation = 0;
    std::deque<std::vector<std::uint8_t>> replies;
  };
  std::vector<Device> devices_;
};

}  // namespace pilvo::sim
