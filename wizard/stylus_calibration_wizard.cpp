#include "wizard/stylus_calibration_wizard.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/qt_prompts.h"

namespace pilvo::wizard {
namespace {

constexpr int kTickMs = 100;
constexpr QSize kPictureSize(123, 185);

QLabel* Field(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setAccessibleName(name);
  label->setMinimumWidth(90);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFrameShape(QFrame::StyledPanel);
  return label;
}

QLabel* Picture(StylusStep step, QWidget* parent) {
  const bool rest = step == StylusStep::RestPosition;
  auto* label = new QLabel(parent);
  label->setAccessibleName(rest ? QStringLiteral("Arm in the rest position")
                                : QStringLiteral("Stylus on the reference plane"));
  label->setPixmap(QIcon(rest ? QStringLiteral(":/pictures/arm_rest_position.svg")
                              : QStringLiteral(":/pictures/reference_plane.svg"))
                       .pixmap(kPictureSize));
  label->setFixedSize(kPictureSize);
  return label;
}

void Show(QLabel* label, const std::string& text) {
  if (label != nullptr) label->setText(ToQString(text));
}

}  // namespace

StylusCalibrationPage::StylusCalibrationPage(StylusCalibration& model, StylusStep step)
    : model_(model), step_(step) {
  const StylusStepTexts texts = model_.Texts(step);
  setTitle(ToQString(texts.title));
  auto* lines = new QVBoxLayout;
  for (const std::string& line : texts.instructions) {
    auto* label = new QLabel(ToQString(line), this);
    label->setWordWrap(true);
    lines->addWidget(label);
  }
  auto* area = new QWidget(this);
  switch (step) {
    case StylusStep::ReferencePlane:
    case StylusStep::NewStylus:
      BuildTouching(texts, area);
      break;
    case StylusStep::RestPosition:
      BuildRestPosition(area);
      break;
    case StylusStep::Confirmation:
      BuildConfirmation(texts, area);
      break;
  }
  lines->addWidget(area);
  lines->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(lines, 1);
  if (step != StylusStep::Confirmation) layout->addWidget(Picture(step, this), 0, Qt::AlignTop);
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, &StylusCalibrationPage::Tick);
}

void StylusCalibrationPage::BuildTouching(const StylusStepTexts& texts, QWidget* area) {
  auto* type = new QGroupBox(ToQString(texts.stylusType), area);
  type->setAccessibleName(type->title());
  tip_ = NamedAsShown(new QRadioButton(ToQString(texts.tip), type));
  sphere_ = NamedAsShown(new QRadioButton(ToQString(texts.sphere), type));
  // Nothing chosen is a state of its own: an exclusive group could not return to it.
  auto* choice = new QButtonGroup(type);
  choice->addButton(tip_);
  choice->addButton(sphere_);
  auto* typeLayout = new QHBoxLayout(type);
  typeLayout->addWidget(tip_);
  typeLayout->addWidget(sphere_);
  radius_ = new QLineEdit(area);
  radius_->setAccessibleName(ToQString(texts.radius));
  auto* grid = new QGridLayout(area);
  grid->addWidget(type, 0, 0, 1, 4);
  grid->addWidget(new QLabel(ToQString(texts.radius), area), 1, 0);
  grid->addWidget(radius_, 1, 1);
  for (int axis = 0; axis < 3; ++axis) {
    const QString name(QChar(u"XYZ"[axis]));
    grid->addWidget(new QLabel(name, area), 2 + axis, 0);
    position_[axis] = Field(name, area);
    grid->addWidget(position_[axis], 2 + axis, 1);
  }
  height_ = Field(QStringLiteral("Plane height"), area);
  grid->addWidget(height_, 4, 2);
}

void StylusCalibrationPage::BuildRestPosition(QWidget* area) {
  auto* grid = new QGridLayout(area);
  for (int joint = 0; joint < kRestJointsShown; ++joint) {
    grid->addWidget(new QLabel(QString::number(joint + 1), area), joint, 0);
    offsets_[joint] = Field(QStringLiteral("Offset %1").arg(joint + 1), area);
    counts_[joint] = Field(QStringLiteral("Rest count %1").arg(joint + 1), area);
    grid->addWidget(offsets_[joint], joint, 1);
    grid->addWidget(counts_[joint], joint, 2);
  }
}

void StylusCalibrationPage::BuildConfirmation(const StylusStepTexts& texts, QWidget* area) {
  auto* column = new QVBoxLayout(area);
  originalFile_ = new QLabel(area);
  modifiedFile_ = new QLabel(area);
  for (const auto& [label, file] : {std::pair{texts.originalFile, originalFile_},
                                    std::pair{texts.modifiedFile, modifiedFile_}}) {
    file->setAccessibleName(ToQString(label));
    file->setStyleSheet(QStringLiteral("background: white; padding: 2px;"));
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(new QLabel(ToQString(label), area));
    column->addWidget(file);
  }
}

void StylusCalibrationPage::Enter() {
  model_.Activate(step_);
  if (radius_ != nullptr) {
    const StylusFields& fields = model_.fields(step_);
    tip_->group()->setExclusive(false);
    tip_->setChecked(fields.type == StylusType::Tip);
    sphere_->setChecked(fields.type == StylusType::Sphere);
    tip_->group()->setExclusive(true);
    radius_->setText(ToQString(fields.radius));
  }
  Refresh();
  if (step_ != StylusStep::Confirmation) timer_.start();
}

void StylusCalibrationPage::Tick() {
  if (!model_.Tick()) {
    timer_.stop();
    wizard()->reject();
    return;
  }
  Refresh();
}

void StylusCalibrationPage::Refresh() {
  const StylusDisplay& shown = model_.display();
  for (int axis = 0; axis < 3; ++axis) Show(position_[axis], shown.position[axis]);
  Show(height_, shown.height);
  for (int joint = 0; joint < kRestJointsShown; ++joint) {
    Show(offsets_[joint], shown.offsets[joint]);
    Show(counts_[joint], shown.restCounts[joint]);
  }
  Show(originalFile_, shown.originalFile);
  Show(modifiedFile_, shown.modifiedFile);
  emit completeChanged();
  if (QAbstractButton* back = wizard()->button(QWizard::BackButton)) back->setEnabled(shown.back);
}

StylusFields StylusCalibrationPage::Fields() const {
  if (radius_ == nullptr) return {};
  const StylusType type = tip_->isChecked()      ? StylusType::Tip
                          : sphere_->isChecked() ? StylusType::Sphere
                                                 : StylusType::None;
  return {type, radius_->text().toStdString()};
}

bool StylusCalibrationPage::isComplete() const {
  const StylusDisplay& shown = model_.display();
  return model_.current() == step_ && (shown.next || shown.finish);
}

bool StylusCalibrationPage::validatePage() {
  if (step_ == StylusStep::Confirmation) {
    model_.Finish();
    return true;
  }
  if (model_.Next(Fields())) return true;
  if (model_.result() < 0) wizard()->reject();
  return false;
}

StylusCalibrationWizard::StylusCalibrationWizard(StylusCalibration& model, QWidget* parent)
    : QWizard(parent) {
  setWindowTitle(ToQString(model.caption()));
  setAccessibleName(windowTitle());
  for (const StylusStep step : model.steps()) {
    pages_.push_back(new StylusCalibrationPage(model, step));
    addPage(pages_.back());
  }
  for (const WizardButton which :
       {BackButton, NextButton, CommitButton, FinishButton, CancelButton, HelpButton}) {
    button(which)->setAccessibleName(buttonText(which).remove(QLatin1Char('&')));
  }
  connect(this, &QWizard::currentIdChanged, this, &StylusCalibrationWizard::Show);
  connect(this, &QDialog::finished, this, &StylusCalibrationWizard::StopTimers);
}

void StylusCalibrationWizard::StopTimers() {
  for (StylusCalibrationPage* candidate : pages_) candidate->Leave();
}

void StylusCalibrationWizard::Show(int id) {
  StopTimers();
  if (auto* shown = dynamic_cast<StylusCalibrationPage*>(page(id))) shown->Enter();
}

}  // namespace pilvo::wizard
