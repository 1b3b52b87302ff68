// The 3-D arm view of the reset and limits windows: a stylised arm drawn with the fixed-function
// OpenGL pipeline and GLU, the joints that have not passed their mark (or are outside their
// range) in the warning colour. Without an OpenGL context it stays black and its window works.
#pragma once

#include <QOpenGLWidget>

#include "dialogs/arm_view_pose.h"

namespace pilvo {

class ArmView : public QOpenGLWidget {
 public:
  explicit ArmView(QWidget* parent = nullptr);

  void SetPose(const ArmViewPose& pose);
  const ArmViewPose& pose() const { return pose_; }

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;

 private:
  ArmViewPose pose_;
};

}  // namespace pilvo
