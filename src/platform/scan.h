// Token reading with scanf's conversions %s, %ld, %d and %lf and their
// failure rules.
//
// Each read skips leading white space (space, \t, \n, \v, \f, \r; line ends
// included) and stops at the first character that does not fit, which stays
// pending for the next read. So several values on one line answer several
// reads, and "3.5" read as an integer gives 3 and leaves ".5" pending.
//
// A numeric read that finds no digit fails and leaves its target unchanged;
// a sign it took, and for a real a decimal point, is used up. So a letter
// makes every later numeric read fail at once, while a lone sign before a
// line end fails only its own read.
//
// End of input from a file, pipe or memory makes every later read fail at
// once. From a terminal it ends only the read that meets it; the next read
// waits for new typing.
//
// Reading a file descriptor holds one fixed block of input plus the token
// being read: consumed input is dropped as the reader moves on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lowmode {

class InputReader {
 public:
  // Reads from file descriptor `fd` (not owned, never closed) with read(2);
  // `terminal` selects the terminal rule for end of input.
  InputReader(int fd, bool terminal);
  // Reads from a copy of `bytes`, then meets end of input (tests and
  // fuzzing).
  explicit InputReader(std::string_view bytes);

  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  // %s: one white-space-free token of any length into `out`. Fails, leaving
  // `out` unchanged, when end of input comes before any character.
  bool read_token(std::string& out);
  // %ld and %d: an optional sign and decimal digits, accumulated in 32-bit
  // arithmetic that wraps without notice (4294967298 reads as 2), into `out`.
  bool read_long(std::int32_t& out);
  bool read_int(int& out);
  // %lf: plain decimal text (optional sign, digits with an optional decimal
  // point, optional exponent; no inf, nan or hexadecimal forms), correctly
  // rounded, into `out`. Beyond the double range it reads as an infinity of
  // its sign, below the smallest subnormal as a zero of its sign. An exponent
  // marker without digits ("1e", "1e+") is used up with its sign and the
  // mantissa alone is the value.
  bool read_double(double& out);

 private:
  int peek();          // next byte, or -1 at end of input, without taking it
  void take();         // drops the byte peek() returned
  bool fill();         // reads the next block; false at end of input
  void start_read();   // re-arms a terminal after its end, skips white space
  bool take_sign();    // takes an optional sign; true for a minus
  bool read_integer(std::int32_t& out);

  int fd_;             // -1 when reading from memory
  bool terminal_;
  bool at_end_ = false;
  std::string buffer_;  // the block being read (all of it for memory)
  std::size_t pos_ = 0;  // next unread byte in buffer_
  std::size_t end_ = 0;  // end of the valid bytes in buffer_
};

}  // namespace lowmode
