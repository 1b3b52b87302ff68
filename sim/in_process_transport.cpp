#include "sim/in_process_transport.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace pilvo::sim {

InProcessTransport::InProcessTransport(VirtualArm& arm, Link link) : arm_(arm), link_(link) {}

int InProcessTransport::Open() {
  if (link_ == Link::Usb && !arm_.plugged()) return -1;
  open_ = true;
  pending_.clear();
  return 0;
}

bool InProcessTransport::Close() {
  const bool wasOpen = open_;
  open_ = false;
  return wasOpen;
}

bool InProcessTransport::Write(std::span<const std::uint8_t> bytes) {
  if (!open_) return false;
  if (link_ == Link::Usb) pending_.clear();
  const std::vector<std::uint8_t> reply =
      link_ == Link::Usb ? arm_.HandleUsbRequest(bytes) : arm_.HandleSerialRequest(bytes);
  pending_.insert(pending_.end(), reply.begin(), reply.end());
  return true;
}

std::size_t InProcessTransport::Read(std::span<std::uint8_t> bytes) {
  if (!open_) return 0;
  const std::size_t count = std::min(bytes.size(), pending_.size());
  std::copy_n(pending_.begin(), count, bytes.begin());
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  return count;
}

}  // namespace pilvo::sim
