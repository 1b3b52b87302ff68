#include "link/serial_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "data/settings.h"

namespace pilvo {
namespace {

constexpr std::string_view kTimeoutSection = "TIMEOUT";
constexpr std::string_view kPortSection = "SerialPorts";
constexpr std::uint32_t kMissing = 0xFFFFFFFF;
constexpr std::string_view kComPrefix = "com";

// Device paths for the port numbers that have no stored path.
struct DefaultPorts {
  unsigned firstNumber;
  unsigned count;
  std::string_view devicePrefix;
};
constexpr std::array<DefaultPorts, 3> kDefaultPorts{{
    {1, 4, "/dev/ttyS"},
    {5, 8, "/dev/ttyUSB"},
    {13, 8, "/dev/ttyACM"},
}};

std::uint32_t ReadTimeout(std::string_view key, std::uint32_t fallback,
                          const SettingsStore& profileStore) {
  const std::uint32_t value = GetSettingInt(kTimeoutSection, key, -1, profileStore);
  if (value != kMissing) return value;
  WriteSettingInt(kTimeoutSection, key, static_cast<int>(fallback), profileStore);
  return fallback;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsComPrefix(std::string_view name) {
  return name.size() >= kComPrefix.size() &&
         std::equal(kComPrefix.begin(), kComPrefix.end(), name.begin(),
                    [](char expected, char given) { return expected == AsciiLower(given); });
}

// n of "COMn", or nothing when the name is not of that form.
std::optional<unsigned> ComPortNumber(std::string_view name) {
  if (!IsComPrefix(name)) return std::nullopt;
  const std::string_view digits = name.substr(kComPrefix.size());
  if (digits.empty() || digits.front() < '1' || digits.front() > '9') return std::nullopt;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

std::optional<std::string> DefaultDevicePath(unsigned portNumber) {
  for (const DefaultPorts& ports : kDefaultPorts) {
    if (portNumber >= ports.firstNumber && portNumber - ports.firstNumber < ports.count) {
      return std::string(ports.devicePrefix) + std::to_string(portNumber - ports.firstNumber);
    }
  }
  return std::nullopt;
}

bool IsDevicePath(std::string_view name) {
  return !name.empty() && name.front() == '/';
}

}  // namespace

bool FitsPortNameField(std::string_view portName) {
  return !portName.empty() && portName.size() <= kMaxPortNameLength &&
         portName.find('\0') == std::string_view::npos;
}

SerialTimeouts ReadSerialTimeouts(const SettingsStore& profileStore) {
  const SerialTimeouts defaults;
  SerialTimeouts timeouts;
  timeouts.readInterval = ReadTimeout("ReadInterval", defaults.readInterval, profileStore);
  timeouts.readTotalMultiplier =
      ReadTimeout("ReadTotalMultiplier", defaults.readTotalMultiplier, profileStore);
  timeouts.readTotalConstant =
      ReadTimeout("ReadTotalConstant", defaults.readTotalConstant, profileStore);
  return timeouts;
}

std::optional<std::string> SerialDevicePath(std::string_view portName,
                                            const SettingsStore& profileStore) {
  if (IsDevicePath(portName)) return std::string(portName);
  const std::optional<unsigned> portNumber = ComPortNumber(portName);
  if (!portNumber) return std::nullopt;
  std::string stored = GetSettingString(kPortSection, portName, "", profileStore);
  if (stored.empty()) return DefaultDevicePath(*portNumber);
  if (IsDevicePath(stored)) return stored;
  return std::nullopt;
}

}  // namespace pilvo
