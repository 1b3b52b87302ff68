#include "ui/battery_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include "dialogs/battery_dialog.h"
#include "ui/qt_prompts.h"

namespace pilvo {
namespace {

QLabel* NamedLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setAccessibleName(name);
  return label;
}

QLabel* FixedLabel(const std::string& text, QWidget* parent) {
  return NamedAsShown(new QLabel(ToQString(text), parent));
}

}  // namespace

BatteryWindow::BatteryWindow(BatteryDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  const BatteryDialogLabels& labels = model_.labels();
  setWindowTitle(ToQString(labels.title));
  setModal(false);

  voltage_ = NamedLabel("Voltage", this);
  bar_ = new QProgressBar(this);
  bar_->setAccessibleName("Charge");
  bar_->setTextVisible(false);
  status_ = NamedLabel("Status", this);
  audio_ = NamedAsShown(new QCheckBox(ToQString(labels.audioAlarm), this));
  connect(audio_, &QCheckBox::toggled, this, [this](bool on) { model_.SetAudioAlarm(on); });

  auto* grid = new QGridLayout(this);
  grid->addWidget(FixedLabel(labels.powerSupply, this), 0, 0);
  grid->addWidget(voltage_, 0, 1, 1, 3);
  grid->addWidget(FixedLabel(labels.battery, this), 1, 0);
  grid->addWidget(FixedLabel(labels.minimum, this), 1, 1);
  grid->addWidget(bar_, 1, 2);
  grid->addWidget(FixedLabel(labels.maximum, this), 1, 3);
  grid->addWidget(status_, 2, 0, 1, 4);
  grid->addWidget(audio_, 3, 0, 1, 4);
  grid->setColumnStretch(2, 1);
  bar_->setMinimumWidth(160);
  Refresh();
}

void BatteryWindow::Refresh() {
  voltage_->setText(ToQString(model_.voltage()));
  bar_->setRange(model_.barMinimum(), model_.barMaximum());
  bar_->setValue(model_.barPosition());
  status_->setText(ToQString(model_.status()));
  audio_->setChecked(model_.audioAlarm());
  if (model_.visible() != isVisible()) setVisible(model_.visible());
}

void BatteryWindow::reject() {
  model_.Cancel();
  Refresh();
}

}  // namespace pilvo
