// The 3-D arm view rendered under an X server: the whole arm stays in the picture at rest and
// stretched out in either geometry, the warning colour shows exactly while a joint is unmarked,
// and the picture follows the pose. The pictures stay in the build tree to be looked at.
#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <string>

#include "ui/arm_view.h"

namespace pilvo {
namespace {

struct Census {
  int arm = 0;      // pixels that are not the black background
  int border = 0;   // of those, on the picture's edge: the arm leaves the frame
  int warning = 0;  // pixels in the warning colour
};

Census Count(const QImage& image) {
  Census census;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.red() + pixel.green() + pixel.blue() <= 30) continue;
      ++census.arm;
      if (x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1) ++census.border;
      if (pixel.red() > 100 && pixel.red() > 3 * std::max(pixel.green(), pixel.blue())) {
        ++census.warning;
      }
    }
  }
  return census;
}

TEST(ArmViewTest, DrawsTheWholeArmInFrameWithTheUnmarkedJointsInTheWarningColour) {
  constexpr std::array<double, kArmViewJoints> kStretchedUp{0, -90, 0, 0, 0, 0, 0};
  const struct {
    std::string picture;
    ArmViewPose pose;
    bool warning;
  } cases[] = {
      {"rest", {.angles = {15, -65, 0, 125, 0, 0, 0}}, true},
      {"rest_turned", {.angles = {25, -65, 0, 125, 0, 0, 0}}, true},
      {"elbow_unmarked", {.angles = {-20, -40, 0, 90, 0, 30, 0}, .unmarkedMask = 0x8}, true},
      {"stretched_up", {.angles = kStretchedUp, .unmarkedMask = 0}, false},
      {"reaching_sideways",
       {.angles = {-90, 10, 0, 10, 0, 90, 0}, .unmarkedMask = 0, .rotatingProbe = true},
       false},
      {"variant_rest",
       {.angles = {15, 0, 0, -90, 0, 0, 0}, .unmarkedMask = 0, .variantGeometry = true},
       false},
      {"variant_stretched",
       {.angles = kStretchedUp, .unmarkedMask = 0, .variantGeometry = true},
       false},
  };
  ArmView view;
  view.resize(320, 300);
  view.show();
  std::map<std::string, QImage> pictures;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.picture);
    view.SetPose(test.pose);
    const QImage image = view.Picture();
    ASSERT_FALSE(image.isNull());
    image.save(QString::fromStdString("arm_view_" + test.picture + ".png"));
    pictures[test.picture] = image;
    const Census census = Count(image);
    const int pixels = image.width() * image.height();
    EXPECT_GT(census.arm, pixels / 100) << "the arm fills part of the view";
    EXPECT_LT(census.arm, pixels / 2) << "on the black background";
    EXPECT_EQ(census.border, 0) << "the whole arm in the picture";
    EXPECT_EQ(census.warning > 0, test.warning);
  }
  EXPECT_NE(pictures["rest"], pictures["rest_turned"]) << "one joint angle moves the arm";
  EXPECT_NE(pictures["stretched_up"], pictures["variant_stretched"]) << "the geometry matters";
}

}  // namespace
}  // namespace pilvo
