// The probes management window: a modeless view of the ProbesDialog model, with a compact
// browsing face and an editing face that adds the lists, the residual plot and the calibration
// buttons. Its owner opens at most one and learns when it closes itself.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>

#include "dialogs/probes_dialog.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace pilvo {

class ResidualPlotView;

class ProbesWindow final : public QDialog {
  Q_OBJECT

 public:
  explicit ProbesWindow(std::unique_ptr<ProbesDialog> model, QWidget* parent = nullptr);
  ~ProbesWindow() override;

  const ProbesDialog& model() const { return *model_; }
  // Inside one of its handlers: it may be hidden, but not destroyed, until the handler returns.
  bool busy() const { return depth_ > 0; }

 signals:
  // Apply or Cancel closed the model; the window has hidden itself.
  void Closed();

 public slots:
  // Escape and the title bar's close button act as Cancel.
  void reject() override;

 private:
  // Runs a model call, then shows the model's state.
  template <typename Call>
  void Forward(Call call);
  void Tick();
  void Refresh();

  std::unique_ptr<ProbesDialog> model_;
  int depth_ = 0;
  QTimer timer_;
  QComboBox* selector_;
  QPushButton* add_;
  QPushButton* remove_;
  QPushButton* modify_;
  QLineEdit* name_;
  std::array<QRadioButton*, 4> modes_;
  QButtonGroup* modeGroup_;
  QLineEdit* probeDiameter_;
  QCheckBox* resetMemory_;
  QCheckBox* greenButton_;
  QCheckBox* additionalAxis_;
  QLineEdit* sphereDiameter_;
  QWidget* editingFace_;
  QListWidget* report_;
  QStackedWidget* pointsOrPlot_;
  QListWidget* points_;
  ResidualPlotView* plot_;
  QPushButton* compute_;
  QPushButton* save_;
  QPushButton* abort_;
  QPushButton* apply_;
};

// Keeps the one probes window of the library's tray.
class ProbesWindowOwner {
 public:
  ProbesWindowOwner() = default;
  ~ProbesWindowOwner();
  ProbesWindowOwner(const ProbesWindowOwner&) = delete;
  ProbesWindowOwner& operator=(const ProbesWindowOwner&) = delete;

  // Brings the open window to the front, or opens one on `session`; with no probe in the table,
  // or no probe management on this arm, says "Probe management not available" and opens
  // nothing.
  void Open(ArmSession& session);
  // The link is gone: the window goes without applying anything.
  void Close();
  ProbesWindow* window() const { return window_; }

 private:
  ProbesWindow* window_ = nullptr;
};

}  // namespace pilvo
