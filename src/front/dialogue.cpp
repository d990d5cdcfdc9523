#include "front/dialogue.h"

#include <cerrno>
#include <cstring>

#include "front/report.h"
#include "platform/console.h"
#include "platform/format.h"
#include "platform/keys.h"

namespace lowmode {
namespace {

// Ends a dialogue that cannot go on: the user reads the message, presses a
// key, and the run ends with status 1.
[[noreturn]] void stop_after_key() {
  print(console_out(), "\n Press any key to exit. \n");
  std::fflush(console_out());
  wait_for_key();
  end_process(1);
}

// Asks for the upper triangle of `a` row by row and mirrors each entry into
// the lower triangle. Every entry passes through `staging`, which keeps the
// last value that converted, so an entry whose read fails repeats it.
void read_matrix(const char* prompt, int n, Matrix& a, double& staging) {
  for (int i = 0; i < n; ++i) {
    print(console_out(), "\n");
    for (int j = i; j < n; ++j) {
      print(console_out(), prompt, {i + 1, j + 1});
      console_in().read_double(staging);
      a[i][j] = staging;
      a[j][i] = staging;
    }
  }
}

}  // namespace

void read_problem(Problem& problem) {
  std::FILE* out = console_out();
  InputReader& in = console_in();

  print(out, "\n\n Enter output filename \n");
  in.read_token(problem.report_name);
  problem.report = open_report_stream(problem.report_name.c_str());
  if (!problem.report) {
    // Nothing has been entered yet, so stopping here loses nothing.
    print(out, "\n Cannot create output file: %s (%s) \n", {problem.report_name, std::strerror(errno)});
    stop_after_key();
  }
  print(out, "\n");

  print(out, "\n\n Each input matrix has dimension n x n. \n\n Enter n \n");
  in.read_long(problem.n);
  if (problem.n < MIN_N || problem.n > MAX_N) {
    print(out, "\n\n Illegal n value. \n");
    stop_after_key();
  }

  double staging = 0.0;
  print(out, "\n\n Enter Matrix M \n");
  read_matrix("M %2d %2d = ", problem.n, problem.M, staging);
  print(out, "\n\n Enter Matrix K \n");
  read_matrix("K %2d %2d = ", problem.n, problem.K, staging);
  echo_matrices(problem);

  print(out, "\n Apply shift? \n");
  print(out, "  1=no  2=yes  \n");
  in.read_int(problem.shift_choice);
  if (problem.shift_choice == 2) {
    print(out, "\n Enter shift value \n");
    in.read_double(problem.shift);
  }
  print(out, "\n");
}

}  // namespace lowmode
