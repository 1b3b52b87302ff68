#include "measure/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Matrix = math::matrixT<double>;
using Rows = std::vector<std::vector<double>>;

constexpr char kSingularError[] = "matrixT::operator!: Inversion of a singular matrix";
const Rows kIdentity4 = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

// Builds a matrix from literal rows through the row-pointer constructor.
Matrix Make(const Rows& values) {
  std::vector<const double*> rows;
  for (const auto& row : values) rows.push_back(row.data());
  return Matrix(std::uint32_t(values.size()), std::uint32_t(values.empty() ? 0 : values[0].size()),
                rows.data());
}

// The text of the matrix_error that f throws, empty when it throws none.
template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const math::matrix_error& e) {
    return e.what();
  }
  return "";
}

void ExpectNear(const Matrix& actual, const Rows& expected, double tolerance = 0.0) {
  ASSERT_EQ(actual.rows(), expected.size());
  for (std::uint32_t r = 0; r < actual.rows(); ++r) {
    ASSERT_EQ(actual.cols(), expected[r].size());
    for (std::uint32_t c = 0; c < actual.cols(); ++c) {
      EXPECT_NEAR(actual(r, c), expected[r][c], tolerance) << "element " << r << "," << c;
    }
  }
}

TEST(MatrixInverse, RigidTransformIdentityAndTheLargerLowerPivot) {
  // Rotation about z then x, and a translation in millimetres.
  const double ca = std::cos(0.6), sa = std::sin(0.6), cb = std::cos(-0.9), sb = std::sin(-0.9);
  const Matrix transform = Make({{ca, -sa * cb, sa * sb, 250.5},
                                 {sa, ca * cb, -ca * sb, -120.25},
                                 {0.0, sb, cb, 80.0},
                                 {0.0, 0.0, 0.0, 1.0}});
  Matrix work = transform;
  const Matrix inverse = !work;
  ExpectNear(inverse * transform, kIdentity4, 1e-12);
  ExpectNear(transform * inverse, kIdentity4, 1e-12);
  Matrix identity = Make(kIdentity4);
  ExpectNear(!identity, kIdentity4);
  // Eliminating on the 1e-20 pivot would lose the 1s and give [[0, 1], [1, 0]].
  Matrix m = Make({{1e-20, 1}, {1, 1}});
  ExpectNear(!m, {{-1, 1}, {1, -1e-20}}, 1e-15);
}

TEST(MatrixInverse, OnlyExactZeroPivotsAndOtherShapesFail) {
  // Column 1 is zero below the first pivot, so the inverse stops at k = 1 and the operand keeps
  // the chosen pivot row, normalised, as row 0: the upper row on a tie, else the largest.
  const std::pair<Rows, double> singular[] = {{{{1, 2, 3}, {-1, -2, 5}, {0, 0, 1}}, 3.0},
                                              {{{1, 2, 1}, {3, 6, 0}, {2, 4, 5}}, 0.0}};
  for (const auto& [values, row0col2] : singular) {
    Matrix m = Make(values);
    EXPECT_EQ(ErrorOf([&] { !m; }), kSingularError);
    EXPECT_EQ(std::tuple(m(0, 0), m(0, 2)), std::tuple(1.0, row0col2));
  }
  Matrix zeroColumn = Make({{0, 1, 2}, {0, 3, 4}, {0, 5, 7}});
  EXPECT_EQ(ErrorOf([&] { !zeroColumn; }), kSingularError);
  // Tiny pivots are still inverted.
  Matrix tiny = Make({{1e-300, 1}, {0, 1}});
  const Matrix inverse = !tiny;
  EXPECT_DOUBLE_EQ(inverse(0, 0), 1e300);
  EXPECT_DOUBLE_EQ(inverse(0, 1), -1e300);
  Matrix nonSquare = Make({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(ErrorOf([&] { !nonSquare; }), "matrixT::operator!: Inversion of a non-square matrix");
  Matrix empty(0, 0);
  EXPECT_EQ((!empty).rows(), 0u);
}

TEST(MatrixProduct, RowsTimesColumnsInIncreasingOrderAndSizesAndIndicesChecked) {
  const Matrix a = Make({{1, 2, 3}, {4, 5, 6}});
  ExpectNear(a * Make({{1, 0}, {0, 1}, {2, -1}}), {{7, -1}, {16, -1}});
  ExpectNear(a, {{1, 2, 3}, {4, 5, 6}});
  // 1 + 1e17 rounds to 1e17, so only the increasing order gives exactly 0.
  EXPECT_EQ((Make({{1, 1e17, -1e17}}) * Make({{1}, {1}, {1}}))(0, 0), 0.0);
  Matrix square = Make({{1, 2}, {3, 4}});
  square *= square;
  ExpectNear(square, {{7, 10}, {15, 22}});

  constexpr char kSizeError[] =
      "matrixT::operator*= : Inconsistent matrix sizes in multiplication!";
  Matrix tall(4, 3);
  const Matrix b = Make(kIdentity4);
  EXPECT_EQ(ErrorOf([&] { tall* b; }), kSizeError);
  EXPECT_EQ(ErrorOf([&] { tall *= b; }), kSizeError);
  EXPECT_EQ(tall.cols(), 3u);

  constexpr char kIndexError[] = "matrixT::operator(): Index out of range!";
  Matrix m = Make(kIdentity4);
  const Matrix& constM = m;
  EXPECT_EQ(std::tuple(ErrorOf([&] { m(4, 0) = 1; }), ErrorOf([&] { m(0, 4) = 1; }),
                       ErrorOf([&] { constM(4, 0); }), ErrorOf([&] { constM(0, 4); }),
                       ErrorOf([&] { constM(3, 3); })),
            std::tuple(kIndexError, kIndexError, kIndexError, kIndexError, ""));
}

TEST(MatrixSharing, WritesDoNotReachOtherHandles) {
  const Matrix original = Make({{1, 2}, {3, 4}});
  Matrix copied = original;
  Matrix assigned(1, 1);
  assigned = original;
  copied(0, 0) = 10;
  assigned(1, 1) = 40;
  ExpectNear(original, {{1, 2}, {3, 4}});
  ExpectNear(copied, {{10, 2}, {3, 4}});
  ExpectNear(assigned, {{1, 2}, {3, 40}});

  Matrix shared = original;
  const Matrix inverse = !shared;
  ExpectNear(original, {{1, 2}, {3, 4}});
  ExpectNear(shared, {{1, 0}, {0, 1}}, 1e-15);
  ExpectNear(inverse, {{-2, 1}, {1.5, -0.5}}, 1e-15);

  Matrix wide = original * Make({{1, 0, 5}, {0, 1, 6}});
  Matrix sharer = wide;
  wide.MakeUnit();
  ExpectNear(wide, {{1, 0}, {0, 1}});
  ExpectNear(sharer, {{1, 2, 17}, {3, 4, 39}});

  Matrix self = Make({{1, 2}, {3, 4}});
  const Matrix& alias = self;
  self = alias;
  ExpectNear(self, {{1, 2}, {3, 4}});
}

}  // namespace
