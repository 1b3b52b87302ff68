// The battery dialog's window: modeless, shown and hidden as its model says.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QProgressBar;

namespace pilvo {

class BatteryDialog;

class BatteryWindow final : public QDialog {
 public:
  BatteryWindow(BatteryDialog& model, QWidget* parent);

  // Shows the model's texts, bar and visibility.
  void Refresh();

  // Cancel, Escape or the window's close box.
  void reject() override;

 private:
  BatteryDialog& model_;
  QLabel* voltage_;
  QProgressBar* bar_;
  QLabel* status_;
  QCheckBox* audio_;
};

}  // namespace pilvo
