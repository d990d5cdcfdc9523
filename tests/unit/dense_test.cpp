#include "numeric/dense.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "common/problem.h"
#include "support/plain_order.h"

namespace lowmode {
namespace {

using namespace test;

constexpr double SENTINEL = -12345.5;
constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr int COUNT = 3;
constexpr double INFINITE = std::numeric_limits<double>::infinity();


// A matrix whose leading COUNT x COUNT block holds distinct values and whose
// remaining storage holds `outside`.
Matrix block_matrix(double outside) {
  Matrix a;
  for (int i = 0; i < MAX_DIM; ++i) {
    for (int j = 0; j < MAX_DIM; ++j) a[i][j] = (i < COUNT && j < COUNT) ? 1.0 + i * COUNT + j : outside;
  }
  return a;
}

Vector block_vector(double outside) {
  Vector v;
  for (int i = 0; i < MAX_DIM; ++i) v[i] = i < COUNT ? 0.5 * (i + 1) : outside;
  return v;
}

void expect_matrix_outside(const Matrix& a, double outside) {
  for (int i = 0; i < MAX_DIM; ++i) {
    for (int j = 0; j < MAX_DIM; ++j) {
      if (i >= COUNT || j >= COUNT) {
        ASSERT_EQ(a[i][j], outside) << i << "," << j;
      }
    }
  }
}

void expect_vector_outside(const Vector& v, double outside) {
  for (int i = COUNT; i < MAX_DIM; ++i) ASSERT_EQ(v[i], outside) << i;
}

// Inputs carry NaN outside the leading block, so any stray read poisons the
// result; outputs carry a sentinel there, so any stray write shows.
TEST(DenseKernels, TouchOnlyTheLeadingBlock) {
  Vector v = block_vector(SENTINEL);
  zero_vector(COUNT, v);
  for (int i = 0; i < COUNT; ++i) EXPECT_EQ(v[i], 0.0);
  expect_vector_outside(v, SENTINEL);

  Matrix a = block_matrix(SENTINEL);
  zero_matrix(COUNT, a);
  for (int i = 0; i < COUNT; ++i) {
    for (int j = 0; j < COUNT; ++j) EXPECT_EQ(a[i][j], 0.0);
  }
  expect_matrix_outside(a, SENTINEL);

  const Matrix src = block_matrix(NOT_A_NUMBER);
  Matrix dst = block_matrix(SENTINEL);
  zero_matrix(COUNT, dst);
  copy_matrix(COUNT, dst, src);
  for (int i = 0; i < COUNT; ++i) {
    for (int j = 0; j < COUNT; ++j) EXPECT_EQ(dst[i][j], src[i][j]);
  }
  expect_matrix_outside(dst, SENTINEL);

  const Vector x = block_vector(NOT_A_NUMBER);
  Vector y = block_vector(SENTINEL);
  mat_vec(COUNT, y, src, x);
  // Rows (1 2 3), (4 5 6), (7 8 9) times (0.5 1 1.5).
  EXPECT_EQ(y[0], 7.0);
  EXPECT_EQ(y[1], 16.0);
  EXPECT_EQ(y[2], 25.0);
  expect_vector_outside(y, SENTINEL);

  double result = SENTINEL;
  dot_product(COUNT, result, x, x);
  EXPECT_EQ(result, 3.5);

  Problem problem;
  problem.n = COUNT;
  problem.K = block_matrix(SENTINEL);
  problem.M = block_matrix(NOT_A_NUMBER);
  problem.shift = 1.0;
  apply_shift(problem);
  for (int i = 0; i < COUNT; ++i) {
    for (int j = 0; j < COUNT; ++j) EXPECT_EQ(problem.K[i][j], 0.0);
  }
  expect_matrix_outside(problem.K, SENTINEL);
}

TEST(DenseKernels, NonPositiveCountDoesNothingButZeroTheDotProduct) {
  for (const int count : {0, -1}) {
    Vector v = block_vector(SENTINEL);
    const Vector before = v;
    zero_vector(count, v);
    mat_vec(count, v, block_matrix(1.0), before);
    for (int i = 0; i < MAX_DIM; ++i) ASSERT_EQ(v[i], before[i]);

    Matrix a = block_matrix(SENTINEL);
    Matrix twos;
    for (auto& row : twos.a) {
      for (double& entry : row) entry = 2.0;
    }
    zero_matrix(count, a);
    copy_matrix(count, a, twos);
    EXPECT_EQ(a[0][0], 1.0);
    EXPECT_EQ(a[COUNT - 1][COUNT - 1], 9.0);
    expect_matrix_outside(a, SENTINEL);

    double result = -7.0;
    dot_product(count, result, v, v);
    EXPECT_EQ(result, 0.0);
    EXPECT_FALSE(std::signbit(result));
  }
}

// Products that are all -0.0 still sum to +0.0, because the sum starts from +0.0.
TEST(DenseKernels, SumsOfZeroProductsArePositiveZero) {
  Vector negative{};
  Vector zeros{};
  for (int i = 0; i < COUNT; ++i) negative[i] = -1.0 - i;
  double result = -1.0;
  dot_product(COUNT, result, negative, zeros);
  EXPECT_EQ(result, 0.0);
  EXPECT_FALSE(std::signbit(result));

  Matrix a{};
  for (int j = 0; j < COUNT; ++j) a[0][j] = -1.0;
  Vector y{};
  mat_vec(COUNT, y, a, zeros);
  EXPECT_FALSE(std::signbit(y[0]));
}

// (1e16, 1, -1e16, 1) summed in ascending order gives 1; in descending order
// 0, and by interleaved halves 2. mat_vec sums each row the same way.
TEST(DenseKernels, SumsRunInAscendingIndexOrder) {
  constexpr int n = 4;
  const double terms[n] = {1e16, 1.0, -1e16, 1.0};
  Vector a{};
  Vector ones{};
  Matrix m{};
  for (int i = 0; i < n; ++i) {
    a[i] = terms[i];
    ones[i] = 1.0;
    m[0][i] = terms[i];
    m[n - 1][i] = terms[i];
  }
  double result = 0.0;
  dot_product(n, result, a, ones);
  EXPECT_EQ(result, 1.0);

  Vector y{};
  mat_vec(n, y, m, ones);
  EXPECT_EQ(y[0], 1.0);
  EXPECT_EQ(y[n - 1], 1.0);
}

// With t = 1 + 2^-30, t*t = 1 + 2^-29 + 2^-60 rounds to 1 + 2^-29. Adding the
// rounded product to -(1 + 2^-29) gives exactly 0; a fused multiply-add would
// keep the 2^-60.
TEST(DenseKernels, ProductsAreRoundedBeforeTheyAreAdded) {
  const double t = 1.0 + std::ldexp(1.0, -30);
  const double rounded_square = 1.0 + std::ldexp(1.0, -29);
  Vector a{};
  Vector b{};
  a[0] = -rounded_square;
  b[0] = 1.0;
  a[1] = t;
  b[1] = t;
  double result = -1.0;
  dot_product(2, result, a, b);
  EXPECT_EQ(result, 0.0);

  Matrix m{};
  m[0][0] = -rounded_square;
  m[0][1] = t;
  Vector y{};
  mat_vec(2, y, m, b);
  EXPECT_EQ(y[0], 0.0);

  Problem problem;
  problem.n = 1;
  problem.shift = t;
  problem.M[0][0] = t;
  problem.K[0][0] = rounded_square;
  apply_shift(problem);
  EXPECT_EQ(problem.K[0][0], 0.0);
}

TEST(DenseKernels, MatVecOfIdentityReproducesTheVector) {
  Matrix identity{};
  for (int i = 0; i < COUNT; ++i) identity[i][i] = 1.0;
  Vector x{};
  x[0] = 0.1;
  x[1] = -1.0 / 3.0;
  x[2] = 1e-300;
  Vector y{};
  mat_vec(COUNT, y, identity, x);
  for (int i = 0; i < COUNT; ++i) EXPECT_EQ(y[i], x[i]);
}

TEST(ApplyShift, ZeroShiftLeavesKUnchanged) {
  Problem problem;
  problem.n = COUNT;
  problem.K = block_matrix(SENTINEL);
  problem.K[1][2] = -0.1;
  problem.M = block_matrix(SENTINEL);
  const Matrix before = problem.K;
  apply_shift(problem);
  for (int i = 0; i < MAX_DIM; ++i) {
    for (int j = 0; j < MAX_DIM; ++j) ASSERT_EQ(problem.K[i][j], before[i][j]);
  }
}

TEST(ApplyShift, IdentityMassLowersOnlyTheDiagonal) {
  Problem problem;
  problem.n = COUNT;
  problem.K = block_matrix(SENTINEL);
  for (int i = 0; i < COUNT; ++i) problem.M[i][i] = 1.0;
  problem.shift = 2.5;
  apply_shift(problem);
  const double expected[COUNT][COUNT] = {{-1.5, 2.0, 3.0}, {4.0, 2.5, 6.0}, {7.0, 8.0, 6.5}};
  for (int i = 0; i < COUNT; ++i) {
    for (int j = 0; j < COUNT; ++j) EXPECT_EQ(problem.K[i][j], expected[i][j]) << i << "," << j;
  }
}

// Seeded entries in the leading n x n block and NaN outside it.
Matrix random_matrix(int n, Entries entries, std::mt19937_64& rng) {
  Matrix a = block_matrix(NOT_A_NUMBER);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) a[i][j] = random_entry(rng, entries);
  }
  if (entries == Entries::non_finite) a[n / 2][n / 3] = INFINITE;
  return a;
}

TEST(DenseKernels, MatVecMatchesThePlainOrderBitForBit) {
  for (const int n : PATH_SIZES) {
    for (const Entries entries : ALL_ENTRIES) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", entries " << static_cast<int>(entries));
      std::mt19937_64 rng(n * 4 + static_cast<int>(entries));
      const Matrix a = random_matrix(n, entries, rng);
      Vector x = block_vector(NOT_A_NUMBER);
      for (int j = 0; j < n; ++j) x[j] = random_entry(rng, Entries::plain);
      if (entries == Entries::non_finite) x[n - 1] = -INFINITE;
      Vector want = block_vector(SENTINEL);
      Vector got = want;
      plain_mat_vec(n, want, a, x);
      mat_vec(n, got, a, x);
      EXPECT_EQ(first_difference(got.v, want.v, MAX_DIM), -1);
    }
  }
}

// Every bit moves, a signalling NaN's included, and nothing outside the block.
TEST(DenseKernels, CopyMatrixCopiesEveryBitOfTheBlockOnly) {
  for (const int n : PATH_SIZES) {
    for (const Entries entries : ALL_ENTRIES) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", entries " << static_cast<int>(entries));
      std::mt19937_64 rng(n * 4 + static_cast<int>(entries));
      Matrix src = random_matrix(n, entries, rng);
      if (entries == Entries::non_finite) src[n - 1][n - 1] = std::numeric_limits<double>::signaling_NaN();
      Matrix want = block_matrix(SENTINEL);
      Matrix got = want;
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) want[i][j] = src[i][j];
      }
      copy_matrix(n, got, src);
      EXPECT_EQ(first_difference(&got[0][0], &want[0][0], MAX_DIM * MAX_DIM), -1);
    }
  }
}

}  // namespace
}  // namespace lowmode
