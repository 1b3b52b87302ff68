// The 3-D arm view rendered under an X server: the arm is drawn, and the warning colour shows
// exactly while a joint is unmarked. The pictures stay in the build tree to be looked at.
#include <gtest/gtest.h>

#include <QImage>

#include "ui/arm_view.h"

namespace pilvo {
namespace {

struct Census {
  int arm = 0;      // pixels that are not the black background
  int warning = 0;  // pixels in the warning colour
};

Census Count(const QImage& image) {
  Census census;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.red() + pixel.green() + pixel.blue() > 30) ++census.arm;
      if (pixel.red() > 100 && pixel.red() > 3 * std::max(pixel.green(), pixel.blue())) {
        ++census.warning;
      }
    }
  }
  return census;
}

TEST(ArmViewTest, DrawsTheArmWithTheUnmarkedJointsInTheWarningColour) {
  struct Case {
    const char* picture;
    ArmViewPose pose;
    bool warning;
  };
  const Case cases[] = {
      {"arm_view_rest.png", {.angles = {15, -65, 0, 125, 0, 0, 0}}, true},
      {"arm_view_marked.png", {.angles = {30, -30, 0, 60, 0, 45, 0}, .unmarkedMask = 0}, false},
      {"arm_view_elbow_unmarked.png",
       {.angles = {-20, -40, 0, 90, 0, 30, 0}, .unmarkedMask = 0x8},
       true},
      {"arm_view_variant.png",
       {.angles = {15, 0, 0, -90, 0, 0, 0}, .unmarkedMask = 0, .variantGeometry = true},
       false},
  };
  ArmView view;
  view.resize(320, 300);
  view.show();
  for (const Case& test : cases) {
    SCOPED_TRACE(test.picture);
    view.SetPose(test.pose);
    const QImage image = view.Picture();
    ASSERT_FALSE(image.isNull());
    image.save(test.picture);
    const Census census = Count(image);
    const int pixels = image.width() * image.height();
    EXPECT_GT(census.arm, pixels / 100) << "the arm fills part of the view";
    EXPECT_LT(census.arm, pixels / 2) << "on the black background";
    EXPECT_EQ(census.warning > 0, test.warning);
  }
}

}  // namespace
}  // namespace pilvo
