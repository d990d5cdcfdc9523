#include "numeric/dense.h"

#include "common/problem.h"

namespace lowmode {

void zero_vector(int count, Vector& v) {
  for (int i = 0; i < count; ++i) v[i] = 0.0;
}

void zero_matrix(int count, Matrix& a) {
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < count; ++j) a[i][j] = 0.0;
  }
}

void copy_matrix(int count, Matrix& dst, const Matrix& src) {
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < count; ++j) dst[i][j] = src[i][j];
  }
}

void mat_vec(int count, Vector& y, const Matrix& a, const Vector& x) {
  for (int i = 0; i < count; ++i) {
    double sum = 0.0;
    for (int j = 0; j < count; ++j) sum = a[i][j] * x[j] + sum;
    y[i] = sum;
  }
}

void dot_product(int count, double& result, const Vector& a, const Vector& b) {
  double sum = 0.0;
  for (int i = 0; i < count; ++i) sum = a[i] * b[i] + sum;
  result = sum;
}

void apply_shift(Problem& problem) {
  const double sigma = problem.shift;
  for (int i = 0; i < problem.n; ++i) {
    for (int j = 0; j < problem.n; ++j) {
      const double product = sigma * problem.M[i][j];
      problem.K[i][j] = problem.K[i][j] - product;
    }
  }
}

}  // namespace lowmode
