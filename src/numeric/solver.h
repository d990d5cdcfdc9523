// Gaussian elimination with immediate row exchanges, chopping of tiny
// entries and back substitution.
#pragma once

#include "numeric/dense.h"

namespace lowmode {

// A pivot smaller than this in magnitude stops the run (except in the last
// column). Entries updated by elimination that fall under CHOP_TOLERANCE in
// magnitude are replaced by +0.0. Both are absolute.
inline constexpr double PIVOT_TOLERANCE = 1e-20;
inline constexpr double CHOP_TOLERANCE = 1e-10;

// Solves A y = b in place for the leading n x n block.
//   n        problem size, 2 <= n <= MAX_N
//   A        destroyed; on return its upper triangle holds the eliminated matrix
//   b        right-hand side on entry, solution y on return
//   scratch  row buffer for the exchanges
// A vanishing pivot prints "\n diagonal term  i i equals zero " and ends the
// process with status 1 from inside the call.
void solve_linear_system(int n, Matrix& A, Vector& b, Vector& scratch);

}  // namespace lowmode
