#include "platform/console.h"

#include <unistd.h>

#include <cstdlib>

namespace lowmode {
namespace {

InputReader* redirected_in = nullptr;
std::FILE* redirected_out = nullptr;
ExitHandler exit_handler = nullptr;
ReportOpener report_opener = nullptr;

}  // namespace

void configure_console_output() {
  if (isatty(STDOUT_FILENO)) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  }
}

std::FILE* console_out() { return redirected_out ? redirected_out : stdout; }

InputReader& console_in() {
  if (redirected_in) return *redirected_in;
  static InputReader standard_input(STDIN_FILENO, isatty(STDIN_FILENO) != 0);
  return standard_input;
}

void redirect_console(InputReader* in, std::FILE* out) {
  redirected_in = in;
  redirected_out = out;
}

std::FILE* open_report_stream(const char* name) {
  return report_opener ? report_opener(name) : std::fopen(name, "w");
}

void set_report_opener(ReportOpener opener) { report_opener = opener; }

void end_process(int status) {
  if (exit_handler) exit_handler(status);
  std::exit(status);
}

void set_exit_handler(ExitHandler handler) { exit_handler = handler; }

}  // namespace lowmode
