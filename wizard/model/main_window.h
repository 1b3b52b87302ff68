// The wizard's main window: the live state of the arm ten times a second, the connection, and
// the commands that launch the service procedures. The window only shows display() and forwards
// its controls and its 100 ms timer here.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/arm_session.h"
#include "wizard/model/battery_monitor.h"
#include "wizard/model/tab_info.h"

namespace pilvo::wizard {

inline constexpr int kCodeVersion = 4403;
inline constexpr int kBoards = 3;  // base, segment 1, segment 2

struct MenuState {
  std::string connectionItem;  // "Select" on a serial link, "Detect" on USB
  bool tabChange = true;       // also the connection item and the languages
  bool procedures = false;     // reference, cancel reference, probes, the calibrations
  bool stylusLength = false;   // the manual stylus length: a TAB file is loaded
};

struct MainDisplay {
  std::array<std::string, 3> position;  // X, Y, Z
  std::vector<std::string> counts;      // one field per joint shown
  std::uint32_t limitIcons = 0;         // bit i: the icon next to joint i + 1
  std::uint32_t buttonIcons = 0;        // reading_status bits 1, 2, 4, 256 of the buttons held
  bool renishawButton = false;          // button 1 shows the probe head's icon
  bool connected = false;               // Connect disabled, Close and the procedures enabled
  bool markReset = false;               // the reset choice: Mark, else Rest
  std::string status;
  std::string codeVersion;
  std::string tabPath;
  std::string tabVersion;
  std::string probeInUse;
  std::string communicationLabel;
  std::string communicationTime;
  std::string port;  // "COMn" or "USB"
  std::string probeDiameter;
  std::string serialNumber;
  std::string firmware;
  std::array<std::string, kBoards> presence;
  std::array<bool, kBoards> presenceHighlighted{};
  std::array<std::string, kBoards> voltages;
  std::array<std::string, kBoards> temperatures;
  std::string powerSupply;
  bool batteryBarShown = false;
  int batteryMinimum = 0;
  int batteryMaximum = 0;
  int batteryPosition = 0;
  bool trayIcon = false;
  std::string trayTip;
  MenuState menu;
};

class MainWindow {
 public:
  // The save dialog of an upgraded TAB file: a path, or nothing on Cancel.
  using SaveFileChooser = std::function<std::optional<std::filesystem::path>(
      const std::string& proposedName, const std::filesystem::path& folder)>;

  // `session`: the wizard's own session (its prompts are the window's); its context's product
  // store keeps the wizard's TAB file, port and battery log. `language`: its context's language,
  // which the ? menu switches.
  MainWindow(ArmSession& session, Language& language, SaveFileChooser chooseSaveFile,
             std::filesystem::path batteryLogPath);

  const MainDisplay& display() const { return display_; }
  int portIndex() const { return portIndex_; }
  bool usbLink() const;
  const std::filesystem::path& tabPath() const { return tabPath_; }
  const BatteryLog& batteryLog() const { return log_; }

  // Called at every Connect, before anything else, with the TAB file in use: prepares the arm
  // that stands behind the link (the demo arm).
  void PrepareArmWith(std::function<void(const std::filesystem::path& tab)> prepare) {
    prepareArm_ = std::move(prepare);
  }

  // The window opens: texts, the stored TAB file (asked for when none is stored), the port.
  void Start();
  // The language chosen from the ? menu (0 English … 3 German), stored for the next start.
  void ChooseLanguage(int code);
  void ChooseReset(bool mark);

  // Connect: true when the arm measures; the window then runs its 100 ms timer.
  bool Connect(std::time_t now);
  // One 100 ms tick; false when the connection dropped (the timer stops).
  bool Tick(std::time_t now);
  // The counts, joint limits, probe tip and buttons of a reading, this window's or that of a
  // procedure that reads the arm while this window's timer is stopped.
  void ShowReading(const Pose& pose, std::int32_t status);
  void Disconnect();

  // TAB > Change: the open-file dialog; Cancel changes nothing.
  void ChangeTab();
  // TAB > Info: the rows, or nothing after "TAB file is not correct.".
  std::optional<std::vector<TabInfoRow>> TabInfo();
  // Connection > Select: the port chosen in the port window.
  void ChoosePort(int portIndex);
  // Tools > Probes management: true when the probes window may open (it then says "Waiting...").
  bool ProbesManagement();
  // Tools > the calibrations: warns when the arm was reset at rest but needs its mark dialog.
  void StartCalibration();
  void ShowWaiting();
  // Tools > Manual stylus length, while its dialog is open; then, when it wrote a file, the
  // message that names it.
  void StartStylusLength();
  void StylusTabWritten(const std::filesystem::path& written);
  // Tools > Stylus calibration procedure, while it runs.
  void StartStylusCalibration();

 private:
  std::string Text(int id) const;
  void Relabel();
  bool LoadTab();
  void ShowLoadedTab();
  void ShowLink();
  void ShowDisconnected();
  void Fail(int textId);
  bool OfferUpgrade();
  bool Reset();
  void ShowArmInfo();
  void ShowBoardVoltages();
  void ShowCounts();
  void ShowTemperatures();
  std::string ProbeName() const;
  bool NeedsMarkDialog() const;

  ArmSession& session_;
  Language& language_;
  SettingsStore productStore_;
  SaveFileChooser chooseSaveFile_;
  std::function<void(const std::filesystem::path& tab)> prepareArm_;
  BatteryLog log_;
  MainDisplay display_;
  std::filesystem::path tabPath_;
  int portIndex_ = 0;
  int supplyTicks_ = 0;
  std::uint32_t lastTickEnd_ = 0;
  std::string lastBoardVoltage_;
  int batteryBarTicks_ = 0;
};

}  // namespace pilvo::wizard
