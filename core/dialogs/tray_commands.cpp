#include "dialogs/tray_commands.h"

#include "data/local_text.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr int kFirstSupplyFirmware = 15;  // older boards report no supply
constexpr int kTextNotAvailable = 2313;
constexpr int kTextBattery = 2352;
constexpr int kTextNoProbeManagement = 2434;

}  // namespace

bool ProbesManagementCommand(const ArmSessionState& state, Prompts& ui, const Language& language) {
  if (state.tab.main.probeCount >= 1) return true;
  ui.ShowMessage(LocalText(kTextNoProbeManagement, language), kLibraryCaption, MessageIcon::Error);
  return false;
}

bool BatteryCommand(const ArmSessionState& state, int firmwareCode, Prompts& ui,
                    const Language& language) {
  if (state.working.batteryPresent > 0 && firmwareCode >= kFirstSupplyFirmware) return true;
  ui.ShowMessage(LocalText(kTextBattery, language) + " " + LocalText(kTextNotAvailable, language),
                 kLibraryCaption, MessageIcon::Error);
  return false;
}

}  // namespace pilvo
