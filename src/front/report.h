// The report file's layout and the result lines on the console.
#pragma once

#include "common/problem.h"

namespace lowmode {

// Writes the echo of M and then of K (n x n each) into the report.
void echo_matrices(const Problem& problem);

// Writes the eigenvalue block (lambda, omega, fn) and the eigenvector block
// to the console and into the report. lambda already has the shift added
// back; the first n entries of x are the eigenvector.
void list_results(const Problem& problem, double lambda, const Vector& x);

}  // namespace lowmode
