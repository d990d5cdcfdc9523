// The program's console and process end: where prompts and results go, where
// answers come from, how standard output is buffered, and how the process
// ends with an exit status.
#pragma once

#include <cstdio>

#include "platform/scan.h"

namespace lowmode {

// Sets standard output's buffering: unbuffered at a terminal, so that each
// print shows before it returns; blocks of 4096 bytes otherwise. Call once,
// before anything is printed.
void configure_console_output();

// The stream prompts and results are printed to (standard output unless
// redirected).
std::FILE* console_out();

// The reader answers come from (standard input unless redirected).
InputReader& console_in();

// Redirects the console, for tests and fuzzers. Pass nullptr to restore the
// standard streams.
void redirect_console(InputReader* in, std::FILE* out);

// Creates (or empties) the report file `name` and opens it for writing in
// text mode ("w"). Returns nullptr with errno set when it cannot. A fuzzer may
// install an opener that keeps the report away from the file system.
std::FILE* open_report_stream(const char* name);
using ReportOpener = std::FILE* (*)(const char* name);
void set_report_opener(ReportOpener opener);

// Ends the process with `status`; open streams are flushed. A test or fuzzer
// may install a handler that leaves by other means (it must not return).
[[noreturn]] void end_process(int status);
using ExitHandler = void (*)(int status);
void set_exit_handler(ExitHandler handler);

}  // namespace lowmode
