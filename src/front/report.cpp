#include "front/report.h"

#include <cmath>

#include "platform/console.h"
#include "platform/format.h"

namespace lowmode {
namespace {

void echo_matrix(std::FILE* report, const char* title, int n, const Matrix& a) {
  print(report, title);
  for (int c = 1; c <= n; ++c) print(report, "%10d ", {c});
  print(report, "\n\n");
  for (int r = 1; r <= n; ++r) {
    print(report, "%2d  ", {r});
    for (int c = 1; c <= n; ++c) print(report, "%10.4g ", {a[r - 1][c - 1]});
    print(report, "\n");
  }
}

}  // namespace

void echo_matrices(const Problem& problem) {
  echo_matrix(problem.report, "\n\n\n Mass Matrix \n\n    ", problem.n, problem.M);
  echo_matrix(problem.report, "\n\n\n Stiffness Matrix \n\n    ", problem.n, problem.K);
}

void list_results(const Problem& problem, double lambda, const Vector& x) {
  const double two_pi = 2.0 * std::atan2(0.0, -1.0);
  const double omega = std::sqrt(lambda);
  const double fn = omega / two_pi;
  std::FILE* console = console_out();
  std::FILE* report = problem.report;

  // The two layouts differ only in their indents, which line up the equals
  // signs within each block.
  print(console, "\n\n Eigenvalue \n\n");
  print(report, "\n\n Eigenvalue \n\n");
  print(console, "   lambda = %12.5g \n", {lambda});
  print(console, "    omega = %12.5g \n", {omega});
  print(console, "       fn = %12.5g \n", {fn});
  print(report, "     lambda = %12.5g \n", {lambda});
  print(report, "      omega = %12.5g \n", {omega});
  print(report, "         fn = %12.5g \n", {fn});

  print(console, "\n\n Eigenvector \n\n");
  print(report, "\n\n Eigenvector \n\n");
  for (int i = 0; i < problem.n; ++i) {
    print(console, "  %d %12.5e \n", {i, x[i]});
    print(report, "   %d %12.5e \n", {i, x[i]});
  }
}

}  // namespace lowmode
