#include "numeric/solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "support/plain_order.h"

namespace lowmode {
namespace {

using namespace test;

using Rows = std::vector<std::vector<double>>;
using Values = std::vector<double>;

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double INFINITE = std::numeric_limits<double>::infinity();


// The rows as the leading block; the rest of the storage holds NaN, so a read
// outside the block would poison the solution.
Matrix matrix_of(const Rows& rows) {
  Matrix a;
  for (auto& row : a.a) {
    for (double& entry : row) entry = NOT_A_NUMBER;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = 0; j < rows[i].size(); ++j) a[i][j] = rows[i][j];
  }
  return a;
}

Vector vector_of(const Values& values) {
  Vector v;
  for (double& entry : v.v) entry = NOT_A_NUMBER;
  for (std::size_t i = 0; i < values.size(); ++i) v[i] = values[i];
  return v;
}

struct Solved {
  Matrix A;
  Vector y;
};

Solved solve(const Rows& rows, const Values& b) {
  Solved s{matrix_of(rows), vector_of(b)};
  Vector scratch;
  solve_linear_system(static_cast<int>(rows.size()), s.A, s.y, scratch);
  return s;
}

struct SolveCase {
  const char* name;
  Rows A;
  Values b;
  Values y;         // expected solution, bit for bit
  Rows eliminated;  // expected A on return, whole leading block
};

const SolveCase SOLVE_CASES[] = {
    {"no exchange: |-1| < 2, f = -0.5, b becomes (1, 1.5)",
     {{2, -1}, {-1, 2}}, {1, 1}, {1, 1}, {{2, -1}, {0, 1.5}}},
    {"exchange moves rows of A and entries of b",
     {{0, 1}, {1, 0}}, {1, 2}, {2, 1}, {{1, 0}, {0, 1}}},
    // |1| ties |-1|: the row already in place keeps the pivot. An exchange
    // would leave (-1, 1) as the first row.
    {"equal candidate does not exchange",
     {{1, 0}, {-1, 1}}, {1, 0}, {1, 1}, {{1, 0}, {0, 1}}},
    // Column 0 holds 1, 3, 5: rows 0 and 1 are exchanged, then rows 0 and 2,
    // leaving the rows that started at 2, 0, 1. Column 1 then ties (1 and 1),
    // so the order decides which row is eliminated: row 0 before row 1 ends in
    // (0, 0, 1); the other way round it would end in (0, 0, -1).
    {"immediate exchanges displace the earlier candidates",
     {{1, 1, 0}, {3, 1, 1}, {5, 0, 0}}, {1, 2, 5}, {1, 0, -1},
     {{5, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
    // b[1] -= (1 * 3) / 10 = 0.3; f * b[0] = 0.1 * 3 would give 0.30000000000000004.
    {"right-hand side update divides the product by the pivot",
     {{10, 0}, {1, 1}}, {3, 0}, {0.3, -0.3}, {{10, 0}, {0, 1}}},
    // b[0] = (1 - 3 * 1) - 1e16 * 1 = -1e16 - 2 exactly; subtracting the last
    // column first would round -1e16 - 3 to -1e16 - 4.
    {"back substitution runs over ascending columns",
     {{1, 3, 1e16}, {0, 1, 0}, {0, 0, 1}}, {1, 1, 1}, {-10000000000000002.0, 1, 1},
     {{1, 3, 1e16}, {0, 1, 0}, {0, 0, 1}}},
    // The 5e-11 entries of rows 1 and 2 are chopped in the first step (row 2's
    // factor is 0), the one in row 0 is kept.
    {"chop spares row 0",
     {{1, 5e-11, 0}, {5e-11, 1, 5e-11}, {0, 5e-11, 1}}, {1, 1, 1}, {1 - 5e-11, 1 - 5e-11, 1},
     {{1, 5e-11, 0}, {0, 1, 0}, {0, 0, 1}}},
    {"1e-10 is not under the chop tolerance",
     {{1, 0, 0}, {0, 1e-10, 0}, {0, 0, 1}}, {1, 1e-10, 1}, {1, 1, 1},
     {{1, 0, 0}, {0, 1e-10, 0}, {0, 0, 1}}},
    {"a tiny first pivot above 1e-20 is kept and never chopped",
     {{1e-15, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1e-15, 1, 1}, {1, 1, 1},
     {{1e-15, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
};

TEST(SolveLinearSystem, Cases) {
  for (const SolveCase& c : SOLVE_CASES) {
    SCOPED_TRACE(c.name);
    const Solved s = solve(c.A, c.b);
    const int n = static_cast<int>(c.A.size());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(s.y[i], c.y[i]) << "y[" << i << "]";
      for (int j = 0; j < n; ++j) EXPECT_EQ(s.A[i][j], c.eliminated[i][j]) << "A[" << i << "][" << j << "]";
    }
  }
}

TEST(SolveLinearSystem, ZeroLastPivotGivesNonFiniteValues) {
  // Elimination leaves exactly 0 in the last pivot: 0/0, then NaN spreads up.
  const Solved singular = solve({{1, 1}, {1, 1}}, {1, 1});
  EXPECT_TRUE(std::isnan(singular.y[0]));
  EXPECT_TRUE(std::isnan(singular.y[1]));

  // The last pivot 1e-12 is chopped to +0.0 in the first step: 1 / +0.0 is
  // infinite, and the zero entries above it turn it into NaN (0 * inf).
  const Solved chopped = solve({{1, 0, 0}, {0, 1, 0}, {0, 0, 1e-12}}, {1, 1, 1});
  EXPECT_EQ(chopped.A[2][2], 0.0);
  EXPECT_EQ(chopped.y[2], INFINITE);
  EXPECT_TRUE(std::isnan(chopped.y[1]));
  EXPECT_TRUE(std::isnan(chopped.y[0]));
}

// Entries that are not a number: IEEE comparisons are false either way.
TEST(SolveLinearSystem, NotANumberEntries) {
  // A NaN candidate never wins the pivot search: row 0 stays in place.
  const Solved candidate = solve({{1, 2}, {NOT_A_NUMBER, 1}}, {1, 1});
  EXPECT_EQ(candidate.A[0][0], 1.0);
  EXPECT_EQ(candidate.A[0][1], 2.0);

  // A NaN pivot is not displaced by a larger candidate (row 0 would become
  // (5, 1, 0)), and it passes the pivot test: the call returns.
  const Solved pivot = solve({{NOT_A_NUMBER, 0, 0}, {5, 1, 0}, {0, 0, 1}}, {1, 1, 1});
  EXPECT_TRUE(std::isnan(pivot.A[0][0]));
  EXPECT_EQ(pivot.A[0][1], 0.0);

  // A NaN entry is never chopped: it stays and reaches the solution. Chopped,
  // it would leave the identity and the solution (1, 1, 1).
  const Solved kept = solve({{1, 0, 0}, {0, 1, NOT_A_NUMBER}, {0, 0, 1}}, {1, 1, 1});
  EXPECT_TRUE(std::isnan(kept.A[1][2]));
  EXPECT_TRUE(std::isnan(kept.y[1]));
}

struct StopCase {
  const char* name;
  Rows A;
  const char* message;
};

const StopCase STOP_CASES[] = {
    {"second pivot eliminated to exactly 0", {{1, 1, 0}, {1, 1, 0}, {0, 0, 1}},
     "\n diagonal term  1 1 equals zero "},
    {"unchanged 5e-11 pivot chopped in the first step", {{1, 0, 0}, {0, 5e-11, 0}, {0, 0, 1}},
     "\n diagonal term  1 1 equals zero "},
    {"first pivot under 1e-20", {{1e-21, 0, 0}, {0, 1, 0}, {0, 0, 1}},
     "\n diagonal term  0 0 equals zero "},
    {"every entry of order 1e-12 chopped after the first pivot",
     {{2e-12, -1e-12, 0}, {-1e-12, 2e-12, -1e-12}, {0, -1e-12, 1e-12}},
     "\n diagonal term  1 1 equals zero "},
};

// The message goes to the console and the process ends at once with status 1.
// The expected text is the whole of what the console received.
TEST(SolveLinearSystemDeathTest, VanishingPivotStops) {
  for (const StopCase& c : STOP_CASES) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        {
          redirect_console(nullptr, stderr);
          solve(c.A, {1, 1, 1});
        },
        testing::ExitedWithCode(1), std::string("^") + c.message + "$");
  }
}

// The whole of A and b, inside the block and out, bit for bit.
TEST(SolveLinearSystem, MatchesThePlainOrderBitForBit) {
  for (const int n : PATH_SIZES) {
    for (const Entries entries : ALL_ENTRIES) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", entries " << static_cast<int>(entries));
      std::mt19937_64 rng(n * 4 + static_cast<int>(entries));
      Solved want{matrix_of({}), vector_of({})};
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) want.A[i][j] = random_entry(rng, i == j ? Entries::plain : entries);
        want.y[i] = random_entry(rng, Entries::plain);
      }
      if (entries == Entries::non_finite) want.A[n / 2][n / 3] = INFINITE;
      Solved got = want;
      Vector scratch;
      const PlainCounts counts = plain_solve(n, want.A, want.y);
      solve_linear_system(n, got.A, got.y, scratch);
      EXPECT_EQ(first_difference(&got.A[0][0], &want.A[0][0], MAX_DIM * MAX_DIM), -1);
      EXPECT_EQ(first_difference(got.y.v, want.y.v, MAX_DIM), -1);
      // The inputs reach what they are meant to reach.
      if (n >= 4) {
        EXPECT_GT(entries == Entries::tiny ? counts.chops : counts.exchanges, 0);
      }
    }
  }
}

}  // namespace
}  // namespace lowmode
