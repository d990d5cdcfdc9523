// The program's run from banner to final key press.
#pragma once

namespace lowmode {

// Banner, dialogue, optional shift, solve, completion message, key wait; ends
// the process with the key's value as the exit status.
[[noreturn]] void run_program();

}  // namespace lowmode
