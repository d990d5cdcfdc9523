// The numeric kernels transcribed in their fixed order, one plain loop per
// step, as the oracle that the vectorised kernels must match bit for bit;
// and seeded inputs that reach every block, mask and tail of them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>

#include "numeric/dense.h"
#include "numeric/iteration.h"
#include "numeric/solver.h"

namespace lowmode::test {

// Every size from 2 to 20 and sizes on both sides of the 16-, 8- and 4-row
// blocks and of the vector widths, up to the largest problem.
inline constexpr int PATH_SIZES[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                     17, 18, 19, 20, 24, 31, 32, 33, 40, 47, 48, 49, 50};

// plain: entries of both signs from 2^-8 to 2^9, so that any other order of
// the operations rounds differently and the pivot search exchanges rows;
// tiny: a third of them zero and a third about 1e-12, under the chop
// tolerance; non_finite: plain, with infinities added by the caller.
enum class Entries { plain, tiny, non_finite };
inline constexpr Entries ALL_ENTRIES[] = {Entries::plain, Entries::tiny, Entries::non_finite};

inline double random_entry(std::mt19937_64& rng, Entries entries) {
  const std::uint64_t bits = rng();
  const double unit = (bits & 16) != 0 ? -1.0 - (bits >> 12) * 0x1p-52 : 1.0 + (bits >> 12) * 0x1p-52;
  if (entries == Entries::tiny && bits % 3 != 0) return bits % 3 == 1 ? 0.0 : std::ldexp(unit, -40);
  return std::ldexp(unit, static_cast<int>(bits & 15) - 8);
}

// Index of the first of `count` doubles whose bits differ, or -1.
inline int first_difference(const double* got, const double* want, int count) {
  for (int i = 0; i < count; ++i) {
    if (std::memcmp(&got[i], &want[i], sizeof(double)) != 0) return i;
  }
  return -1;
}

// Each row's sum starts from +0.0 and adds one rounded product at a time in
// ascending column order.
inline void plain_mat_vec(int n, Vector& y, const Matrix& a, const Vector& x) {
  for (int i = 0; i < n; ++i) {
    double sum = 0.0;
    for (int j = 0; j < n; ++j) sum = a[i][j] * x[j] + sum;
    y[i] = sum;
  }
}

inline double plain_dot(int n, const Vector& a, const Vector& b) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum = a[i] * b[i] + sum;
  return sum;
}

struct PlainCounts {
  int exchanges = 0;
  int chops = 0;  // nonzero entries set to +0.0
};

// The elimination with immediate exchanges, the right-hand side update
// (A[k][i] * b[i]) / A[i][i], the chop and back substitution; without the
// pivot test (the inputs never meet it).
inline PlainCounts plain_solve(int n, Matrix& A, Vector& b) {
  PlainCounts counts;
  for (int i = 0; i < n; ++i) {
    double best = std::fabs(A[i][i]);
    for (int k = i + 1; k < n; ++k) {
      if (std::fabs(A[k][i]) > best) {
        best = std::fabs(A[k][i]);
        for (int c = 0; c < n; ++c) std::swap(A[k][c], A[i][c]);
        std::swap(b[k], b[i]);
        ++counts.exchanges;
      }
    }
    for (int k = i + 1; k < n; ++k) {
      const double f = A[k][i] / A[i][i];
      b[k] = b[k] - (A[k][i] * b[i]) / A[i][i];
      for (int c = i; c < n; ++c) {
        A[k][c] = A[k][c] - f * A[i][c];
        if (std::fabs(A[k][c]) < CHOP_TOLERANCE) {
          counts.chops += A[k][c] != 0.0;
          A[k][c] = 0.0;
        }
      }
    }
  }
  b[n - 1] = b[n - 1] / A[n - 1][n - 1];
  for (int i = n - 2; i >= 0; --i) {
    for (int c = i + 1; c < n; ++c) b[i] = b[i] - A[i][c] * b[c];
    b[i] = b[i] / A[i][i];
  }
  return counts;
}

// The forty passes from the all-ones start; returns the quotient and leaves
// the mass-normalised iterate in b.
inline double plain_passes(int n, const Matrix& K, const Matrix& M, Vector& b) {
  static Matrix A;
  Vector x;
  Vector h;
  for (double& entry : x.v) entry = 1.0;
  double lambda = 0.0;
  for (int pass = 0; pass < ITERATION_COUNT; ++pass) {
    A = K;
    plain_mat_vec(n, b, M, x);
    plain_solve(n, A, b);
    plain_mat_vec(n, h, M, b);
    const double s = std::sqrt(plain_dot(n, h, b));
    for (int i = 0; i < n; ++i) {
      b[i] = b[i] / s;
      x[i] = b[i];
    }
    plain_mat_vec(n, h, K, b);
    lambda = plain_dot(n, h, b);
    plain_mat_vec(n, h, M, b);
    lambda = lambda / plain_dot(n, h, b);
  }
  return lambda;
}

}  // namespace lowmode::test
