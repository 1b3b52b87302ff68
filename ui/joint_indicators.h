// The column of joint indicators of the reset and limits windows: one lamp and one label per
// joint, the lamp lit (shown) while its joint's bit is set.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "data/arm_record.h"

class QLabel;

namespace pilvo {

class JointIndicators : public QWidget {
 public:
  // `lamp`: the picture of a lit indicator.
  JointIndicators(const QString& lamp, QWidget* parent = nullptr);

  // The first labels.size() rows are shown, the others hidden.
  void SetLabels(const std::vector<std::string>& labels);
  void SetLit(std::uint32_t mask);

 private:
  std::array<QLabel*, kMaxJoints> lamps_{};
  std::array<QLabel*, kMaxJoints> labels_{};
  std::uint32_t lit_ = 0;
};

// A picture of ours, as large as the text beside it.
QPixmap PicturePixmap(const QString& name, int size);

}  // namespace pilvo
