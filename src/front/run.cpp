#include "front/run.h"

#include <cerrno>
#include <cstring>

#include "common/problem.h"
#include "front/dialogue.h"
#include "numeric/iteration.h"
#include "platform/console.h"
#include "platform/format.h"
#include "platform/keys.h"

namespace lowmode {
namespace {

// The run's single problem record, alive until the process ends.
Problem problem;

// Pushes the report to disk and returns 0, or the errno of the first write
// that failed.
int flush_report(std::FILE* report) {
  if (std::fflush(report) != 0) return errno ? errno : EIO;
  return std::ferror(report) ? EIO : 0;
}

}  // namespace

void run_program() {
  std::FILE* out = console_out();

  print(out, "\n lowmode, ver 1.1, February 19, 2004");
  print(out, "\n\n This program uses inverse iteration to determine the lowest ");
  print(out, "\n eigenvalue and vector of the generalized eigen problem: \n\n");
  print(out, "\n     K - lambda M = 0");
  print(out, "\n\n where K and M are symmetric matrices.");

  problem = Problem{};  // a fuzzer runs the program many times in one process
  read_problem(problem);
  if (problem.shift_choice == 2) apply_shift(problem);
  iterate_lowest_mode(problem);

  // The report is complete on disk before the key prompt, so closing the
  // terminal there loses nothing, and a failed write is not called success.
  const int error = flush_report(problem.report);
  if (error) {
    print(out, "\n\n Calculation complete, but the output file could not be written: %s (%s) \n\n Press any key to exit.\n",
          {problem.report_name, std::strerror(error)});
  } else {
    print(out, "\n\n Calculation complete. Output written to: %s \n\n Press any key to exit.\n",
          {problem.report_name});
  }
  std::fflush(out);
  const int key = wait_for_key();
  end_process(error ? 1 : key);
}

}  // namespace lowmode
