#include "dialogs/tray_shell.h"

#include "data/local_text.h"
#include "dialogs/tray_commands.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr int kTextNotConnected = 102;
constexpr int kTextOk = 2200;
constexpr int kTextAbout = 2202;
constexpr int kTextTemperatureTitle = 2010;  // begins with the library's file name
constexpr int kTextProbesManagement = 2400;
constexpr int kTextBattery = 2352;
constexpr std::size_t kLibraryNameLength = 9;

// Before a session is served there is no probe and no battery to offer.
const ArmSessionState& StateOf(const ArmSession* session) {
  static const ArmSessionState none;
  return session != nullptr ? session->state() : none;
}

}  // namespace

std::string_view FileVersion() {
  return PILVO_FILE_VERSION;
}

TrayShell::TrayShell(const Language& language)
    : language_(language), tooltip_(LocalText(kTextNotConnected, language)), battery_(language) {}

AboutBoxTexts TrayShell::about() const {
  return {.title = LocalText(kTextAbout, language_),
          .ok = LocalText(kTextOk, language_),
          .libraryName = LocalText(kTextTemperatureTitle, language_).substr(0, kLibraryNameLength),
          .fileVersion = std::string(FileVersion()),
          .installationName = session_ != nullptr ? session_->context().installationName() : "",
          .makerLines = "Pilvo3D arm driver\nKelmorad measuring arms\nTAB 4"};
}

void TrayShell::ShowConnected(std::string_view probeTooltip) {
  connected_ = true;
  tooltip_ = probeTooltip;
}

void TrayShell::ShowDisconnected() {
  connected_ = false;
  tooltip_ = LocalText(kTextNotConnected, language_);
}

TrayMenu TrayShell::menu() const {
  return {.probesManagement = LocalText(kTextProbesManagement, language_),
          .battery = LocalText(kTextBattery, language_),
          .about = "About",
          .probesManagementEnabled = connected_,
          .batteryChecked = battery_.shownFromMenu()};
}

bool TrayShell::ProbesManagement(Prompts& ui) {
  // A disabled command does not run, whether from the menu or from the icon.
  return connected_ && ProbesManagementCommand(StateOf(session_), ui, language_);
}

void TrayShell::Battery(Prompts& ui) {
  const int firmware = session_ != nullptr ? session_->board().firmwareCode() : 0;
  const ArmSessionState& state = StateOf(session_);
  if (BatteryCommand(state, firmware, ui, language_)) battery_.ToggleFromMenu(state.working);
}

bool TrayShell::Tick() {
  ArmBoard* board = session_ != nullptr ? &session_->board() : nullptr;
  if (board == nullptr || !board->countsFresh()) battery_.Reset();
  if (board != nullptr) board->ClearCountsFresh();
  return battery_.TakePendingBeep();
}

}  // namespace pilvo
