#include "wizard/model/port_detection.h"

#include <array>
#include <cstdint>

#include "link/serial_port.h"
#include "link/serial_settings.h"
#include "session/arm_initialisation.h"

namespace pilvo::wizard {

std::optional<std::string> PortDevicePath(int port, const SettingsStore& profileStore) {
  return SerialDevicePath(PortName(port - 1), profileStore);
}

bool PortCanBeOpened(int port, const SettingsStore& profileStore) {
  const auto path = PortDevicePath(port, profileStore);
  if (!path) return false;
  SerialPort probe;
  return probe.Open(*path) == 0;
}

PortDevice DetectArmOnPort(ArmSession& session, int port, const std::filesystem::path& tab) {
  session.link().SetPortName(PortName(port - 1));
  if (session.LeggeParametri(tab) != 0 ||
      InitialiseArm(session, InitialiseMode::Connect) != initialise_result::kDone) {
    session.link().ChiudePorta();
    return PortDevice::Unknown;
  }
  std::array<std::uint8_t, 5> echo{0x22, 0x42, 0x62, 0x82, 0x00};
  session.board().RawExchange(echo);
  session.link().ChiudePorta();
  return echo[0] == 0x22 && echo[1] == 0x42 ? PortDevice::Modem : PortDevice::Arm;
}

}  // namespace pilvo::wizard
