#include "ui/limits_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/arm_view.h"
#include "ui/joint_indicators.h"
#include "ui/qt_prompts.h"

namespace pilvo {

LimitsWindow::LimitsWindow(const ProductContext& context)
    : model_(context),
      indicators_(new JointIndicators("limit_indicator.svg")),
      enlarge_(new QPushButton),
      audio_(new QCheckBox("&Audio")),
      view_(new ArmView) {
  setWindowTitle(ToQString(model_.title()));
  audio_->setAccessibleName("Audio");
  audio_->setChecked(model_.audio());
  view_->setFixedSize(320, 300);
  connect(enlarge_, &QPushButton::clicked, this, [this] {
    model_.ToggleEnlarged();
    LayOut();
  });
  connect(audio_, &QCheckBox::clicked, this, [this] {
    model_.ToggleAudio();
    audio_->setChecked(model_.audio());
  });

  auto* left = new QVBoxLayout;
  left->addWidget(indicators_);
  left->addStretch();
  left->addWidget(audio_);
  left->addWidget(enlarge_);
  auto* main = new QHBoxLayout(this);
  main->setSizeConstraint(QLayout::SetFixedSize);
  main->addLayout(left);
  main->addWidget(view_);
  LayOut();
}

void LimitsWindow::LayOut() {
  enlarge_->setText(model_.enlargeButtonText());
  enlarge_->setAccessibleName(model_.enlargeButtonName());
  view_->setVisible(model_.enlarged());
}

void LimitsWindow::Open(const ArmSessionState& state) {
  model_.LabelJoints(state);
  indicators_->SetLabels(model_.jointLabels());
  show();
}

bool LimitsWindow::Update(std::uint32_t outMask, std::span<const double> radians) {
  const bool beep = model_.Update(outMask, radians);
  if (isHidden()) show();
  indicators_->SetLit(model_.indicatorMask());
  view_->SetPose(model_.viewPose());
  return beep;
}

}  // namespace pilvo
