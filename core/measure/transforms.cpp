#include "measure/transforms.h"

namespace pilvo {

int Mat4Multiply(const Pose& a, const Pose& b, Pose& out) {
  Pose product;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a[4 * row + k] * b[4 * k + column];
      product[4 * row + column] = sum;
    }
  }
  out = product;
  return 0;
}

void QuatMultiply(const Quaternion& a, const Quaternion& b, Quaternion& out) {
  const auto [aw, ax, ay, az] = a;
  const auto [bw, bx, by, bz] = b;
  out = {aw * bw - (ax * bx + ay * by + az * bz),  //
         aw * bx + bw * ax + (ay * bz - az * by),  //
         aw * by + bw * ay + (az * bx - ax * bz),  //
         aw * bz + bw * az + (ax * by - ay * bx)};
}

}  // namespace pilvo
