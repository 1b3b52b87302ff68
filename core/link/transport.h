// What the board protocols move their bytes over: the serial port, the USB access library, or a
// virtual arm in the same process. The link holds one transport per link type and uses the one
// that the working record's link type names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/serial_port.h"

namespace pilvo {

class ArmTransport {
 public:
  virtual ~ArmTransport() = default;

  // 0, or a serial_open code (USB: only kCannotOpen); after the codes that follow kCannotOpen
  // a serial port stays open.
  virtual int Open() = 0;
  // Open as the exchanges test it: a valid serial handle, or a USB instance of 0 or more.
  virtual bool IsOpen() const = 0;
  // True when something was open.
  virtual bool Close() = 0;

  // Sends one request whole. False when it could not go (USB: then there is no reply to read).
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Reads up to bytes.size() bytes of the reply within the link's time-outs (serial: those of
  // the profile; USB: 100 ms): the number read, 0 after a failure.
  virtual std::size_t Read(std::span<std::uint8_t> bytes) = 0;
};

}  // namespace pilvo
