#include "wizard/model/main_window.h"

#include <algorithm>

#include "data/local_text.h"
#include "data/number_text.h"
#include "data/settings.h"
#include "session/arm_initialisation.h"
#include "wizard/model/port_selection.h"

namespace pilvo::wizard {
namespace {

constexpr std::string_view kCaption = kWizardCaption;
constexpr char kNoValue[] = " -";
constexpr char kNoReading[] = " - - -";
constexpr char kTabFilter[] = "Tab Files (*.tab) | *.tab||";
constexpr int kSupplyTickPeriod = 100;  // the voltages are read when the count passes it
constexpr std::size_t kTrayTipLength = 63;
constexpr std::uint16_t kNotAvailable = 0xFFFF;

// The sub-board voltage of a calibration word.
std::string BoardVolts(std::uint16_t word) {
  return FixedText(9.615 - word * 0.0067, 2) + "V";
}

}  // namespace

MainWindow::MainWindow(ArmSession& session, Language& language, SaveFileChooser chooseSaveFile,
                       std::filesystem::path batteryLogPath)
    : session_(session),
      language_(language),
      productStore_(session.context().productStore()),
      chooseSaveFile_(std::move(chooseSaveFile)),
      log_(0, std::move(batteryLogPath)) {}

std::string MainWindow::Text(int id) const {
  return LocalText(id, session_.language());
}

bool MainWindow::usbLink() const {
  return session_.state().tab.main.linkType == 1;
}

void MainWindow::Start() {
  Relabel();
  tabPath_ = GetSettingString("TAB", "Nome", "", productStore_);
  if (tabPath_.empty()) {
    session_.prompts().ShowMessage(Text(2300), kCaption, MessageIcon::Error);
    ChangeTab();
  }
  display_.tabPath = tabPath_.string();
  portIndex_ = PortIndexOf(GetSettingString("Porta seriale", "Nome", "COM1", productStore_));
  if (!tabPath_.empty()) ShowLoadedTab();
  ShowLink();
  log_ = BatteryLog(StoredBatteryLogSeconds(productStore_), log_.path());
}

void MainWindow::Relabel() {
  display_.codeVersion = Text(2315) + " " + std::to_string(kCodeVersion);
  display_.communicationLabel = Text(2153) + ":";
  display_.status = Text(2003);
  display_.menu.connectionItem = Text(usbLink() ? 2109 : 2108);
  ShowDisconnected();
}

void MainWindow::ChooseLanguage(int code) {
  language_.Select(code);
  WriteSettingInt("Language", "Code", code, productStore_);
  Relabel();
}

void MainWindow::ChooseReset(bool mark) {
  display_.markReset = mark;
}

bool MainWindow::LoadTab() {
  const bool loaded = session_.LeggeParametri(tabPath_) == 0;
  display_.tabVersion = loaded ? SignatureText(session_.state().tab.main.signature) : "-";
  display_.menu.stylusLength = loaded;
  return loaded;
}

void MainWindow::ShowLink() {
  display_.port = usbLink() ? "USB" : PortName(portIndex_);
  display_.menu.connectionItem = Text(usbLink() ? 2109 : 2108);
}

void MainWindow::ChangeTab() {
  const auto chosen =
      session_.prompts().ChooseFileToOpen(kTabFilter, "tab", tabPath_.parent_path());
  if (!chosen) return;
  tabPath_ = *chosen;
  WriteSettingString("TAB", "Nome", tabPath_.string(), productStore_);
  display_.tabPath = tabPath_.string();
  ShowLoadedTab();
  ShowLink();
}

void MainWindow::ShowLoadedTab() {
  // The reset choice follows a newly chosen file; the operator may change it before connecting.
  if (LoadTab()) display_.markReset = session_.state().tab.main.options.referenceMarks;
}

std::optional<std::vector<TabInfoRow>> MainWindow::TabInfo() {
  if (!display_.connected && !LoadTab()) {
    session_.prompts().ShowMessage(Text(2301), kCaption, MessageIcon::Error);
    return std::nullopt;
  }
  return TabInfoRows(session_.state().tab.main, session_.state().working, session_.language());
}

void MainWindow::ChoosePort(int portIndex) {
  portIndex_ = portIndex;
  display_.port = PortName(portIndex_);
  WriteSettingString("Porta seriale", "Nome", display_.port, productStore_);
}

void MainWindow::Fail(int textId) {
  session_.prompts().ShowMessage(Text(textId), kCaption, MessageIcon::Error);
  display_.status = Text(textId);
}

bool MainWindow::Connect(std::time_t now) {
  if (prepareArm_) prepareArm_(tabPath_);
  session_.link().SetPortName(PortName(portIndex_));
  if (!LoadTab()) {
    Fail(2301);
    return false;
  }
  if (session_.state().tab.version < kCurrentTabVersion && !OfferUpgrade()) return false;
  if (!Reset()) return false;
  if (usbLink()) ShowArmInfo();

  const ArmRecord& main = session_.state().tab.main;
  display_.status = Text(2309);
  display_.connected = true;
  display_.batteryBarShown = main.batteryPresent > 0;
  display_.menu.tabChange = false;
  display_.menu.procedures = true;
  display_.trayIcon = true;
  display_.trayTip = ("PilvoWIZARD\n" + main.name + ": " + Text(2309)).substr(0, kTrayTipLength);
  display_.probeInUse = session_.state().tab.version > 40 ? ProbeName() : kNoValue;
  const auto thresholds = SupplyThresholds(session_.state().working);
  display_.batteryMinimum = static_cast<int>(thresholds[0]) - 1;
  display_.batteryMaximum = static_cast<int>(thresholds[2]) + 1;
  supplyTicks_ = kSupplyTickPeriod + 1;
  lastTickEnd_ = session_.Now();
  if (log_.Start(now)) {
    session_.prompts().ShowMessage("_Battery log enabled: " + log_.path().string(), kCaption,
                                   MessageIcon::Information);
  }
  return true;
}

bool MainWindow::OfferUpgrade() {
  if (!session_.prompts().AskYesNo(Text(2000) + "\n\n" + Text(1998), kCaption)) {
    return true;
  }
  TabContents upgraded = session_.state().tab;
  const std::string proposed =
      upgraded.main.name.substr(0, 4) + "_" + std::to_string(kCurrentTabVersion) + ".tab";
  const auto chosen = chooseSaveFile_(proposed, tabPath_.parent_path());
  if (!chosen) return true;
  SignatureOfVersion(kCurrentTabVersion, upgraded.main.signature);
  if (WriteTabFile(*chosen, upgraded) != TabWriteError::None) {
    session_.prompts().ShowMessage("_error in TAB file saving", kCaption, MessageIcon::Error);
    return false;
  }
  tabPath_ = *chosen;
  WriteSettingString("TAB", "Nome", tabPath_.string(), productStore_);
  display_.tabPath = tabPath_.string();
  if (!LoadTab()) {
    Fail(2301);
    return false;
  }
  return true;
}

bool MainWindow::Reset() {
  int result = 0;
  if (display_.markReset) {
    result = InitialiseArm(session_, InitialiseMode::Reset);
  } else {
    session_.prompts().ShowMessage(Text(2311) + " " + tabPath_.string(), kCaption,
                                   MessageIcon::Question);
    result = InitialiseArm(session_, InitialiseMode::Connect);
  }
  if (result >= 0) return true;
  std::string message = Text(2303) + " " + std::to_string(result);
  if (result == -1 || result == -2) message += ":\n" + Text(2302);
  if (result == -3) message += ":\n" + Text(2314);
  if (result == -4) message += ":\n" + Text(2307);
  session_.prompts().ShowMessage(message, kCaption, MessageIcon::Error);
  return false;
}

void MainWindow::ShowArmInfo() {
  const ArmRecord& main = session_.state().tab.main;
  const std::array<std::int32_t, kBoards> axes{main.board1Axes, main.board2Axes, main.board3Axes};
  for (int board = 0; board < kBoards; ++board) {
    display_.presenceHighlighted[board] = axes[board] > 0;
    if (axes[board] > 0) display_.presence[board] = Text(2351);
  }
  ArmIdentity identity;
  if (session_.board().QueryArmIdentity(identity) == board::kOk) {
    display_.serialNumber = identity.identifier.data();
    display_.firmware = identity.version.data();
  }
}

std::string MainWindow::ProbeName() const {
  const std::int32_t probe = session_.state().toolInUse;
  if (probe <= 0 || probe > session_.state().tab.main.probeCount) return Text(2420);
  return session_.state().tab.probes[probe - 1].probeName;
}

bool MainWindow::Tick(std::time_t now) {
  const std::uint32_t start = session_.Now();
  Pose pose{};
  std::int32_t status = 0;
  double diameter = 0.0;
  if (session_.LeggeQuota2(pose, status, diameter) < 0) {
    Fail(2314);
    ShowDisconnected();
    log_.Stop();
    return false;
  }
  const PowerState power{session_.board().firmwareCode(), session_.state().working.batteryPresent,
                         session_.board().onBattery(), session_.board().supplyReading()};
  if (usbLink()) {
    if (auto line = log_.LineIfDue(start, power.supplyReading, now)) {
      display_.communicationLabel = *line;
    }
    if (++supplyTicks_ > kSupplyTickPeriod) {
      supplyTicks_ = 0;
      ShowBoardVoltages();
      if (auto bar = BatteryBar(power, session_.board().SupplyStateText(), session_.language())) {
        display_.batteryPosition = bar->position;
        display_.status = bar->status;
      }
    }
  }
  ShowReading(pose, status);
  display_.probeDiameter = FixedText(diameter, 3);
  if (usbLink()) ShowTemperatures();
  display_.powerSupply = PowerSupplyField(power, lastBoardVoltage_);
  const std::uint32_t end = session_.Now();
  display_.communicationTime =
      std::to_string(end - start) + "/" + std::to_string(end - lastTickEnd_);
  lastTickEnd_ = end;
  return true;
}

void MainWindow::ShowReading(const Pose& pose, std::int32_t status) {
  ShowCounts();
  display_.limitIcons = session_.state().reading.limitMask;
  for (int axis = 0; axis < 3; ++axis) display_.position[axis] = FixedText(pose[axis * 4 + 3], 3);
  display_.buttonIcons = static_cast<std::uint32_t>(status) &
                         (reading_status::kButton1 | reading_status::kButton2 |
                          reading_status::kButton3 | reading_status::kAuxiliaryPress);
  display_.renishawButton = session_.state().tab.main.options.auxiliaryInput0;
}

void MainWindow::ShowBoardVoltages() {
  CalibrationWords words{};
  if (session_.board().ReadTemperatureCalibration(words) != board::kOk) {
    display_.voltages = {Text(2350), kNoValue, kNoValue};
    return;
  }
  for (int board = 0; board < kBoards; ++board) {
    const auto word = static_cast<std::uint16_t>(words[2 * board] | words[2 * board + 1] << 8);
    display_.voltages[board] = board > 0 && word == kNotAvailable ? Text(2304) : BoardVolts(word);
  }
  lastBoardVoltage_ = display_.voltages[0];
}

void MainWindow::ShowCounts() {
  const ArmSessionState& state = session_.state();
  display_.counts.clear();
  for (int joint = 0; joint < state.tab.main.jointCount && joint < kMaxJoints; ++joint) {
    // A virtual joint has no encoder: its count is not shown.
    if (joint == 2 && state.tab.main.options.insertedAxis) continue;
    display_.counts.push_back(std::to_string(state.rawCounts[joint]));
  }
}

void MainWindow::ShowTemperatures() {
  const auto& raw = session_.board().rawTemperatures();
  const auto& degrees = session_.board().temperatures();
  for (int board = 0; board < kBoards; ++board) {
    if (raw[board][0] == 0xFF && raw[board][1] == 0xFF) {
      display_.temperatures[board] = Text(2304);
    } else if (raw[board][0] == 0xFE && raw[board][1] == 0xFF) {
      display_.temperatures[board] = Text(2350);
    } else {
      display_.temperatures[board] = FixedText(degrees[board], 2) + "°C";
    }
  }
}

void MainWindow::Disconnect() {
  session_.link().ChiudePorta();
  display_.status = Text(2310);
  ShowDisconnected();
  log_.Stop();
}

void MainWindow::ShowDisconnected() {
  display_.connected = false;
  display_.position.fill(kNoReading);
  display_.counts.assign(kMaxJoints, kNoReading);
  display_.limitIcons = 0;
  display_.buttonIcons = 0;
  display_.batteryBarShown = false;
  display_.batteryPosition = 0;
  for (std::string* field :
       {&display_.communicationTime, &display_.probeDiameter, &display_.serialNumber,
        &display_.firmware, &display_.powerSupply, &display_.probeInUse}) {
    *field = kNoValue;
  }
  display_.presence.fill(kNoValue);
  display_.presenceHighlighted.fill(false);
  display_.voltages.fill(kNoValue);
  display_.temperatures.fill(kNoValue);
  display_.menu.tabChange = true;
  display_.menu.procedures = false;
  display_.trayIcon = false;
}

bool MainWindow::NeedsMarkDialog() const {
  return !display_.markReset && session_.state().tab.main.options.resetDialog;
}

bool MainWindow::ProbesManagement() {
  if (NeedsMarkDialog()) {
    session_.prompts().ShowMessage(Text(2119), kCaption, MessageIcon::Error);
    return false;
  }
  display_.status = Text(2400);
  return true;
}

void MainWindow::StartCalibration() {
  if (NeedsMarkDialog()) {
    session_.prompts().ShowMessage(Text(2119), kCaption, MessageIcon::Warning);
  }
  display_.status = Text(2323);
}

void MainWindow::ShowWaiting() {
  display_.status = Text(2321);
}

void MainWindow::StartStylusLength() {
  display_.status = Text(2322);
}

void MainWindow::StylusTabWritten(const std::filesystem::path& written) {
  session_.prompts().ShowMessage(Text(2320) + ":\n\n " + written.string(), kCaption,
                                 MessageIcon::Information);
}

void MainWindow::StartStylusCalibration() {
  display_.status = Text(2319);
}

}  // namespace pilvo::wizard
