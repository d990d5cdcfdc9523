// The console dialogue that fills the problem.
#pragma once

#include "common/problem.h"

namespace lowmode {

// Asks for the report file name, n, the upper triangles of M and K and the
// shift, opens the report and echoes both matrices into it. An illegal n or a
// report that cannot be created ends the process with status 1 after a key.
void read_problem(Problem& problem);

}  // namespace lowmode
