// Fixed-capacity dense storage and the small kernels the inverse iteration is
// built from. Every kernel touches only the leading count x count block (or
// the first count entries) and leaves the rest of the storage untouched.
//
// Sums start from +0.0 and add one rounded product at a time in ascending
// index order. The last digits of every result depend on that order, so no
// kernel may reassociate, split or fuse it.
#pragma once

#include "common/constants.h"

namespace lowmode {

struct Problem;

// Row-major block of MAX_DIM x MAX_DIM doubles, row stride MAX_DIM; only the
// leading n x n block is meaningful. Rows and columns count from 0.
struct Matrix {
  alignas(64) double a[MAX_DIM][MAX_DIM];
  double* operator[](int row) { return a[row]; }
  const double* operator[](int row) const { return a[row]; }
};

// MAX_DIM doubles; only the first n are meaningful.
struct Vector {
  alignas(64) double v[MAX_DIM];
  double& operator[](int i) { return v[i]; }
  const double& operator[](int i) const { return v[i]; }
};

// v[0 .. count-1] = 0.0.
void zero_vector(int count, Vector& v);

// a[i][j] = 0.0 for i, j < count.
void zero_matrix(int count, Matrix& a);

// dst[i][j] = src[i][j] for i, j < count.
void copy_matrix(int count, Matrix& dst, const Matrix& src);

// y[i] = sum over j = 0 .. count-1 of a[i][j] * x[j], for i < count.
// y must not alias x.
void mat_vec(int count, Vector& y, const Matrix& a, const Vector& x);

// result = sum over i = 0 .. count-1 of a[i] * b[i]; +0.0 when count <= 0.
void dot_product(int count, double& result, const Vector& a, const Vector& b);

// K[i][j] = K[i][j] - (shift * M[i][j]) over the leading n x n block of the
// problem, both triangles: the spectral shift K - sigma M.
void apply_shift(Problem& problem);

}  // namespace lowmode
