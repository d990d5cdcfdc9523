#include "numeric/dense.h"

#include <cstring>

#include "common/problem.h"

// The hot kernels are compiled for AVX-512, AVX2 and baseline x86-64; the
// loader picks the widest one the processor supports, once. Every clone does
// the same arithmetic in the same order (contraction is off everywhere), so
// the choice changes the speed and never the bits. A build that already
// targets AVX2 needs no clones, and one with LOWMODE_FIXED_VECTOR_PATH
// defined has none either: it runs only the code for the instruction set it
// is compiled for, so that the tests can reach each version on one machine.
#if defined(__x86_64__) && !defined(__AVX2__) && !defined(LOWMODE_FIXED_VECTOR_PATH)
#define LOWMODE_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define LOWMODE_VECTOR_CLONES
#endif

namespace lowmode {
namespace {

// Four doubles handled as one value; each clone maps it onto the vector
// registers it has (one AVX register, or two SSE2 ones).
typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));

// Four consecutive doubles from any address (rows need not be aligned).
[[gnu::always_inline]] inline void load_lanes(Lanes& v, const double* p) { std::memcpy(&v, p, sizeof v); }

// y[r] for the rows r = 0 .. 4*CHAINS-1 of the block a. Each row's sum is its
// own serial chain in ascending column order. The chains are independent, so
// they advance side by side, one vector lane per row, CHAINS vectors of four
// rows, and each chain's latency hides behind the others. A lane needs a
// column of four rows, so every 4 x 4 tile is transposed in registers.
template <int CHAINS>
[[gnu::always_inline]] inline void row_block_products(int count, double* y, const double (*a)[MAX_DIM],
                                                      const double* x) {
  Lanes sum[CHAINS] = {};
  int j = 0;
  for (; j + 4 <= count; j += 4) {
#pragma GCC unroll 4
    for (int g = 0; g < CHAINS; ++g) {
      const double (*rows)[MAX_DIM] = a + 4 * g;
      Lanes r0, r1, r2, r3;
      load_lanes(r0, &rows[0][j]);
      load_lanes(r1, &rows[1][j]);
      load_lanes(r2, &rows[2][j]);
      load_lanes(r3, &rows[3][j]);
      const Lanes t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
      const Lanes t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
      const Lanes t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
      const Lanes t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
      sum[g] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5) * x[j] + sum[g];
      sum[g] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5) * x[j + 1] + sum[g];
      sum[g] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7) * x[j + 2] + sum[g];
      sum[g] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7) * x[j + 3] + sum[g];
    }
  }
  for (; j < count; ++j) {
#pragma GCC unroll 4
    for (int g = 0; g < CHAINS; ++g) {
      const double (*rows)[MAX_DIM] = a + 4 * g;
      const Lanes column = {rows[0][j], rows[1][j], rows[2][j], rows[3][j]};
      sum[g] = column * x[j] + sum[g];
    }
  }
#pragma GCC unroll 4
  for (int g = 0; g < CHAINS; ++g) std::memcpy(y + 4 * g, &sum[g], sizeof sum[g]);
}

// mat_vec in blocks of 16, 8 and 4 rows; the last count % 4 rows one by one.
LOWMODE_VECTOR_CLONES
void mat_vec_rows(int count, double* y, const double (*a)[MAX_DIM], const double* x) {
  int i = 0;
  for (; i + 16 <= count; i += 16) row_block_products<4>(count, y + i, a + i, x);
  if (i + 8 <= count) {
    row_block_products<2>(count, y + i, a + i, x);
    i += 8;
  }
  if (i + 4 <= count) {
    row_block_products<1>(count, y + i, a + i, x);
    i += 4;
  }
  for (; i < count; ++i) {
    double sum = 0.0;
    for (int j = 0; j < count; ++j) sum = a[i][j] * x[j] + sum;
    y[i] = sum;
  }
}

// The leading count x count block of src into dst, row by row. A row is a few
// hundred bytes at most: an inline vector loop beats a library call per row.
LOWMODE_VECTOR_CLONES
void copy_rows(int count, double (*dst)[MAX_DIM], const double (*src)[MAX_DIM]) {
  for (int i = 0; i < count; ++i) {
#pragma omp simd
    for (int j = 0; j < count; ++j) dst[i][j] = src[i][j];
  }
}

}  // namespace

void zero_vector(int count, Vector& v) {
  for (int i = 0; i < count; ++i) v[i] = 0.0;
}

void zero_matrix(int count, Matrix& a) {
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < count; ++j) a[i][j] = 0.0;
  }
}

void copy_matrix(int count, Matrix& dst, const Matrix& src) { copy_rows(count, dst.a, src.a); }

void mat_vec(int count, Vector& y, const Matrix& a, const Vector& x) { mat_vec_rows(count, y.v, a.a, x.v); }

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
