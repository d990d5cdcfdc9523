#include "numeric/solver.h"

#include <cmath>
#include <cstring>

#include "platform/console.h"
#include "platform/format.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The generic elimination is compiled for AVX2 and for baseline x86-64; the
// loader picks the one the processor supports, once. (AVX-512 processors get
// a version of their own, below.) Every version does the same arithmetic in
// the same order, and contraction is off everywhere, so the choice changes
// the speed and never the bits. A build that already targets AVX2 or more
// needs no clones.
//
// With LOWMODE_FIXED_VECTOR_PATH defined nothing is chosen at run time: the
// build runs only the versions for the instruction set it is compiled for
// (the AVX-512 one exactly when it targets AVX-512), so that the tests can
// reach each version on one machine.
#if defined(__x86_64__) && !defined(__AVX2__) && !defined(LOWMODE_FIXED_VECTOR_PATH)
#define LOWMODE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LOWMODE_VECTOR_CLONES
#endif

// The AVX-512 elimination exists where it may be chosen at run time, and in
// a fixed build exactly when that build targets AVX-512.
#if defined(__x86_64__) && (defined(__AVX512F__) || !defined(LOWMODE_FIXED_VECTOR_PATH))
#define LOWMODE_AVX512_ELIMINATION
#endif

namespace lowmode {
namespace {

// Exchanges rows r and s of A (columns 0 .. n-1) through the scratch row, and
// the matching entries of b.
void exchange_rows(int n, Matrix& A, Vector& b, Vector& scratch, int r, int s) {
  const std::size_t bytes = n * sizeof(double);
  std::memcpy(&scratch[0], A[r], bytes);
  std::memcpy(A[r], A[s], bytes);
  std::memcpy(A[s], &scratch[0], bytes);
  const double t = b[r];
  b[r] = b[s];
  b[s] = t;
}

// Step i of the forward elimination, in two parts: first every row k below
// the pivot gets its factor and its right-hand side, then the rows lose
// their multiple of pivot row i. A row's factor and right-hand side depend
// only on its own entry in column i and on the pivot row, which the step
// does not change, so forming them all first changes no value, and the
// divisions run as vector lanes too.
[[gnu::always_inline]] inline void form_factors(int n, int i, const double (*A)[MAX_DIM], double* b,
                                                double* factor) {
  const double pivot = A[i][i];
  const double b_pivot = b[i];
#pragma omp simd
  for (int k = i + 1; k < n; ++k) {
    const double head = A[k][i];
    factor[k] = head / pivot;
    // The product is divided by the pivot (not f * b[i]), with A[k][i] as it
    // was before this row is updated.
    b[k] = b[k] - (head * b_pivot) / pivot;
  }
}

// Row update of step i: A[k][c] -= factor[k] * A[i][c] for c = i .. n-1, and
// every result under the chop tolerance in magnitude becomes +0.0, even when
// the factor is 0 and nothing changed. The columns are independent, so they
// run as vector lanes, four rows at a time so that they share each load of
// the pivot row. The chop is a compare-and-select rather than a branch: a
// NaN fails the compare and is kept.
LOWMODE_VECTOR_CLONES
void eliminate_below(int n, int i, double (*A)[MAX_DIM], double* b) {
  double factor[MAX_DIM];
  form_factors(n, i, A, b, factor);
  const double* pivot_row = A[i];
  const auto chop = [](double v) { return std::fabs(v) < CHOP_TOLERANCE ? 0.0 : v; };
  int k = i + 1;
  for (; k + 4 <= n; k += 4) {
    double* r0 = A[k];
    double* r1 = A[k + 1];
    double* r2 = A[k + 2];
    double* r3 = A[k + 3];
    const double f0 = factor[k], f1 = factor[k + 1], f2 = factor[k + 2], f3 = factor[k + 3];
#pragma omp simd
    for (int c = i; c < n; ++c) {
      const double p = pivot_row[c];
      r0[c] = chop(r0[c] - f0 * p);
      r1[c] = chop(r1[c] - f1 * p);
      r2[c] = chop(r2[c] - f2 * p);
      r3[c] = chop(r3[c] - f3 * p);
    }
  }
  for (; k < n; ++k) {
    double* row = A[k];
    const double f = factor[k];
#pragma omp simd
    for (int c = i; c < n; ++c) row[c] = chop(row[c] - f * pivot_row[c]);
  }
}

#if defined(LOWMODE_AVX512_ELIMINATION)
// The row update of ROWS rows from row first on, over the eight columns from
// c on that the mask selects, with AVX-512. Masked-off lanes are neither
// read nor written.
template <int ROWS>
[[gnu::target("avx512f"), gnu::always_inline]] inline void update_columns_avx512(
    double (*A)[MAX_DIM], int first, int c, __mmask8 lanes, __m512d pivot_entries, const __m512d* f) {
  const __m512d tolerance = _mm512_set1_pd(CHOP_TOLERANCE);
#pragma GCC unroll 8
  for (int r = 0; r < ROWS; ++r) {
    double* entries = A[first + r] + c;
    const __m512d v = _mm512_sub_pd(_mm512_maskz_loadu_pd(lanes, entries), _mm512_mul_pd(f[r], pivot_entries));
    // "Not less than" the tolerance keeps the value; it is true for NaN too.
    const __mmask8 keep = _mm512_cmp_pd_mask(_mm512_abs_pd(v), tolerance, _CMP_NLT_UQ);
    _mm512_mask_storeu_pd(entries, lanes, _mm512_maskz_mov_pd(keep, v));
  }
}

// The row update of ROWS rows from row first on: eight columns per vector,
// and the last, partial vector of the rows runs under a mask rather than in
// a scalar tail.
template <int ROWS>
[[gnu::target("avx512f"), gnu::always_inline]] inline void update_rows_avx512(
    int n, int i, double (*A)[MAX_DIM], int first, const double* factor) {
  const double* pivot_row = A[i];
  __m512d f[ROWS];
#pragma GCC unroll 8
  for (int r = 0; r < ROWS; ++r) f[r] = _mm512_set1_pd(factor[first + r]);
  int c = i;
  for (; c + 8 <= n; c += 8) update_columns_avx512<ROWS>(A, first, c, 0xFF, _mm512_loadu_pd(pivot_row + c), f);
  if (c < n) {
    const __mmask8 lanes = static_cast<__mmask8>((1u << (n - c)) - 1);
    update_columns_avx512<ROWS>(A, first, c, lanes, _mm512_maskz_loadu_pd(lanes, pivot_row + c), f);
  }
}

// eliminate_below for processors with AVX-512, four rows at a time as there.
[[gnu::target("avx512f")]] void eliminate_below_avx512(int n, int i, double (*A)[MAX_DIM], double* b) {
  double factor[MAX_DIM];
  form_factors(n, i, A, b, factor);
  int k = i + 1;
  for (; k + 4 <= n; k += 4) update_rows_avx512<4>(n, i, A, k, factor);
  for (; k < n; ++k) update_rows_avx512<1>(n, i, A, k, factor);
}
#endif

// Step i with the widest vectors the processor has; it is asked only once.
// Rows of eight columns or fewer fit in one AVX-512 vector and gain nothing
// from it, while its masked stores delay the next step's loads of the same
// rows, so the last steps (and small problems) take the generic version.
void eliminate_step(int n, int i, Matrix& A, Vector& b) {
#if defined(LOWMODE_AVX512_ELIMINATION)
#if defined(LOWMODE_FIXED_VECTOR_PATH)
  constexpr bool has_avx512 = true;
#else
  static const bool has_avx512 = __builtin_cpu_supports("avx512f");
#endif
  if (has_avx512 && n - i > 8) {
    eliminate_below_avx512(n, i, A.a, b.v);
    return;
  }
#endif
  eliminate_below(n, i, A.a, b.v);
}

}  // namespace

// The comparisons below are plain IEEE ones, and that settles how NaN entries
// (from infinite values in K) are treated: a NaN candidate is never larger
// than the best so far, so it never wins the pivot search (and a NaN on the
// diagonal is never displaced); a NaN pivot is not smaller than the pivot
// tolerance, so it passes the test; a NaN entry is not smaller than the chop
// tolerance, so it is kept.
void solve_linear_system(int n, Matrix& A, Vector& b, Vector& scratch) {
  for (int i = 0; i < n; ++i) {
    // Each larger candidate is exchanged into position i at once, so the row
    // it displaces moves to that candidate's position; ties keep the earlier row.
    double best = std::fabs(A[i][i]);
    for (int k = i + 1; k < n; ++k) {
      if (std::fabs(A[k][i]) > best) {
        best = std::fabs(A[k][i]);
        exchange_rows(n, A, b, scratch, k, i);
      }
    }

    // The last pivot is not tested: a zero there shows up as non-finite results.
    if (i < n - 1 && std::fabs(A[i][i]) < PIVOT_TOLERANCE) {
      print(console_out(), "\n diagonal term  %d %d equals zero ", {i, i});
      end_process(1);
    }

    eliminate_step(n, i, A, b);
  }

  b[n - 1] = b[n - 1] / A[n - 1][n - 1];
  for (int i = n - 2; i >= 0; --i) {
    for (int c = i + 1; c < n; ++c) b[i] = b[i] - A[i][c] * b[c];
    b[i] = b[i] / A[i][i];
  }
}

}  // namespace lowmode
