// Sizes and limits shared by the dialogue, the report and the numerical core.
#pragma once

namespace lowmode {

// Capacity of every matrix and vector: twice the largest accepted n.
inline constexpr int MAX_DIM = 100;

// The accepted problem sizes.
inline constexpr int MIN_N = 2;
inline constexpr int MAX_N = 50;

}  // namespace lowmode
