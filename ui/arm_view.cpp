#include "ui/arm_view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QSurfaceFormat>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace pilvo {
namespace {

using Colour = std::array<GLfloat, 4>;

constexpr Colour kNormalMaterial{0.62f, 0.66f, 0.74f, 1.0f};
constexpr Colour kWarningMaterial{0.95f, 0.08f, 0.05f, 1.0f};
constexpr Colour kLightAmbient{0.25f, 0.25f, 0.25f, 1.0f};
constexpr Colour kLightDiffuse{0.9f, 0.9f, 0.9f, 1.0f};
constexpr Colour kLightSpecular{1.0f, 1.0f, 1.0f, 1.0f};
constexpr Colour kLightPosition{4.0f, 8.0f, 10.0f, 1.0f};

constexpr int kSlices = 20;
constexpr double kDegreesToRadians = 0.017453292519944003;
// The three scene scale values: the two long links, the stylus.
constexpr std::array<double, 3> kSceneScale{3.5, 3.5, 1.0};
constexpr double kLinkDiameter = 0.45;
constexpr double kJointDiameter = 0.6;

void SetMaterial(const Colour& colour) {
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour.data());
}

// Centred at the origin.
void DrawBox(double width, double height, double depth, const Colour& material) {
  SetMaterial(material);
  const double x = width / 2;
  const double y = height / 2;
  const double z = depth / 2;
  struct Face {
    std::array<double, 3> normal;
    std::array<std::array<double, 3>, 4> corners;
  };
  const std::array<Face, 6> faces{{
      {{0, 0, 1}, {{{-x, -y, z}, {x, -y, z}, {x, y, z}, {-x, y, z}}}},
      {{0, 0, -1}, {{{x, -y, -z}, {-x, -y, -z}, {-x, y, -z}, {x, y, -z}}}},
      {{1, 0, 0}, {{{x, -y, z}, {x, -y, -z}, {x, y, -z}, {x, y, z}}}},
      {{-1, 0, 0}, {{{-x, -y, -z}, {-x, -y, z}, {-x, y, z}, {-x, y, -z}}}},
      {{0, 1, 0}, {{{-x, y, z}, {x, y, z}, {x, y, -z}, {-x, y, -z}}}},
      {{0, -1, 0}, {{{-x, -y, -z}, {x, -y, -z}, {x, -y, z}, {-x, -y, z}}}},
  }};
  glBegin(GL_QUADS);
  for (const Face& face : faces) {
    glNormal3dv(face.normal.data());
    for (const auto& corner : face.corners) glVertex3dv(corner.data());
  }
  glEnd();
}

// Along Y, centred at the origin; a top below 0.01 makes a cone.
void DrawCylinder(double bottomDiameter, double topDiameter, double height, int slices,
                  const Colour& material) {
  SetMaterial(material);
  slices = std::max(slices, 3);
  const double bottom = bottomDiameter / 2;
  const double top = topDiameter < 0.01 ? 0.0 : topDiameter / 2;
  const double y = height / 2;
  const double step = 360.0 / slices;
  auto ring = [&](int i, double radius, double atY) {
    const double angle = (45.0 + i * step) * kDegreesToRadians;
    glVertex3d(radius * std::cos(angle), atY, radius * std::sin(angle));
  };
  glBegin(GL_POLYGON);
  glNormal3d(0, 1, 0);
  for (int i = slices - 1; i >= 0; --i) ring(i, top, y);
  glEnd();
  glBegin(GL_POLYGON);
  glNormal3d(0, -1, 0);
  for (int i = 0; i < slices; ++i) ring(i, bottom, -y);
  glEnd();
  glBegin(GL_QUADS);
  for (int i = 0; i < slices; ++i) {
    const double middle = (45.0 + (i + 0.5) * step) * kDegreesToRadians;
    glNormal3d(std::cos(middle), 0, std::sin(middle));
    ring(i, bottom, -y);
    ring(i, top, y);
    ring(i + 1, top, y);
    ring(i + 1, bottom, -y);
  }
  glEnd();
}

// A cylinder standing on the current origin, which then moves to its top.
void Stack(double bottomDiameter, double topDiameter, double height, const Colour& material) {
  glTranslated(0, height / 2, 0);
  DrawCylinder(bottomDiameter, topDiameter, height, kSlices, material);
  glTranslated(0, height / 2, 0);
}

void DrawArm(const ArmViewPose& pose) {
  const auto& a = pose.angles;
  auto material = [&pose](int joint) {
    return (pose.unmarkedMask >> joint & 1u) != 0 ? kWarningMaterial : kNormalMaterial;
  };
  Stack(1.2, 1.2, 0.3, kNormalMaterial);
  Stack(1.0, 1.0, 0.6, kNormalMaterial);
  Stack(1.0, 0.5, 0.6, kNormalMaterial);

  glRotated(a[0], 0, 1, 0);
  Stack(0.5, 0.5, 0.3, material(0));
  glPushMatrix();
  glRotated(90, 0, 0, 1);
  DrawCylinder(kJointDiameter, kJointDiameter, 0.7, kSlices, material(0));
  glPopMatrix();

  glRotated(a[1] + 90, 1, 0, 0);
  Stack(kLinkDiameter, kLinkDiameter, kSceneScale[0] / 3, material(1));
  glRotated(a[2], 0, 1, 0);
  Stack(kLinkDiameter, kLinkDiameter, kSceneScale[0] * 2 / 3, material(2));
  DrawBox(0.7, 0.5, 0.5, material(2));

  glRotated(a[3], 1, 0, 0);
  Stack(kLinkDiameter, kLinkDiameter, kSceneScale[1] / 3, material(3));
  glRotated(a[4], 0, 1, 0);
  Stack(kLinkDiameter, 0.35, kSceneScale[1] * 2 / 3, material(4));
  DrawBox(0.5, 0.4, 0.4, material(4));

  glRotated(a[5], 1, 0, 0);
  int stylus = 5;
  if (pose.rotatingProbe) {
    glRotated(-a[6], 0, 0, 1);
    stylus = 6;
  }
  Stack(0.35, 0.2, kSceneScale[2] * 0.6, material(stylus));
  Stack(0.2, 0.0, kSceneScale[2] * 0.4, material(stylus));
}

// A platform without OpenGL (offscreen, say) cannot even fail a QOpenGLWidget gracefully.
bool OpenGlAvailable() {
  static const bool available = [] {
    QOpenGLContext probe;
    return probe.create();
  }();
  return available;
}

}  // namespace

class ArmRenderer : public QOpenGLWidget {
 public:
  explicit ArmRenderer(const ArmViewPose& pose);

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;

 private:
  const ArmViewPose& pose_;
};

ArmView::ArmView(QWidget* parent) : QWidget(parent) {
  setAccessibleName("OpenGL");
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  if (!OpenGlAvailable()) return;
  renderer_ = new ArmRenderer(pose_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(renderer_);
}

void ArmView::SetPose(const ArmViewPose& pose) {
  if (pose == pose_) return;
  pose_ = pose;
  if (renderer_ != nullptr) renderer_->update();
}

QImage ArmView::Picture() {
  return renderer_ != nullptr ? renderer_->grabFramebuffer() : QImage();
}

ArmRenderer::ArmRenderer(const ArmViewPose& pose) : pose_(pose) {
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setDepthBufferSize(16);
  format.setStencilBufferSize(0);
  setFormat(format);
}

void ArmRenderer::initializeGL() {
  glClearColor(0, 0, 0, 1);
  glLightfv(GL_LIGHT0, GL_AMBIENT, kLightAmbient.data());
  glLightfv(GL_LIGHT0, GL_DIFFUSE, kLightDiffuse.data());
  glLightfv(GL_LIGHT0, GL_SPECULAR, kLightSpecular.data());
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_NORMALIZE);
}

void ArmRenderer::resizeGL(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, height == 0 ? width : static_cast<double>(width) / height, 1.0, 20.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void ArmRenderer::paintGL() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  // The light stays put while the arm moves.
  glLightfv(GL_LIGHT0, GL_POSITION, kLightPosition.data());
  if (pose_.variantGeometry) {
    glTranslated(0, 3.0, -12.5);
    glRotated(180, 1, 0, 0);
  } else {
    glTranslated(0, -3.0, -12.5);
    glPushMatrix();
    glRotated(45, 0, 1, 0);
    glTranslated(0, -0.075, 0);
    DrawBox(3.0, 0.15, 3.0, kNormalMaterial);
    glPopMatrix();
  }
  DrawArm(pose_);
  glPopMatrix();
}

}  // namespace pilvo
