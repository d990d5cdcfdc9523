// The run's state: everything the dialogue collects and every later stage reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "numeric/dense.h"

namespace lowmode {

struct Problem {
  std::int32_t n = 0;         // problem size, 0 until read
  Matrix M{};                 // mass matrix, all zero until entered
  Matrix K{};                 // stiffness matrix; shifted in place when asked
  int shift_choice = 0;       // only 2 asks for a shift
  double shift = 0.0;         // sigma, 0.0 unless entered
  std::FILE* report = nullptr;  // the report stream, open from the dialogue on
  std::string report_name;    // the report file name exactly as typed
};

}  // namespace lowmode
