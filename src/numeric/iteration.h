// Inverse iteration for the lowest (or, after a shift, the nearest) mode.
#pragma once

#include "common/problem.h"

namespace lowmode {

// Number of passes; there is no convergence test and no early exit.
inline constexpr int ITERATION_COUNT = 40;

// Storage the passes work in. At full capacity it is about 240 KB, so the
// program keeps one instance in static storage.
struct IterationScratch {
  Vector x, h, row;
  Matrix A, Kc, Mc;
};

// Runs the ITERATION_COUNT passes on the pencil (K, M) from the all-ones
// start, without printing anything.
//   n        problem size
//   K, M     the (possibly shifted) stiffness and the mass matrix; only read
//   b        on return, the mass-normalised eigenvector
//   scratch  work storage, overwritten
// Returns the Rayleigh quotient of the last pass (the shift not added back).
double run_passes(int n, const Matrix& K, const Matrix& M, Vector& b, IterationScratch& scratch);

// The solve stage: prints "\n n= N \n", runs the passes on the problem, adds
// the shift back and lists the results on the console and in the report.
void iterate_lowest_mode(Problem& problem);

}  // namespace lowmode
