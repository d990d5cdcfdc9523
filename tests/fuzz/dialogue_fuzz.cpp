// Fuzzes the whole program: the input bytes are the answers to the dialogue,
// from the report file name to the shift, and the run goes on through the
// solve and the result listing to the final key wait.
//
// The run is kept inside the process and away from the file system:
//  - the console reads the input from memory and prints to /dev/null;
//  - the report opener never uses the fuzzed name as a path. It returns
//    /dev/null, except that a name starting with '?' gets no stream (the
//    "cannot create" path) and one starting with '!' gets /dev/full (the
//    failed-write path);
//  - ending the process throws ProgramEnded, caught here, and the run must end
//    that way (it never returns) with status 1 (illegal n, vanishing pivot,
//    no report) or -1 (the key wait's answer without a terminal);
//  - the report stream is closed after each run.
//
// The final key wait must not block, so the fuzzer must run without a
// controlling terminal. LLVMFuzzerInitialize detaches with setsid() when a
// terminal is reachable; that fails for a process-group leader (a command
// started from an interactive shell), and then it stops with a message: start
// it as `setsid -w dialogue_fuzz ...`, as the smoke tests do.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz_check.h"
#include "front/run.h"
#include "platform/console.h"
#include "platform/scan.h"

namespace {

struct ProgramEnded {
  int status;
};

std::FILE* console = nullptr;  // /dev/null, opened once
std::FILE* report = nullptr;   // what the opener handed out in this run

// The report opener: picks a sink by the name's first character only (see
// the top), remembering it so that the run's end can close it.
std::FILE* open_report(const char* name) {
  switch (name[0]) {
    case '?':
      errno = EACCES;
      return report = nullptr;
    case '!':
      return report = std::fopen("/dev/full", "w");
    default:
      return report = std::fopen("/dev/null", "w");
  }
}

// The exit handler: leaves run_program by unwinding to the caller.
[[noreturn]] void throw_end(int status) { throw ProgramEnded{status}; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (tty >= 0) {
    close(tty);
    std::fprintf(stderr, "dialogue_fuzz: a controlling terminal is reachable; detaching with setsid()\n");
    if (setsid() < 0) {
      std::fprintf(stderr,
                   "dialogue_fuzz: setsid() failed (a process-group leader cannot detach), and the key wait "
                   "would block on the terminal; run it as: setsid -w dialogue_fuzz ...\n");
      std::exit(2);
    }
  }
  console = std::fopen("/dev/null", "w");
  FUZZ_CHECK(console != nullptr);
  lowmode::set_report_opener(open_report);
  lowmode::set_exit_handler(throw_end);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lowmode::InputReader answers(std::string_view(reinterpret_cast<const char*>(data), size));
  lowmode::redirect_console(&answers, console);
  report = nullptr;
  int status = 0;
  try {
    lowmode::run_program();
  } catch (const ProgramEnded& ended) {
    status = ended.status;
  }
  lowmode::redirect_console(nullptr, nullptr);
  if (report) std::fclose(report);
  FUZZ_CHECK(status == 1 || status == -1);
  return 0;
}
