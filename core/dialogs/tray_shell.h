// The library's tray shell: the notification-area icon with its tooltip and menu, the battery
// dialog that belongs to it, the about box, and the 2-second timer that watches the link and
// plays the battery alarm. A view shows the state below and forwards the icon's clicks, the
// menu's commands, the timer and the close requests of its hidden frame.
#pragma once

#include <string>
#include <string_view>

#include "data/local_text.h"
#include "dialogs/battery_dialog.h"
#include "session/operator_ports.h"

namespace pilvo {

class ArmSession;

inline constexpr int kTrayTickMs = 2000;

// The menu's items as the menu shows them when it opens.
struct TrayMenu {
  std::string probesManagement, battery, about;
  bool probesManagementEnabled = false;
  bool batteryChecked = false;
};

struct AboutBoxTexts {
  std::string title, ok;
  std::string libraryName;       // the library's file name
  std::string fileVersion;       // "4, 4, 0, 3"
  std::string installationName;  // the key of this installation's settings
  std::string makerLines;
};

// The file version compiled into the programs, in the form of a version resource: "4, 4, 0, 3".
std::string_view FileVersion();

class TrayShell {
 public:
  // Its texts are in `language`, which must outlive it.
  explicit TrayShell(const Language& language);

  // The commands that read the arm work on `session` from now on; it outlives the tray.
  void Serve(ArmSession& session) { session_ = &session; }

  // The icon: connected, with the probe in its tooltip, or not connected.
  bool connected() const { return connected_; }
  const std::string& tooltip() const { return tooltip_; }
  void ShowConnected(std::string_view probeTooltip);
  void ShowDisconnected();

  // Texts in the language of the moment.
  TrayMenu menu() const;
  // The about box, the installation being the one of the session served.
  AboutBoxTexts about() const;

  // Probes management, from the menu or a double click on the icon: true when the probes
  // window is to open (or come forward). Nothing while disconnected; without probes, the
  // operator is told so.
  bool ProbesManagement(Prompts& ui);
  // Battery: shows the battery dialog and toggles its check mark, or tells the operator why not.
  void Battery(Prompts& ui);

  // The 2-second timer: without an encoder read since the last tick the battery dialog says the
  // arm is disconnected. True when the battery alarm is to beep.
  bool Tick();

  // A close request on the hidden frame only hides it until the library goes: true when the
  // frame really closes.
  bool CloseRequested() const { return mayClose_; }
  void AllowClose() { mayClose_ = true; }

  BatteryDialog& battery() { return battery_; }
  const BatteryDialog& battery() const { return battery_; }

 private:
  const Language& language_;
  ArmSession* session_ = nullptr;
  bool connected_ = false;
  std::string tooltip_;
  bool mayClose_ = false;
  BatteryDialog battery_;
};

}  // namespace pilvo
