// The serial link: the port named by the caller, opened at the speed of the working record with
// the read time-outs of the application profile.
#pragma once

#include <string>
#include <string_view>

#include "data/arm_record.h"
#include "data/settings.h"
#include "link/serial_port.h"
#include "link/transport.h"

namespace pilvo {

class SerialTransport final : public ArmTransport {
 public:
  // `record` gives the speed code; `profileStore` holds "TIMEOUT" and the serial port names.
  SerialTransport(const ArmRecord& record, SettingsStore profileStore);

  // False, and nothing recorded, when the name does not fit the 11-character field.
  bool SetPortName(std::string_view name);
  const std::string& portName() const { return portName_; }

  int Open() override;
  bool IsOpen() const override { return port_.IsOpen(); }
  bool Close() override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  std::size_t Read(std::span<std::uint8_t> bytes) override { return port_.Read(bytes); }

 private:
  const ArmRecord& record_;
  SettingsStore profileStore_;
  std::string portName_;
  SerialPort port_;
};

}  // namespace pilvo
