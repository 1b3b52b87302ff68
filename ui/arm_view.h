// The 3-D arm view of the reset and limits windows: a stylised arm drawn with the fixed-function
// OpenGL pipeline and GLU, the joints that have not passed their mark (or are outside their
// range) in the warning colour. Without an OpenGL context it stays black and its window works.
#pragma once

#include <QImage>
#include <QWidget>

#include "dialogs/arm_view_pose.h"

namespace pilvo {

class ArmRenderer;

class ArmView : public QWidget {
 public:
  explicit ArmView(QWidget* parent = nullptr);

  void SetPose(const ArmViewPose& pose);

  // What the view shows now: null without OpenGL.
  QImage Picture();

 private:
  ArmViewPose pose_;
  ArmRenderer* renderer_ = nullptr;  // null without OpenGL
};

}  // namespace pilvo
