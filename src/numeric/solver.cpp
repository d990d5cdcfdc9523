#include "numeric/solver.h"

#include <cmath>

#include "platform/console.h"
#include "platform/format.h"

namespace lowmode {
namespace {

// Exchanges rows r and s of A (columns 0 .. n-1) through the scratch row, and
// the matching entries of b.
void exchange_rows(int n, Matrix& A, Vector& b, Vector& scratch, int r, int s) {
  for (int c = 0; c < n; ++c) scratch[c] = A[r][c];
  for (int c = 0; c < n; ++c) A[r][c] = A[s][c];
  for (int c = 0; c < n; ++c) A[s][c] = scratch[c];
  const double t = b[r];
  b[r] = b[s];
  b[s] = t;
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

    for (int k = i + 1; k < n; ++k) {
      const double f = A[k][i] / A[i][i];
      // The product is divided by the pivot (not f * b[i]), with A[k][i] as it
      // was before this row is updated.
      b[k] = b[k] - (A[k][i] * b[i]) / A[i][i];
      // Every updated entry is chopped, even when f is 0 and nothing changed.
      for (int c = i; c < n; ++c) {
        A[k][c] = A[k][c] - f * A[i][c];
        if (std::fabs(A[k][c]) < CHOP_TOLERANCE) A[k][c] = 0.0;
      }
    }
  }

  b[n - 1] = b[n - 1] / A[n - 1][n - 1];
  for (int i = n - 2; i >= 0; --i) {
    for (int c = i + 1; c < n; ++c) b[i] = b[i] - A[i][c] * b[c];
    b[i] = b[i] / A[i][i];
  }
}

}  // namespace lowmode
