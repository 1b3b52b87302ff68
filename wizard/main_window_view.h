// The wizard's main window: a thin view of the MainWindow model, its menu, its 100 ms timer and,
// while connected, its icon in the notification area.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>
#include <memory>
#include <vector>

#include "ui/probes_window.h"
#include "wizard/model/demo_arm.h"
#include "wizard/model/main_window.h"

class QAction;
class QGroupBox;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace pilvo::wizard {

enum class AcquisitionKind;

class MainWindowView final : public QMainWindow {
 public:
  // `language`: the session's context's, which the ? menu switches.
  MainWindowView(ArmSession& session, Language& language);

  // Connects to the demo arm in place of a real one, from now on.
  void UseDemoArm();
  // The Connect button.
  void Connect();

  MainWindow& model() { return model_; }
  QTimer& timer() { return timer_; }
  // The action of a menu command by its label, for the tests and the accessibility tools.
  QAction* action(const QString& text) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildControls();
  void Relabel();
  void Refresh();
  void Disconnect();
  void Tick();
  void ChangeTab();
  void ShowTabInfo();
  void SelectPort();
  void Reference(int mode);
  void ProbesManagement();
  void Calibration(AcquisitionKind kind);
  void ManualStylusLength();
  void StylusProcedure();
  void About();
  void ChooseLanguage(int code);
  QString Text(int id) const;

  ArmSession& session_;
  MainWindow model_;
  ProbesWindowOwner probes_;
  QTimer timer_;
  QSystemTrayIcon tray_;
  std::unique_ptr<DemoArm> demo_;
  QTimer demoTimer_;

  QMenu* tabMenu_;
  QMenu* connectionMenu_;
  QMenu* toolsMenu_;
  QMenu* helpMenu_;
  QAction* changeTab_;
  QAction* tabInfo_;
  QAction* selectPort_;
  QAction* reference_;
  QAction* cancelReference_;
  QAction* probesManagement_;
  QAction* pointCalibration_;
  QAction* ballBarCalibration_;
  QAction* stylusLength_;
  QAction* stylusCalibration_;
  QAction* helpTopics_;
  QAction* about_;
  std::array<QAction*, 4> languages_{};

  std::array<QLabel*, 3> position_{};
  std::array<QLabel*, kMaxJoints> countLabels_{};
  std::array<QLabel*, kMaxJoints> counts_{};
  std::array<QLabel*, kMaxJoints> limits_{};
  std::array<QLabel*, 4> buttons_{};
  QPushButton* connect_;
  QPushButton* close_;
  QGroupBox* resetGroup_;
  QRadioButton* rest_;
  QRadioButton* mark_;
  QLabel* status_;
  QLabel* codeVersion_;
  QLabel* tabPath_;
  QLabel* tabVersion_;
  QLabel* probeInUse_;
  QLabel* communicationLabel_;
  QLabel* communicationTime_;
  QLabel* port_;
  QLabel* probeDiameterLabel_;
  QLabel* probeDiameter_;
  QGroupBox* armInfo_;
  std::vector<QLabel*> armInfoLabels_;
  QLabel* serialNumber_;
  QLabel* firmware_;
  std::array<QLabel*, kBoards> presence_{};
  std::array<QLabel*, kBoards> voltages_{};
  std::array<QLabel*, kBoards> temperatures_{};
  QLabel* powerSupply_;
  QLabel* batteryMinimum_;
  QLabel* batteryMaximum_;
  QProgressBar* battery_;
};

}  // namespace pilvo::wizard
