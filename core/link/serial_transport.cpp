#include "link/serial_transport.h"

#include <utility>

#include "link/serial_settings.h"

namespace pilvo {

SerialTransport::SerialTransport(const ArmRecord& record, SettingsStore profileStore)
    : record_(record), profileStore_(std::move(profileStore)) {}

bool SerialTransport::SetPortName(std::string_view name) {
  if (!FitsPortNameField(name)) return false;
  portName_ = name;
  return true;
}

int SerialTransport::Open() {
  const auto path = SerialDevicePath(portName_, profileStore_);
  if (!path) return serial_open::kCannotOpen;
  if (const int result = port_.Open(*path); result != 0) return result;
  if (const int result = port_.ApplyLineSettings(BaudRateOfSpeedCode(record_.serialSpeedCode));
      result != 0) {
    return result;
  }
  return port_.ApplyTimeouts(ReadSerialTimeouts(profileStore_));
}

bool SerialTransport::Close() {
  const bool wasOpen = port_.IsOpen();
  port_.Close();
  return wasOpen;
}

bool SerialTransport::Write(std::span<const std::uint8_t> bytes) {
  return port_.Write(bytes) == bytes.size();
}

}  // namespace pilvo
