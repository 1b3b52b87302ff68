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

#include "dialogs/arm_scene.h"
#include "measure/transforms.h"

namespace pilvo {
namespace {

using Colour = std::array<GLfloat, 4>;

constexpr Colour kNormalMaterial{0.62f, 0.66f, 0.74f, 1.0f};
constexpr Colour kWarningMaterial{0.95f, 0.08f, 0.05f, 1.0f};
constexpr Colour kLightAmbient{0.25f, 0.25f, 0.25f, 1.0f};
constexpr Colour kLightDiffuse{0.9f, 0.9f, 0.9f, 1.0f};
constexpr Colour kLightSpecular{1.0f, 1.0f, 1.0f, 1.0f};
constexpr Colour kLightPosition{4.0f, 8.0f, 10.0f, 1.0f};

// The floor plate wears the normal colour.
void SetMaterial(SceneMaterial material) {
  const Colour& colour = material == SceneMaterial::Warning ? kWarningMaterial : kNormalMaterial;
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour.data());
}

// Centred at the origin.
void DrawBox(const std::array<double, 3>& size) {
  const double x = size[0] / 2;
  const double y = size[1] / 2;
  const double z = size[2] / 2;
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
void DrawCylinder(const std::array<double, 3>& size, int slices) {
  slices = std::max(slices, 3);
  const double bottom = size[0] / 2;
  const double top = size[1] < 0.01 ? 0.0 : size[1] / 2;
  const double y = size[2] / 2;
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

void Draw(const ScenePrimitive& primitive) {
  glPushMatrix();
  glMultMatrixd(primitive.transform.data());
  SetMaterial(primitive.material);
  switch (primitive.shape) {
    case SceneShape::Box:
      DrawBox(primitive.size);
      break;
    case SceneShape::Cylinder:
      DrawCylinder(primitive.size, primitive.slices);
      break;
  }
  glPopMatrix();
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
  // The light stays put while the arm moves.
  glLightfv(GL_LIGHT0, GL_POSITION, kLightPosition.data());
  for (const ScenePrimitive& primitive : BuildArmScene(pose_)) Draw(primitive);
}

}  // namespace pilvo
