// Where the serial link's settings come from: the read time-outs kept in the application
// profile and the device that a port name stands for.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "data/settings.h"
#include "link/serial_port.h"

namespace pilvo {

// The port-name field holds at most 11 characters and its terminating zero.
inline constexpr std::size_t kMaxPortNameLength = 11;

// True when `portName` fits the port-name field as it is: 1 to 11 characters, no zero byte.
// Callers refuse a name that does not fit; they never cut it.
bool FitsPortNameField(std::string_view portName);

// The read time-outs from section "TIMEOUT" of `profileStore` ("ReadInterval" 0,
// "ReadTotalMultiplier" 20, "ReadTotalConstant" 1000 ms). A missing key (read as 0xFFFFFFFF) is
// taken at its default, and the default is written back at once; any other stored value,
// 0 included, is used as it is and left alone.
SerialTimeouts ReadSerialTimeouts(const SettingsStore& profileStore);

// The device to open for `portName`:
// - a name beginning with "/" is a device path and is used as given;
// - "COMn" (any case, n from 1 without leading zeros) is looked up in section "SerialPorts" of
//   `profileStore` under the name itself (e.g. "COM3" = /dev/ttyUSB2); a stored path must
//   begin with "/", anything else stored there gives nothing. Without a stored path:
//   COM1-COM4 are /dev/ttyS0-/dev/ttyS3 (on-board ports), COM5-COM12 are
//   /dev/ttyUSB0-/dev/ttyUSB7 (USB serial adapters), COM13-COM20 are /dev/ttyACM0-/dev/ttyACM7
//   (USB modem-class devices), and higher numbers have no default;
// - any other name gives nothing.
std::optional<std::string> SerialDevicePath(std::string_view portName,
                                            const SettingsStore& profileStore);

}  // namespace pilvo
