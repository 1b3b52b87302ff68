// A serial port on POSIX termios with the read time-outs of the arm's link: a read of n bytes
// gives up after multiplier x n + constant ms, or earlier when the interval time-out between
// two bytes runs out (when it is non-zero).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pilvo {

// Results of opening a serial port.
namespace serial_open {
inline constexpr int kCannotOpen = -1;          // no such device, no access, or held by another
inline constexpr int kSettingsUnreadable = -2;  // the line settings cannot be read
inline constexpr int kSettingsRefused = -3;     // the speed or the line settings were refused
inline constexpr int kTimeoutsRefused = -4;     // the read time-outs were refused
}  // namespace serial_open

struct SerialTimeouts {
  std::uint32_t readInterval = 0;          // ms between two bytes; 0: no interval time-out
  std::uint32_t readTotalMultiplier = 20;  // ms per byte asked for
  std::uint32_t readTotalConstant = 1000;  // ms added once per read
};

class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();

  // The three steps of opening, in this order, each 0 or a serial_open code. Open: kCannotOpen
  // when the device cannot be opened or another program holds it (the port stays closed).
  // ApplyLineSettings: 8 data bits, no parity, one stop bit, raw, at `baudRate`.
  // ApplyTimeouts. After the later codes the port stays open.
  int Open(const std::string& devicePath);
  int ApplyLineSettings(int baudRate);
  int ApplyTimeouts(const SerialTimeouts& timeouts);

  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Writes every byte (no write time-out); the number written.
  std::size_t Write(std::span<const std::uint8_t> bytes);
  // Reads up to bytes.size() bytes within the time-outs; the number read.
  std::size_t Read(std::span<std::uint8_t> bytes);

 private:
  int fd_ = -1;
  SerialTimeouts timeouts_;
};

}  // namespace pilvo
