#include "ui/probes_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <utility>

#include "dialogs/tray_commands.h"
#include "session/arm_session.h"
#include "ui/qt_prompts.h"
#include "ui/residual_plot_view.h"

namespace pilvo {
namespace {

constexpr int kPlotHeight = 120;  // px

template <typename Widget>
Widget* Named(Widget* widget, const std::string& name) {
  widget->setAccessibleName(ToQString(name));
  return widget;
}

QPushButton* Button(const std::string& text) {
  return Named(new QPushButton(ToQString(text)), text);
}

QCheckBox* CheckBox(const std::string& text) {
  return Named(new QCheckBox(ToQString(text)), text);
}

QStringList ToQStrings(const std::vector<std::string>& lines) {
  QStringList texts;
  for (const std::string& line : lines) texts << ToQString(line);
  return texts;
}

// The lines of `list` as the model has them, the last one selected when they change.
void ShowLines(QListWidget& list, const std::vector<std::string>& lines) {
  const QStringList texts = ToQStrings(lines);
  QStringList shown;
  for (int row = 0; row < list.count(); ++row) shown << list.item(row)->text();
  if (shown == texts) return;
  list.clear();
  list.addItems(texts);
  list.setCurrentRow(static_cast<int>(texts.size()) - 1);
}

// Typing keeps its cursor: only a text the model changed is set.
void ShowText(QLineEdit& edit, const std::string& text) {
  const QString shown = ToQString(text);
  if (edit.text() != shown) edit.setText(shown);
}

}  // namespace

ProbesWindow::ProbesWindow(std::unique_ptr<ProbesDialog> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
  const ProbesDialogLabels labels = model_->labels();
  setWindowTitle(ToQString(labels.title));
  setAccessibleName(ToQString(labels.title));

  selector_ = Named(new QComboBox, "Probe");
  add_ = Button(labels.add);
  remove_ = Button(labels.remove);
  modify_ = Button(labels.modify);
  name_ = Named(new QLineEdit, labels.name);
  probeDiameter_ = Named(new QLineEdit, labels.probeDiameter);
  sphereDiameter_ = Named(new QLineEdit, labels.sphereDiameter);
  resetMemory_ = CheckBox(labels.resetMemory);
  greenButton_ = CheckBox(labels.greenButton);
  additionalAxis_ = CheckBox(labels.additionalAxis);
  apply_ = Button(labels.apply);
  apply_->setDefault(true);
  auto* cancel = Button(labels.cancel);

  auto* modeBox = Named(new QGroupBox(ToQString(labels.mode)), labels.mode);
  auto* modeLayout = new QGridLayout(modeBox);
  modeGroup_ = new QButtonGroup(this);
  for (std::size_t mode = 0; mode < modes_.size(); ++mode) {
    modes_[mode] = Named(new QRadioButton(ToQString(labels.modes[mode])), labels.modes[mode]);
    modeGroup_->addButton(modes_[mode], static_cast<int>(mode));
    modeLayout->addWidget(modes_[mode], static_cast<int>(mode / 2), static_cast<int>(mode % 2));
  }

  auto* fields = new QGridLayout;
  fields->addWidget(selector_, 0, 0, 1, 3);
  auto* commands = new QHBoxLayout;
  commands->addWidget(add_);
  commands->addWidget(remove_);
  commands->addWidget(modify_);
  fields->addLayout(commands, 1, 0, 1, 3);
  fields->addWidget(new QLabel(ToQString(labels.name)), 2, 0);
  fields->addWidget(name_, 2, 1, 1, 2);
  fields->addWidget(new QLabel(ToQString(labels.probeDiameter)), 3, 0);
  fields->addWidget(probeDiameter_, 3, 1);
  fields->addWidget(new QLabel(ToQString(labels.unit)), 3, 2);
  fields->addWidget(new QLabel(ToQString(labels.sphereDiameter)), 4, 0);
  fields->addWidget(sphereDiameter_, 4, 1);
  fields->addWidget(new QLabel(ToQString(labels.unit)), 4, 2);
  fields->addWidget(resetMemory_, 5, 0, 1, 3);
  fields->addWidget(greenButton_, 6, 0, 1, 3);
  fields->addWidget(additionalAxis_, 7, 0, 1, 3);
  fields->addWidget(modeBox, 8, 0, 1, 3);
  auto* closing = new QVBoxLayout;
  closing->addWidget(apply_);
  closing->addWidget(cancel);
  closing->addStretch();
  auto* compact = new QHBoxLayout;
  compact->addLayout(fields);
  compact->addLayout(closing);

  report_ = Named(new QListWidget, "Report");
  points_ = Named(new QListWidget, "Points");
  plot_ = new ResidualPlotView;
  plot_->setMinimumHeight(kPlotHeight);
  pointsOrPlot_ = new QStackedWidget;
  pointsOrPlot_->addWidget(points_);
  pointsOrPlot_->addWidget(plot_);
  compute_ = Button(labels.compute);
  save_ = Button(labels.save);
  abort_ = Button(labels.abort);
  editingFace_ = new QWidget;
  auto* editing = new QGridLayout(editingFace_);
  editing->setContentsMargins(0, 0, 0, 0);
  editing->addWidget(report_, 0, 0, 1, 3);
  editing->addWidget(pointsOrPlot_, 1, 0, 1, 3);
  editing->addWidget(compute_, 2, 0);
  editing->addWidget(save_, 2, 1);
  editing->addWidget(abort_, 2, 2);

  auto* layout = new QVBoxLayout(this);
  // The window takes the size of the face shown.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addLayout(compact);
  layout->addWidget(editingFace_);

  connect(selector_, &QComboBox::activated, this, [this](int index) {
    Forward([index](ProbesDialog& dialog) { dialog.SelectProbe(index); });
  });
  const auto command = [this](QPushButton* button, void (ProbesDialog::*call)()) {
    connect(button, &QPushButton::clicked, this,
            [this, call] { Forward([call](ProbesDialog& dialog) { (dialog.*call)(); }); });
  };
  command(add_, &ProbesDialog::Add);
  command(remove_, &ProbesDialog::Delete);
  command(modify_, &ProbesDialog::Modify);
  command(compute_, &ProbesDialog::Compute);
  command(save_, &ProbesDialog::Save);
  command(abort_, &ProbesDialog::Abort);
  command(apply_, &ProbesDialog::Apply);
  command(cancel, &ProbesDialog::Cancel);
  const auto text = [this](QLineEdit* edit, void (ProbesDialog::*call)(std::string)) {
    connect(edit, &QLineEdit::textEdited, this, [this, call](const QString& typed) {
      Forward([call, &typed](ProbesDialog& dialog) { (dialog.*call)(typed.toStdString()); });
    });
  };
  text(name_, &ProbesDialog::SetName);
  text(probeDiameter_, &ProbesDialog::SetProbeDiameterText);
  text(sphereDiameter_, &ProbesDialog::SetSphereDiameterText);
  const auto box = [this](QCheckBox* check, void (ProbesDialog::*call)(bool)) {
    connect(check, &QCheckBox::clicked, this, [this, call](bool on) {
      Forward([call, on](ProbesDialog& dialog) { (dialog.*call)(on); });
    });
  };
  box(resetMemory_, &ProbesDialog::SetResetMemory);
  box(greenButton_, &ProbesDialog::SetGreenButton);
  box(additionalAxis_, &ProbesDialog::SetAdditionalAxis);
  connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int mode) {
    Forward([mode](ProbesDialog& dialog) { dialog.ChooseMode(static_cast<ProbeMode>(mode)); });
  });
  timer_.setInterval(kProbesDialogTickMs);
  connect(&timer_, &QTimer::timeout, this, &ProbesWindow::Tick);

  Refresh();
}

ProbesWindow::~ProbesWindow() = default;

template <typename Call>
void ProbesWindow::Forward(Call call) {
  ++depth_;
  call(*model_);
  Refresh();
  --depth_;
}

void ProbesWindow::reject() {
  Forward([](ProbesDialog& dialog) { dialog.Cancel(); });
}

void ProbesWindow::Tick() {
  // A message box of the last tick runs its own loop, where the timer fires again.
  if (busy()) return;
  Forward([](ProbesDialog& dialog) { dialog.Tick(); });
}

void ProbesWindow::Refresh() {
  const ProbesDialog& dialog = *model_;
  if (dialog.closed()) {
    timer_.stop();
    hide();
    emit Closed();
    return;
  }
  const QStringList items = ToQStrings(dialog.selectorItems());
  QStringList shown;
  for (int index = 0; index < selector_->count(); ++index) shown << selector_->itemText(index);
  if (shown != items) {
    selector_->clear();
    selector_->addItems(items);
  }
  selector_->setCurrentIndex(dialog.selection());

  const ProbeFields& fields = dialog.fields();
  ShowText(*name_, fields.name);
  ShowText(*probeDiameter_, fields.probeDiameter);
  ShowText(*sphereDiameter_, fields.sphereDiameter);
  resetMemory_->setChecked(fields.resetMemory);
  greenButton_->setChecked(fields.greenButton);
  additionalAxis_->setChecked(fields.additionalAxis);
  // No mode chosen: an exclusive group cannot uncheck its last button.
  modeGroup_->setExclusive(false);
  for (std::size_t mode = 0; mode < modes_.size(); ++mode) {
    modes_[mode]->setChecked(static_cast<int>(mode) == static_cast<int>(fields.mode));
  }
  modeGroup_->setExclusive(true);

  const ProbeControls& controls = dialog.controls();
  selector_->setEnabled(controls.selector);
  add_->setEnabled(controls.add);
  modify_->setEnabled(controls.modify);
  remove_->setEnabled(controls.remove);
  apply_->setEnabled(controls.apply);
  name_->setEnabled(controls.name);
  probeDiameter_->setEnabled(controls.probeDiameter);
  report_->setEnabled(controls.lists);
  points_->setEnabled(controls.lists);
  resetMemory_->setEnabled(controls.resetMemory);
  greenButton_->setEnabled(controls.greenButton);
  additionalAxis_->setEnabled(controls.additionalAxis);
  for (QRadioButton* mode : modes_) mode->setEnabled(controls.modes);
  compute_->setEnabled(controls.compute);
  save_->setEnabled(controls.save);
  abort_->setEnabled(controls.abort);

  ShowLines(*report_, dialog.reportLines());
  ShowLines(*points_, dialog.pointLines());
  plot_->SetPlot(dialog.residualPlot());
  pointsOrPlot_->setCurrentWidget(dialog.pointListShown() ? static_cast<QWidget*>(points_) : plot_);
  editingFace_->setVisible(dialog.editing());
  if (dialog.editing() && !timer_.isActive()) timer_.start();
  if (!dialog.editing()) timer_.stop();
  if (model_->TakeNameFocus()) name_->setFocus();
}

ProbesWindowOwner::~ProbesWindowOwner() {
  delete window_;
}

void ProbesWindowOwner::Open(ArmSession& session) {
  if (!ProbesManagementCommand(session.state(), session.prompts(), session.language())) return;
  if (window_ != nullptr) {
    window_->raise();
    window_->activateWindow();
    return;
  }
  std::unique_ptr<ProbesDialog> model = OpenProbesDialog(session);
  if (!model) return;
  window_ = new ProbesWindow(std::move(model));
  QObject::connect(window_, &ProbesWindow::Closed, window_, [this] { Close(); });
  window_->show();
}

void ProbesWindowOwner::Close() {
  ProbesWindow* window = std::exchange(window_, nullptr);
  if (window == nullptr) return;
  window->hide();
  // The link can close inside the window's own tick.
  if (window->busy()) {
    window->deleteLater();
  } else {
    delete window;
  }
}

}  // namespace pilvo
