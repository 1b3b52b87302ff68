// A virtual arm as the transport of a link in the same process: register lists and command
// packets go straight to the arm's request handling, with no pseudo-terminal, socket or
// environment. A reply shorter than the read ends the read at once, with no time-out to wait.
#pragma once

#include <cstdint>
#include <deque>
#include <span>

#include "link/transport.h"
#include "sim/fault_injection.h"
#include "sim/virtual_arm.h"

namespace pilvo::sim {

class InProcessTransport final : public ArmTransport {
 public:
  // `link` says which of the arm's boards answer. The arm must outlive the transport.
  InProcessTransport(VirtualArm& arm, Link link);

  // Serial: always opens, as a port does whatever stands behind it. USB: only a plugged arm.
  int Open() override;
  bool IsOpen() const override { return open_; }
  bool Close() override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  std::size_t Read(std::span<std::uint8_t> bytes) override;

 private:
  VirtualArm& arm_;
  const Link link_;
  bool open_ = false;
  // Serial: every byte answered and not yet read, as a line buffers them. USB: the last reply;
  // whatever a read leaves of it is gone with the next request.
  std::deque<std::uint8_t> pending_;
};

// Both transports of one virtual arm, for a link of either type:
//   session.link().UseTransports(transports.serial, transports.usb);
struct InProcessTransports {
  explicit InProcessTransports(VirtualArm& arm) : serial(arm, Link::Serial), usb(arm, Link::Usb) {}
  InProcessTransport serial;
  InProcessTransport usb;
};

}  // namespace pilvo::sim
