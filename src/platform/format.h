// printf-style formatting with this program's number rules, for exactly the
// conversions it uses: %d, %ld, %Nd, %s, %W.Pg and %W.Pe (and %% for a
// percent sign).
//
// Numbers differ from C's printf in three ways:
//  - digits are cut from the value's exact decimal expansion rounded half-up
//    to 17 significant digits, then rounded half-up to the precision, so an
//    exact tie rounds away from zero (1.0625 at %10.4g is 1.063);
//  - an exponent always has a sign and three digits (1.50000e+000, 1e-005);
//  - a negative zero is written without its minus sign;
// and infinities and NaNs are written as digit strings ("1#INF"; "1#IND" for
// the NaN of an invalid operation, which is negative, quiet and carries no
// payload; "1#QNAN" for any other quiet NaN; "1#SNAN") cut to the precision
// like digits, without carry (1.#INF, -1.#IND, 1.#IO at %10.4g, 1.#INF0e+000
// at %12.5e).
// The result never depends on the process locale.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <initializer_list>

namespace lowmode {

// One argument of a format call: an integer, a double or a string.
class FormatArg {
 public:
  enum class Kind { integer, real, text };
  FormatArg(int value) : kind_(Kind::integer), integer_(value) {}
  FormatArg(long value) : kind_(Kind::integer), integer_(value) {}
  FormatArg(double value) : kind_(Kind::real), real_(value) {}
  FormatArg(const char* value) : kind_(Kind::text), text_(value) {}
  FormatArg(std::string_view value) : kind_(Kind::text), text_(value) {}
  FormatArg(const std::string& value) : kind_(Kind::text), text_(value) {}

  Kind kind() const { return kind_; }
  long integer() const { return integer_; }
  double real() const { return real_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  long integer_ = 0;
  double real_ = 0.0;
  std::string_view text_;
};

// Returns `pattern` with each conversion replaced by the next argument, right-
// aligned in the conversion's width (a longer text overruns it). A conversion
// is '%', an optional width, an optional '.' and precision (%g and %e only;
// 6 when absent), an optional 'l' (%ld only) and one of d, s, g, e or '%'.
// %d and %ld take an int or long, %s a string, %g and %e a double; any other
// pattern, a mismatched kind or a wrong argument count fails an assertion.
std::string format(std::string_view pattern, std::initializer_list<FormatArg> args = {});

// Formats like `format` and writes the result to `stream` in one write.
void print(std::FILE* stream, std::string_view pattern, std::initializer_list<FormatArg> args = {});

}  // namespace lowmode
