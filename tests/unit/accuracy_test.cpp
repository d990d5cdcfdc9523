// Accuracy of the inverse iteration: its eigenpairs against LAPACK's
// generalized symmetric eigensolver (dsygv) on seeded random pencils, and
// the bundled examples against their closed-form answers, digit for digit as
// the program lists them.
#include <gtest/gtest.h>

#include <lapacke.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "front/dialogue.h"
#include "numeric/iteration.h"
#include "platform/console.h"
#include "platform/format.h"

namespace lowmode {
namespace {

constexpr double EPS = DBL_EPSILON;  // 2^-52

// Uniform on [0, 1) from the top 53 bits of the engine's raw output. The
// engine's sequence is fixed by the language standard; the standard
// distributions' are not, so the pencils are the same with every library.
double uniform(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

struct Pencil {
  int n = 0;
  Matrix K{}, M{};
};

// The reference library's full spectrum of (K, M): eigenvalues ascending,
// eigenvector j in column j of z, normalised so that z' M z = I.
struct Spectrum {
  std::vector<double> w;
  Matrix z{};
};

std::unique_ptr<Spectrum> reference_spectrum(const Pencil& p) {
  auto s = std::make_unique<Spectrum>();
  auto m = std::make_unique<Matrix>(p.M);
  s->z = p.K;
  s->w.resize(p.n);
  const lapack_int info = LAPACKE_dsygv(LAPACK_ROW_MAJOR, 1, 'V', 'U', p.n, &s->z[0][0], MAX_DIM,
                                        &(*m)[0][0], MAX_DIM, s->w.data());
  EXPECT_EQ(info, 0) << "reference solver failed";
  return s;
}

// A random symmetric positive definite pencil of size n with a spectrum
// chosen in advance: with C random, M = C C' and K = C D C' have exactly the
// eigenvalues D (K x = lambda M x with C' x = e_j). C has entries uniform on
// [-1, 1] plus 1.5 sqrt(n) on the diagonal; a random block of such entries
// has a 2-norm near 1.15 sqrt(n), so C's condition number stays in single
// figures and M stays well conditioned. Both ratios below then sit near
// their ideal, where a fault stands out. D holds d1 in [1, 2) and the others
// at d1 * g * 10^(3u), with a gap g in [2, 3) drawn once per pencil, so
// lambda1 / lambda2 lands around the 0.4 the passes need and some pencils
// miss it. K and M are then scaled by k_scale and m_scale.
//
// The elimination chops entries under 1e-10 to zero and stops on pivots
// under 1e-20, both absolute thresholds. With every scale at 1e-2 or more
// the entries of K stay many orders of magnitude above them, so neither
// threshold changes a result here.
std::unique_ptr<Pencil> random_pencil(int n, std::uint64_t seed, double k_scale, double m_scale) {
  std::mt19937_64 rng(seed);
  std::vector<double> c(n * n), d(n);
  for (double& v : c) v = 2.0 * uniform(rng) - 1.0;
  for (int i = 0; i < n; ++i) c[i * n + i] += 1.5 * std::sqrt(n);
  d[0] = 1.0 + uniform(rng);
  const double gap = 2.0 + uniform(rng);
  for (int k = 1; k < n; ++k) d[k] = d[0] * gap * std::pow(10.0, 3.0 * uniform(rng));
  auto p = std::make_unique<Pencil>();
  p->n = n;
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      double kij = 0.0, mij = 0.0;
      for (int k = 0; k < n; ++k) {
        kij += c[i * n + k] * d[k] * c[j * n + k];
        mij += c[i * n + k] * c[j * n + k];
      }
      p->K[i][j] = p->K[j][i] = k_scale * kij;
      p->M[i][j] = p->M[j][i] = m_scale * mij;
    }
  }
  return p;
}

double norm1(int n, const Matrix& a) {
  double best = 0.0;
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += std::fabs(a[i][j]);
    best = std::max(best, sum);
  }
  return best;
}

// ||K x - lambda M x||_1 / (||K||_1 ||x||_1 eps), the residual ratio of the
// reference library's own generalized eigen tests, without their extra
// division by n (so it is n times stricter). The residual is accumulated in
// long double so that it measures x, not this function's own rounding.
double residual_ratio(const Pencil& p, double lambda, const Vector& x) {
  long double r = 0.0L, xn = 0.0L;
  for (int i = 0; i < p.n; ++i) {
    long double ri = 0.0L;
    for (int j = 0; j < p.n; ++j) {
      ri += static_cast<long double>(p.K[i][j]) * x[j] -
            static_cast<long double>(lambda) * p.M[i][j] * x[j];
    }
    r += std::fabs(ri);
    xn += std::fabs(x[i]);
  }
  return static_cast<double>(r / (norm1(p.n, p.K) * xn * EPS));
}

// |lambda - lambda_ref| / (|lambda_ref| eps kappa), where
// kappa = (||K||_1 + |lambda_ref| ||M||_1) ||z||_2^2 / |lambda_ref| and z is
// the reference eigenvector with z' M z = 1. A backward error of eps in K and
// M moves lambda by at most eps (||K|| + |lambda| ||M||) z'z (first-order
// perturbation of z' (K - lambda M) z), and ||.||_1 bounds ||.||_2 for a
// symmetric matrix, so eps kappa is the relative error a backward stable
// solver can be expected to reach. Returns the relative difference itself in
// `relative`.
double lambda_ratio(const Pencil& p, const Spectrum& s, int j, double lambda, double& relative) {
  const double ref = s.w[j];
  double zz = 0.0;
  for (int i = 0; i < p.n; ++i) zz += s.z[i][j] * s.z[i][j];
  const double kappa = (norm1(p.n, p.K) + std::fabs(ref) * norm1(p.n, p.M)) * zz / std::fabs(ref);
  relative = std::fabs(lambda - ref) / std::fabs(ref);
  return relative / (EPS * kappa);
}

// Thresholds for both ratios. The reference library's tests use 30 for the
// residual ratio; the same bound serves for the eigenvalue ratio.
constexpr double THRESHOLD = 30.0;

// Forty passes shrink the error of the iterate by (lambda_near / lambda_next)
// ^ 40 in the shifted spectrum; at a ratio of 0.4 that is 1.2e-16, below eps,
// so only pencils at or under this ratio are judged.
constexpr double CONVERGENT_RATIO = 0.4;

// Scalings of K and M: plain, stiff, soft, very stiff, heavy, light, very
// heavy, and the two extremes against each other.
constexpr double SCALES[][2] = {{1, 1},   {1e3, 1},  {1e-2, 1}, {1e6, 1},
                                {1, 1e3}, {1, 1e-2}, {1, 1e6},  {1e6, 1e-2}};
constexpr int SEEDS_PER_SCALE = 4;
constexpr int PENCILS = static_cast<int>(std::size(SCALES)) * SEEDS_PER_SCALE;
// Qualified pencils required per size class, so the filter cannot quietly
// skip the lot.
constexpr int MIN_QUALIFIED = PENCILS * 2 / 3;

// Worst figures over one size class.
struct Tally {
  int qualified = 0;
  double residual = 0.0, lambda = 0.0, relative = 0.0;
  void add(double residual_ratio, double lambda_ratio, double relative_difference) {
    ++qualified;
    residual = std::max(residual, residual_ratio);
    lambda = std::max(lambda, lambda_ratio);
    relative = std::max(relative, relative_difference);
  }
  void print(const char* what, int n) const {
    std::printf("n = %2d %-9s %2d of %2d pencils judged; worst residual ratio %.3g, "
                "worst |dlambda|/lambda %.3g (%.3g eps kappa)\n",
                n, what, qualified, PENCILS, residual, relative, lambda);
  }
};

// Calls `judge(pencil, spectrum, seed)` for every pencil of size class n.
using Judge = std::function<void(const Pencil&, const Spectrum&, std::uint64_t seed)>;
void for_each_pencil(int n, const Judge& judge) {
  for (int s = 0; s < static_cast<int>(std::size(SCALES)); ++s) {
    for (int k = 0; k < SEEDS_PER_SCALE; ++k) {
      const std::uint64_t seed = 1000003ULL * n + 101ULL * s + k;
      const auto pencil = random_pencil(n, seed, SCALES[s][0], SCALES[s][1]);
      SCOPED_TRACE("n = " + std::to_string(n) + ", seed " + std::to_string(seed));
      judge(*pencil, *reference_spectrum(*pencil), seed);
    }
  }
}

class RandomPencils : public testing::TestWithParam<int> {
 protected:
  std::unique_ptr<IterationScratch> scratch = std::make_unique<IterationScratch>();
  Vector x{};
};

TEST_P(RandomPencils, LowestModeMatchesReference) {
  const int n = GetParam();
  Tally tally;
  for_each_pencil(n, [&](const Pencil& p, const Spectrum& s, std::uint64_t) {
    if (s.w[0] / s.w[1] > CONVERGENT_RATIO) return;
    const double lambda = run_passes(n, p.K, p.M, x, *scratch);
    double relative = 0.0;
    const double res = residual_ratio(p, lambda, x);
    const double lam = lambda_ratio(p, s, 0, lambda, relative);
    EXPECT_LE(res, THRESHOLD) << "lambda " << lambda << ", reference " << s.w[0];
    EXPECT_LE(lam, THRESHOLD) << "lambda " << lambda << ", reference " << s.w[0];
    tally.add(res, lam, relative);
  });
  tally.print("no shift", n);
  EXPECT_GE(tally.qualified, MIN_QUALIFIED);
}

// A shift between two eigenvalues draws the passes to the one nearest it:
// sigma sits at a distance t g from the middle eigenvalue lambda_j, where g
// is the distance to its nearer neighbour and t in [0.1, 0.25] (either side),
// so the convergence ratio t / (1 - t) is at most 1/3. The small end of t
// keeps the shifted K clear of the singular matrix that sigma = lambda_j
// would make. The result is judged against the unshifted pencil.
TEST_P(RandomPencils, ShiftFindsNearestMode) {
  const int n = GetParam();
  const int j = n / 2;
  Tally tally;
  auto problem = std::make_unique<Problem>();
  for_each_pencil(n, [&](const Pencil& p, const Spectrum& s, std::uint64_t seed) {
    const double below = j > 0 ? s.w[j] - s.w[j - 1] : INFINITY;
    const double above = j + 1 < n ? s.w[j + 1] - s.w[j] : INFINITY;
    std::mt19937_64 rng(~seed);
    const double t = 0.1 + 0.15 * uniform(rng);
    const double sigma = s.w[j] + ((rng() & 1) != 0 ? t : -t) * std::min(below, above);
    double near = INFINITY, next = INFINITY;
    for (double w : s.w) {
      const double distance = std::fabs(w - sigma);
      if (distance < near) {
        next = near;
        near = distance;
      } else {
        next = std::min(next, distance);
      }
    }
    if (near / next > CONVERGENT_RATIO) return;

    problem->n = n;
    problem->K = p.K;
    problem->M = p.M;
    problem->shift = sigma;
    apply_shift(*problem);
    const double lambda = run_passes(n, problem->K, problem->M, x, *scratch) + sigma;
    double relative = 0.0;
    const double res = residual_ratio(p, lambda, x);
    const double lam = lambda_ratio(p, s, j, lambda, relative);
    EXPECT_LE(res, THRESHOLD) << "sigma " << sigma << ", lambda " << lambda << ", reference " << s.w[j];
    EXPECT_LE(lam, THRESHOLD) << "sigma " << sigma << ", lambda " << lambda << ", reference " << s.w[j];
    tally.add(res, lam, relative);
  });
  tally.print("shifted", n);
  EXPECT_GE(tally.qualified, MIN_QUALIFIED);
}

INSTANTIATE_TEST_SUITE_P(SizeClasses, RandomPencils, testing::Values(2, 3, 10, 25, 50),
                         [](const testing::TestParamInfo<int>& info) {
                           std::string name = "n";
                           name += std::to_string(info.param);
                           return name;
                         });

// The bundled examples, read through the dialogue as a user's answer file.

std::FILE* null_report(const char*) { return std::fopen("/dev/null", "w"); }

// Reads the answer file at `path` into `problem` with the console and the
// report sent to /dev/null, then restores both.
void read_example(const std::string& path, Problem& problem) {
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << "cannot read " << path;
  const std::string answers{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  InputReader reader(answers);
  std::FILE* out = std::fopen("/dev/null", "w");
  ASSERT_NE(out, nullptr);
  redirect_console(&reader, out);
  set_report_opener(null_report);
  read_problem(problem);
  set_report_opener(nullptr);
  redirect_console(nullptr, nullptr);
  std::fclose(out);
  if (problem.report) std::fclose(problem.report);
  problem.report = nullptr;
}

struct Example {
  const char* file;
  int n;
  double lambda;                      // closed-form lowest eigenvalue
  std::function<double(int)> shape;   // mode 1 at DOF i, up to scale
};

const double PI = std::atan2(0.0, -1.0);

// Five 2 kg masses between two walls on six 800 N/m springs:
// lambda_j = (4 k / m) sin^2(j pi / (2 (N + 1))), mode 1 ~ sin((i + 1) pi / (N + 1)).
Example spring_chain() {
  const double k = 800.0, m = 2.0;
  const int N = 5;
  const double s = std::sin(PI / (2.0 * (N + 1)));
  return {"spring-chain.txt", N, 4.0 * k / m * s * s,
          [=](int i) { return std::sin((i + 1) * PI / (N + 1)); }};
}

// A fixed-free steel bar in 24 two-node elements with consistent mass:
// lambda_j = (6 E / (rho Le^2)) (1 - cos theta_j) / (2 + cos theta_j),
// theta_j = (2 j - 1) pi / 48, mode 1 at node i (DOF i - 1) ~ sin(i theta_1).
Example steel_bar() {
  const double E = 210e9, rho = 7850.0, L = 2.0;
  const int elements = 24;
  const double le = L / elements, theta = PI / (2.0 * elements);
  return {"steel-bar-24.txt", elements,
          6.0 * E / (rho * le * le) * (1.0 - std::cos(theta)) / (2.0 + std::cos(theta)),
          [=](int i) { return std::sin((i + 1) * theta); }};
}

class Examples : public testing::TestWithParam<Example (*)()> {};

// The listed digits (lambda, omega and fn at %12.5g, each component at
// %12.5e) equal those of the closed form, the mode mass-normalised with the
// model's own M and positive like the all-ones start.
TEST_P(Examples, ListedDigitsMatchClosedForm) {
  const Example example = GetParam()();
  auto problem = std::make_unique<Problem>();
  read_example(std::string(LOWMODE_TEST_DATA) + "/../examples/" + example.file, *problem);
  ASSERT_EQ(problem->n, example.n);
  ASSERT_NE(problem->shift_choice, 2);

  auto scratch = std::make_unique<IterationScratch>();
  Vector x{};
  const double lambda = run_passes(problem->n, problem->K, problem->M, x, *scratch);

  const int n = example.n;
  Vector mode{};
  double mass = 0.0;
  for (int i = 0; i < n; ++i) mode[i] = example.shape(i);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) mass += mode[i] * problem->M[i][j] * mode[j];
  }
  for (int i = 0; i < n; ++i) mode[i] /= std::sqrt(mass);

  const auto listed = [](double l) {
    const double omega = std::sqrt(l);
    return format("%12.5g %12.5g %12.5g", {l, omega, omega / (2.0 * PI)});
  };
  EXPECT_EQ(listed(lambda), listed(example.lambda));
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(format("%12.5e", {x[i]}), format("%12.5e", {mode[i]})) << "component " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Bundled, Examples, testing::Values(&spring_chain, &steel_bar),
                         [](const testing::TestParamInfo<Example (*)()>& info) {
                           return info.index == 0 ? std::string("SpringChain") : std::string("SteelBar");
                         });

}  // namespace
}  // namespace lowmode
