#include "ui/joint_indicators.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>

#include "ui/qt_prompts.h"

namespace pilvo {

QPixmap PicturePixmap(const QString& name, int size) {
  return QIcon(":/pictures/" + name).pixmap(size, size);
}

JointIndicators::JointIndicators(const QString& lamp, QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  const int size = fontMetrics().height() + 4;
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    auto* picture = new QLabel;
    picture->setPixmap(PicturePixmap(lamp, size));
    picture->setFixedSize(size, size);
    QSizePolicy policy = picture->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    picture->setSizePolicy(policy);
    picture->setAccessibleName(QStringLiteral("Indicator %1").arg(joint + 1));
    picture->hide();
    auto* label = new QLabel;
    grid->addWidget(picture, joint, 0);
    grid->addWidget(label, joint, 1);
    lamps_[joint] = picture;
    labels_[joint] = label;
  }
}

void JointIndicators::SetLabels(const std::vector<std::string>& labels) {
  for (std::size_t row = 0; row < labels_.size(); ++row) {
    const bool shown = row < labels.size();
    labels_[row]->setText(shown ? ToQString(labels[row]) : QString());
    labels_[row]->setAccessibleName(labels_[row]->text());
    labels_[row]->setVisible(shown);
  }
}

void JointIndicators::SetLit(std::uint32_t mask) {
  if (mask == lit_) return;
  lit_ = mask;
  for (std::size_t joint = 0; joint < lamps_.size(); ++joint) {
    lamps_[joint]->setVisible((mask >> joint & 1u) != 0);
  }
}

}  // namespace pilvo
