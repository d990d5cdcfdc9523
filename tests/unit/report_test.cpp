// Layout of the matrix echo and of the result lines, byte for byte.
#include "front/report.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "platform/console.h"
#include "support/capture.h"

namespace lowmode {
namespace {

using test::Capture;

Problem& two_by_two(Capture& report) {
  static Problem problem;
  problem = Problem{};
  problem.n = 2;
  problem.M[0][0] = 1.0;
  problem.M[1][1] = 1.0;
  problem.K[0][0] = 0.00001;
  problem.K[0][1] = problem.K[1][0] = -1.234e-100;
  problem.K[1][1] = 2.5e5;
  problem.report = report.stream();
  return problem;
}

TEST(EchoMatrices, WritesBothBlocksWithTheirCellWidths) {
  Capture report;
  echo_matrices(two_by_two(report));
  EXPECT_EQ(report.text(),
            "\n\n\n Mass Matrix \n\n"
            "             1          2 \n\n"
            " 1           1          0 \n"
            " 2           0          1 \n"
            "\n\n\n Stiffness Matrix \n\n"
            "             1          2 \n\n"
            " 1      1e-005 -1.234e-100 \n"
            " 2  -1.234e-100   2.5e+005 \n");
}

TEST(ListResults, ConsoleAndReportDifferOnlyInIndent) {
  Capture report, console;
  Problem& problem = two_by_two(report);
  Vector x{};
  x[0] = 0.70710678;
  x[1] = -0.70710678;
  redirect_console(nullptr, console.stream());
  list_results(problem, 2.5e5, x);
  redirect_console(nullptr, nullptr);
  EXPECT_EQ(console.text(),
            "\n\n Eigenvalue \n\n"
            "   lambda =     2.5e+005 \n"
            "    omega =          500 \n"
            "       fn =       79.577 \n"
            "\n\n Eigenvector \n\n"
            "  0 7.07107e-001 \n"
            "  1 -7.07107e-001 \n");
  EXPECT_EQ(report.text(),
            "\n\n Eigenvalue \n\n"
            "     lambda =     2.5e+005 \n"
            "      omega =          500 \n"
            "         fn =       79.577 \n"
            "\n\n Eigenvector \n\n"
            "   0 7.07107e-001 \n"
            "   1 -7.07107e-001 \n");
}

TEST(ListResults, NegativeEigenvalueListsTheInvalidOperationNaN) {
  Capture report, console;
  Problem& problem = two_by_two(report);
  Vector x{};
  x[0] = INFINITY;
  x[1] = -INFINITY;
  redirect_console(nullptr, console.stream());
  list_results(problem, -4.0, x);
  redirect_console(nullptr, nullptr);
  EXPECT_EQ(report.text(),
            "\n\n Eigenvalue \n\n"
            "     lambda =           -4 \n"
            "      omega =      -1.#IND \n"
            "         fn =      -1.#IND \n"
            "\n\n Eigenvector \n\n"
            "   0 1.#INF0e+000 \n"
            "   1 -1.#INF0e+000 \n");
}

}  // namespace
}  // namespace lowmode
