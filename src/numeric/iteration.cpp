#include "numeric/iteration.h"

#include <cmath>

#include "front/report.h"
#include "numeric/solver.h"
#include "platform/console.h"
#include "platform/format.h"

namespace lowmode {

double run_passes(int n, const Matrix& K, const Matrix& M, Vector& b, IterationScratch& scratch) {
  Vector& x = scratch.x;
  Vector& h = scratch.h;
  for (int i = 0; i < MAX_DIM; ++i) x[i] = 1.0;
  zero_vector(MAX_DIM, h);
  zero_vector(MAX_DIM, scratch.row);
  zero_matrix(MAX_DIM, scratch.Kc);

  double lambda = 0.0;
  for (int pass = 0; pass < ITERATION_COUNT; ++pass) {
    // The solver destroys A, so every pass starts from fresh copies.
    copy_matrix(n, scratch.A, K);
    copy_matrix(n, scratch.Kc, K);
    copy_matrix(n, scratch.Mc, M);

    // b = y, the solution of K y = M x.
    mat_vec(n, b, scratch.Mc, x);
    solve_linear_system(n, scratch.A, b, scratch.row);

    // Mass-normalise: s = sqrt(y' M y), b = x = y / s.
    double s = 0.0;
    mat_vec(n, h, scratch.Mc, b);
    dot_product(n, s, h, b);
    s = std::sqrt(s);
    for (int i = 0; i < n; ++i) {
      b[i] = b[i] / s;
      x[i] = b[i];
    }

    // Rayleigh quotient (b' K b) / (b' M b), recomputed from scratch.
    double d = 0.0;
    mat_vec(n, h, scratch.Kc, b);
    dot_product(n, lambda, h, b);
    mat_vec(n, h, scratch.Mc, b);
    dot_product(n, d, h, b);
    lambda = lambda / d;
  }
  return lambda;
}

void iterate_lowest_mode(Problem& problem) {
  // About 240 KB: too large for the stack, so it lives in static storage.
  static IterationScratch scratch;
  static Vector b;
  print(console_out(), "\n n= %ld \n", {static_cast<long>(problem.n)});
  const double lambda = run_passes(problem.n, problem.K, problem.M, b, scratch) + problem.shift;
  list_results(problem, lambda, b);
}

}  // namespace lowmode
