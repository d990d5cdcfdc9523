#include "numeric/iteration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "platform/console.h"
#include "support/capture.h"
#include "support/plain_order.h"

namespace lowmode {
namespace {

using namespace test;

using Rows = std::vector<std::vector<double>>;


Matrix matrix_of(const Rows& rows) {
  Matrix a{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = 0; j < rows[i].size(); ++j) a[i][j] = rows[i][j];
  }
  return a;
}

struct Listing {
  std::string console;
  std::string report;
};

// Runs the solve stage on the problem with the console and the report captured.
Listing run(Problem& problem) {
  Capture console;
  Capture report;
  problem.report = report.stream();
  redirect_console(nullptr, console.stream());
  iterate_lowest_mode(problem);
  redirect_console(nullptr, nullptr);
  problem.report = nullptr;
  return {console.text(), report.text()};
}

Problem problem_of(const Rows& M, const Rows& K, double shift = 0.0) {
  Problem problem;
  problem.n = static_cast<int>(K.size());
  problem.M = matrix_of(M);
  problem.K = matrix_of(K);
  if (shift != 0.0) {
    problem.shift_choice = 2;
    problem.shift = shift;
    apply_shift(problem);
  }
  return problem;
}

struct ModeCase {
  const char* name;
  Rows M;
  Rows K;
  double shift;
  Listing expected;
};

const ModeCase MODE_CASES[] = {
    {"identity mass, converged in the first pass",
     {{1, 0}, {0, 1}}, {{2, -1}, {-1, 2}}, 0.0,
     {"\n n= 2 \n"
      "\n\n Eigenvalue \n\n"
      "   lambda =            1 \n"
      "    omega =            1 \n"
      "       fn =      0.15915 \n"
      "\n\n Eigenvector \n\n"
      "  0 7.07107e-001 \n"
      "  1 7.07107e-001 \n",
      "\n\n Eigenvalue \n\n"
      "     lambda =            1 \n"
      "      omega =            1 \n"
      "         fn =      0.15915 \n"
      "\n\n Eigenvector \n\n"
      "   0 7.07107e-001 \n"
      "   1 7.07107e-001 \n"}},
    {"diagonal mass: the eigenvector is mass-normalised",
     {{2, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{3, -1, 0}, {-1, 2, -1}, {0, -1, 1}}, 0.0,
     {"\n n= 3 \n"
      "\n\n Eigenvalue \n\n"
      "   lambda =      0.25536 \n"
      "    omega =      0.50533 \n"
      "       fn =     0.080425 \n"
      "\n\n Eigenvector \n\n"
      "  0 2.27204e-001 \n"
      "  1 5.65577e-001 \n"
      "  2 7.59526e-001 \n",
      "\n\n Eigenvalue \n\n"
      "     lambda =      0.25536 \n"
      "      omega =      0.50533 \n"
      "         fn =     0.080425 \n"
      "\n\n Eigenvector \n\n"
      "   0 2.27204e-001 \n"
      "   1 5.65577e-001 \n"
      "   2 7.59526e-001 \n"}},
    {"shift 2.5 finds the nearest eigenvalue and adds the shift back",
     {{2, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{3, -1, 0}, {-1, 2, -1}, {0, -1, 1}}, 2.5,
     {"\n n= 3 \n"
      "\n\n Eigenvalue \n\n"
      "   lambda =       2.8892 \n"
      "    omega =       1.6998 \n"
      "       fn =      0.27053 \n"
      "\n\n Eigenvector \n\n"
      "  0 2.90096e-001 \n"
      "  1 -8.06019e-001 \n"
      "  2 4.26639e-001 \n",
      "\n\n Eigenvalue \n\n"
      "     lambda =       2.8892 \n"
      "      omega =       1.6998 \n"
      "         fn =      0.27053 \n"
      "\n\n Eigenvector \n\n"
      "   0 2.90096e-001 \n"
      "   1 -8.06019e-001 \n"
      "   2 4.26639e-001 \n"}},
    // Not converged: after p passes the iterate is proportional to
    // (1, 1.01^-p), so its digits pin the pass count (41 passes would give
    // 8.32e-001 for the first component).
    {"close eigenvalues: forty passes do not converge",
     {{1, 0}, {0, 1}}, {{1, 0}, {0, 1.01}}, 0.0,
     {"\n n= 2 \n"
      "\n\n Eigenvalue \n\n"
      "   lambda =       1.0031 \n"
      "    omega =       1.0016 \n"
      "       fn =       0.1594 \n"
      "\n\n Eigenvector \n\n"
      "  0 8.30135e-001 \n"
      "  1 5.57563e-001 \n",
      "\n\n Eigenvalue \n\n"
      "     lambda =       1.0031 \n"
      "      omega =       1.0016 \n"
      "         fn =       0.1594 \n"
      "\n\n Eigenvector \n\n"
      "   0 8.30135e-001 \n"
      "   1 5.57563e-001 \n"}},
    // The all-ones start is the eigenvector of the higher eigenvalue 3; only
    // rounding noise, grown over the passes, lets the lowest mode take over
    // around pass 34. Every digit depends on the exact operation order and on
    // the pass count.
    {"start on the higher mode: rounding noise takes over",
     {{1, 0}, {0, 1}}, {{2, 1}, {1, 2}}, 0.0,
     {"\n n= 2 \n"
      "\n\n Eigenvalue \n\n"
      "   lambda =            1 \n"
      "    omega =            1 \n"
      "       fn =      0.15916 \n"
      "\n\n Eigenvector \n\n"
      "  0 7.09326e-001 \n"
      "  1 -7.04881e-001 \n",
      "\n\n Eigenvalue \n\n"
      "     lambda =            1 \n"
      "      omega =            1 \n"
      "         fn =      0.15916 \n"
      "\n\n Eigenvector \n\n"
      "   0 7.09326e-001 \n"
      "   1 -7.04881e-001 \n"}},
};

TEST(IterateLowestMode, Listings) {
  for (const ModeCase& c : MODE_CASES) {
    SCOPED_TRACE(c.name);
    Problem problem = problem_of(c.M, c.K, c.shift);
    const Listing listing = run(problem);
    EXPECT_EQ(listing.console, c.expected.console);
    EXPECT_EQ(listing.report, c.expected.report);
  }
}

// The passes only read K and M: the whole storage is unchanged, and a second
// run lists the same texts (the scratch storage carries nothing over).
TEST(IterateLowestMode, LeavesTheProblemUnchanged) {
  Problem problem = problem_of({{2, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{3, -1, 0}, {-1, 2, -1}, {0, -1, 1}});
  const Matrix K = problem.K;
  const Matrix M = problem.M;
  const Listing first = run(problem);
  EXPECT_EQ(std::memcmp(&problem.K, &K, sizeof K), 0);
  EXPECT_EQ(std::memcmp(&problem.M, &M, sizeof M), 0);
  EXPECT_EQ(problem.shift, 0.0);
  const Listing second = run(problem);
  EXPECT_EQ(second.console, first.console);
  EXPECT_EQ(second.report, first.report);
}

// run_passes alone: the Rayleigh quotient without the shift, and an
// eigenvector normalised against M (y' M y = 1 with M = diag(4, 4): entries
// of 1/(2 sqrt 2), not 1/sqrt 2).
TEST(RunPasses, ReturnsTheQuotientAndTheMassNormalisedIterate) {
  const Matrix K = matrix_of({{8, -4}, {-4, 8}});
  const Matrix M = matrix_of({{4, 0}, {0, 4}});
  static IterationScratch scratch;
  Vector b{};
  const double lambda = run_passes(2, K, M, b, scratch);
  EXPECT_DOUBLE_EQ(lambda, 1.0);
  EXPECT_DOUBLE_EQ(b[0], 0.35355339059327373);
  EXPECT_DOUBLE_EQ(b[1], 0.35355339059327373);
}

// A vanishing pivot stops the run in the first pass: the console shows the
// size line and the message, and nothing reaches the report.
TEST(IterateLowestModeDeathTest, VanishingPivotStopsBeforeAnyResult) {
  char path[] = "/tmp/lowmode_iteration_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EXIT(
      {
        Problem problem = problem_of({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1, 1, 0}, {1, 1, 0}, {0, 0, 1}});
        problem.report = std::fopen(path, "w");
        std::fputs("echo", problem.report);
        redirect_console(nullptr, stderr);
        iterate_lowest_mode(problem);
      },
      testing::ExitedWithCode(1), "^\n n= 3 \n\n diagonal term  1 1 equals zero $");
  std::FILE* report = std::fopen(path, "r");
  ASSERT_NE(report, nullptr);
  char text[16] = {};
  const std::size_t size = std::fread(text, 1, sizeof text - 1, report);
  std::fclose(report);
  std::remove(path);
  EXPECT_EQ(std::string(text, size), "echo");
}

// A seeded symmetric matrix: off the diagonal, entries of both signs under 1
// in magnitude, or with tiny, a third of them zero and a third about 1e-12
// (chopped by the elimination); on the diagonal, n plus such an entry, so the
// matrix is positive definite and the passes stay finite.
Matrix random_symmetric(int n, bool tiny, std::mt19937_64& rng) {
  Matrix a{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) {
      const std::uint64_t bits = rng();
      const double unit = (bits & 16) != 0 ? -1.0 - (bits >> 12) * 0x1p-52 : 1.0 + (bits >> 12) * 0x1p-52;
      double entry = std::ldexp(unit, -1 - static_cast<int>(bits & 7));
      if (tiny && i != j && bits % 3 != 0) entry = bits % 3 == 1 ? 0.0 : std::ldexp(unit, -40);
      a[i][j] = a[j][i] = i == j ? n + entry : entry;
    }
  }
  return a;
}

// The quotient and the whole of b, bit for bit, for plain K, K with chopped
// entries and K with an infinity.
TEST(RunPasses, MatchesThePlainOrderBitForBit) {
  static IterationScratch scratch;
  for (const int n : PATH_SIZES) {
    for (const int kind : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", kind " << kind);
      std::mt19937_64 rng(n * 4 + kind);
      const Matrix M = random_symmetric(n, false, rng);
      Matrix K = random_symmetric(n, kind == 1, rng);
      if (kind == 2) K[n / 2][n / 3] = std::numeric_limits<double>::infinity();
      Vector want;
      for (double& entry : want.v) entry = -12345.5;
      Vector got = want;
      const double want_lambda = plain_passes(n, K, M, want);
      const double got_lambda = run_passes(n, K, M, got, scratch);
      EXPECT_EQ(std::memcmp(&got_lambda, &want_lambda, sizeof(double)), 0) << got_lambda << " " << want_lambda;
      EXPECT_EQ(std::memcmp(&got, &want, sizeof(Vector)), 0);
      EXPECT_EQ(std::isfinite(want_lambda), kind != 2);
    }
  }
}

}  // namespace
}  // namespace lowmode
