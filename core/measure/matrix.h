// Small dense matrix with shared copy-on-write storage, used to compose and invert the
// homogeneous transforms of the reference frame and rotating-table alignments.
//
// A matrixT is a handle to a reference-counted block: copies share the block, and a shared
// block is duplicated only when one of its handles is about to be written. The count is
// plain, not atomic: the measurement engine runs on one thread.
//
// A reference returned by the writable operator() points into the block current at the time
// of the call; copy the matrix after taking it and a write through it reaches both handles.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace math {

// Thrown for an index out of range, inconsistent product sizes and a non-square or singular
// inverse; what() is the message text.
class matrix_error : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

template <typename T>
class matrixT {
  static_assert(std::is_same_v<T, double>, "matrixT is used with double only");

 public:
  // A rowCount x colCount matrix; the elements are left uninitialised.
  matrixT(std::uint32_t rowCount, std::uint32_t colCount)
      : storage_(new MatrixStorage(rowCount, colCount)) {}

  // A rowCount x colCount matrix whose row r is a copy of the colCount values at
  // sourceRows[r].
  matrixT(std::uint32_t rowCount, std::uint32_t colCount, const T* const* sourceRows)
      : matrixT(rowCount, colCount) {
    for (std::uint32_t r = 0; r < rowCount; ++r) std::copy_n(sourceRows[r], colCount, Row(r));
  }

  matrixT(const matrixT& other) : storage_(other.storage_) { ++storage_->refCount; }

  matrixT& operator=(const matrixT& other) {
    ++other.storage_->refCount;  // before the release, so that a = a never frees the block
    Release(storage_);
    storage_ = other.storage_;
    return *this;
  }

  ~matrixT() { Release(storage_); }

  std::uint32_t rows() const { return storage_->rows; }
  std::uint32_t cols() const { return storage_->cols; }

  // Writable element; takes a private copy of a shared block first.
  T& operator()(std::size_t row, std::size_t col) {
    CheckIndex(row, col);
    if (storage_->refCount > 1) Detach();
    return Row(row)[col];
  }

  // Element value; never copies the block.
  T operator()(std::size_t row, std::size_t col) const {
    CheckIndex(row, col);
    return Row(row)[col];
  }

  // Replaces this matrix by this x b; b may be this matrix itself.
  matrixT& operator*=(const matrixT& b) {
    if (cols() != b.rows()) {
      throw matrix_error("matrixT::operator*= : Inconsistent matrix sizes in multiplication!");
    }
    matrixT product(rows(), b.cols());
    for (std::uint32_t i = 0; i < rows(); ++i) {
      const T* aRow = Row(i);
      T* productRow = product.Row(i);
      for (std::uint32_t j = 0; j < b.cols(); ++j) {
        T sum = 0.0;
        for (std::uint32_t k = 0; k < cols(); ++k) sum += aRow[k] * b.Row(k)[j];
        productRow[j] = sum;
      }
    }
    std::swap(storage_, product.storage_);
    return *this;
  }

  matrixT operator*(const matrixT& b) const {
    matrixT product(*this);
    product *= b;
    return product;
  }

  // Inverse by Gauss-Jordan elimination with partial pivoting. This matrix is the work area:
  // afterwards (and after a singular failure) it holds the row-reduced matrix, while other
  // handles that shared its block keep the former value.
  matrixT operator!() {
    if (rows() != cols()) {
      throw matrix_error("matrixT::operator!: Inversion of a non-square matrix");
    }
    const std::uint32_t n = rows();
    matrixT inverse(n, n);
    if (storage_->refCount > 1) Detach();
    inverse.MakeUnit();
    std::unique_ptr<T[]>* a = storage_->rowPtrs.get();
    std::unique_ptr<T[]>* t = inverse.storage_->rowPtrs.get();
    for (std::uint32_t k = 0; k < n; ++k) {
      const std::uint32_t p = PivotRow(k);
      // Exactly zero only: tiny pivots of nearly singular frames are still inverted.
      if (a[p][k] == 0.0) throw matrix_error("matrixT::operator!: Inversion of a singular matrix");
      if (p != k) {
        a[p].swap(a[k]);
        t[p].swap(t[k]);
      }
      const T d = a[k][k];
      for (std::uint32_t j = 0; j < n; ++j) {
        a[k][j] /= d;
        t[k][j] /= d;
      }
      for (std::uint32_t i = 0; i < n; ++i) {
        if (i == k) continue;
        const T f = a[i][k];
        for (std::uint32_t j = 0; j < n; ++j) {
          a[i][j] -= f * a[k][j];
          t[i][j] -= f * t[k][j];
        }
      }
    }
    return inverse;
  }

  // Shrinks to the smaller of the two sizes and becomes the identity.
  void MakeUnit() {
    if (storage_->refCount > 1) Detach();
    const std::uint32_t n = std::min(rows(), cols());
    storage_->rows = n;
    storage_->cols = n;
    for (std::uint32_t r = 0; r < n; ++r) {
      std::fill_n(Row(r), n, 0.0);
      Row(r)[r] = 1.0;
    }
  }

 private:
  // The shared block. Every row is an array of its own so that the inverse exchanges rows by
  // exchanging pointers.
  struct MatrixStorage {
    MatrixStorage(std::uint32_t rowCount, std::uint32_t colCount)
        : rowPtrs(std::make_unique<std::unique_ptr<T[]>[]>(rowCount)),
          rows(rowCount),
          cols(colCount),
          rowCapacity(rowCount),
          colCapacity(colCount) {
      // A failed allocation frees the rows already made through rowPtrs.
      for (std::uint32_t r = 0; r < rowCount; ++r) {
        rowPtrs[r] = std::make_unique_for_overwrite<T[]>(colCount);
      }
    }

    std::unique_ptr<std::unique_ptr<T[]>[]> rowPtrs;
    std::uint32_t rows;         // logical size, at most rowCapacity
    std::uint32_t cols;         // logical size, at most colCapacity
    std::uint32_t rowCapacity;  // row arrays allocated
    std::uint32_t colCapacity;  // doubles allocated per row
    std::int32_t refCount = 1;  // handles sharing this block
  };

  T* Row(std::size_t r) const { return storage_->rowPtrs[r].get(); }

  void CheckIndex(std::size_t row, std::size_t col) const {
    if (row >= rows() || col >= cols()) {
      throw matrix_error("matrixT::operator(): Index out of range!");
    }
  }

  // Row of the largest non-zero magnitude in column k from row k down: the upper row on a
  // tie, row k when none is non-zero.
  std::uint32_t PivotRow(std::uint32_t k) const {
    T best = -1.0;
    std::uint32_t p = k;
    for (std::uint32_t i = k; i < rows(); ++i) {
      const T m = std::fabs(Row(i)[k]);
      if (m > best && m != 0.0) {
        best = m;
        p = i;
      }
    }
    return p;
  }

  // Gives this handle its own copy of the shared block. The copy is complete before the
  // shared count drops, so a failed allocation leaves every handle as it was.
  void Detach() {
    auto* copy = new MatrixStorage(rows(), cols());
    for (std::uint32_t r = 0; r < rows(); ++r) std::copy_n(Row(r), cols(), copy->rowPtrs[r].get());
    --storage_->refCount;
    storage_ = copy;
  }

  // GCC 12 cannot see that a block shared by two handles outlives the first release and warns
  // of a use after free where the second handle releases it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
  static void Release(MatrixStorage* storage) {
    if (--storage->refCount == 0) delete storage;
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

  MatrixStorage* storage_;
};

}  // namespace math
