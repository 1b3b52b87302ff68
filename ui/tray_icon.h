// The library's tray: the notification-area icon and its menu, the hidden frame that owns the
// battery window, the about box and the 2-second timer. Where the desktop has no tray the icon
// stays hidden and everything else still works.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <string_view>

#include "dialogs/tray_shell.h"

class QAction;

namespace pilvo {

class BatteryWindow;

class TrayIcon final : public QObject {
 public:
  // `prompts` tells the operator why a command is refused; it and `language`, the language of
  // the tray's texts, outlive the tray.
  TrayIcon(Prompts& prompts, const Language& language);
  // Closes the hidden frame for real and removes the icon.
  ~TrayIcon() override;

  // Opens the probes window, or brings it forward: a double click on the icon, or the menu.
  std::function<void()> onProbesManagement;

  void Serve(ArmSession& session) { model_.Serve(session); }
  void ShowConnected(std::string_view probeTooltip);
  void ShowDisconnected();
  void ResetBattery();
  void UpdateBattery(const SupplyReading& supply, const ArmRecord& record);

  // The modal about box.
  void ShowAbout();
  void Tick();

  const TrayShell& model() const { return model_; }
  QSystemTrayIcon& icon() { return icon_; }
  QMenu& menu() { return menu_; }
  QWidget& frame() { return *frame_; }
  BatteryWindow& batteryWindow() { return *batteryWindow_; }

 private:
  void ProbesManagement();
  void Battery();
  void RefreshIcon();
  void RefreshMenu();

  TrayShell model_;
  Prompts& prompts_;
  std::unique_ptr<QWidget> frame_;
  BatteryWindow* batteryWindow_;  // owned by the frame
  QMenu menu_;
  QAction* probesAction_;
  QAction* batteryAction_;
  QAction* aboutAction_;
  QSystemTrayIcon icon_;
  QTimer timer_;
};

}  // namespace pilvo
