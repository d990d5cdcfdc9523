// The solve stage (forty passes of inverse iteration) against LAPACK's
// dsygvx computing only the lowest eigenpair of the same pencil.
//
// Both sides start every iteration by copying K and M into their work
// storage (dsygvx destroys its inputs, run_passes only reads them), so the
// copying costs the same on both sides. Compare the fastest repetitions:
//   solve_stage_bench --benchmark_repetitions=10
#include <benchmark/benchmark.h>
#include <lapacke.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "numeric/iteration.h"

namespace {

using lowmode::Matrix;

constexpr unsigned SEED = 20240611;

// A random symmetric positive definite pencil of size n, the same for both
// sides: off-diagonal entries uniform in [-1, 1] (M's scaled by 0.1) and
// diagonals large enough to make both matrices diagonally dominant.
struct Pencil {
  int n;
  std::vector<double> K, M;  // n x n, symmetric, so row- and column-major alike

  explicit Pencil(int size) : n(size), K(size * size), M(size * size) {
    std::mt19937_64 random(SEED + size);
    std::uniform_real_distribution<double> entry(-1.0, 1.0);
    for (int i = 0; i < n; ++i) {
      for (int j = i; j < n; ++j) {
        const double k = i == j ? n + entry(random) : entry(random);
        const double m = i == j ? 1.0 + 0.5 * entry(random) : 0.1 * entry(random);
        K[i * n + j] = K[j * n + i] = k;
        M[i * n + j] = M[j * n + i] = m;
      }
    }
  }
};

// Copies the n x n block of a packed matrix into the leading block of a Matrix.
void load(int n, Matrix& dst, const std::vector<double>& src) {
  for (int i = 0; i < n; ++i) std::memcpy(dst[i], &src[i * n], n * sizeof(double));
}

void BM_run_passes(benchmark::State& state) {
  const Pencil pencil(static_cast<int>(state.range(0)));
  const int n = pencil.n;
  static Matrix K, M;
  static lowmode::IterationScratch scratch;
  static lowmode::Vector b;
  for (auto _ : state) {
    load(n, K, pencil.K);
    load(n, M, pencil.M);
    const double lambda = lowmode::run_passes(n, K, M, b, scratch);
    benchmark::DoNotOptimize(lambda);
    benchmark::DoNotOptimize(b);
  }
}

void BM_dsygvx_lowest(benchmark::State& state) {
  const Pencil pencil(static_cast<int>(state.range(0)));
  const int n = pencil.n;
  std::vector<double> a(n * n), bm(n * n), w(n), z(n);
  std::vector<lapack_int> ifail(n);
  for (auto _ : state) {
    std::copy(pencil.K.begin(), pencil.K.end(), a.begin());
    std::copy(pencil.M.begin(), pencil.M.end(), bm.begin());
    lapack_int found = 0;
    const lapack_int info = LAPACKE_dsygvx(LAPACK_COL_MAJOR, 1, 'V', 'I', 'U', n, a.data(), n, bm.data(), n,
                                           0.0, 0.0, 1, 1, 0.0, &found, w.data(), z.data(), n, ifail.data());
    if (info != 0) state.SkipWithError("dsygvx failed");
    benchmark::DoNotOptimize(w);
    benchmark::DoNotOptimize(z);
  }
}

double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

}  // namespace

BENCHMARK(BM_run_passes)->Arg(2)->Arg(10)->Arg(25)->Arg(50)->ComputeStatistics("min", fastest);
BENCHMARK(BM_dsygvx_lowest)->Arg(2)->Arg(10)->Arg(25)->Arg(50)->ComputeStatistics("min", fastest);

BENCHMARK_MAIN();
