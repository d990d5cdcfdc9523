#include "platform/format.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace lowmode {
namespace {

// Significant digits of the decimal expansion that printed digits are cut from.
constexpr std::size_t KEPT_DIGITS = 17;

// Enough significant digits for the exact expansion of every double (the
// longest, of a subnormal, has 767).
constexpr int EXACT_DIGITS = 780;

// A number ready for layout: its sign, its significant characters (decimal
// digits, or the characters of a non-finite text) and the decimal exponent of
// the first one.
struct Figures {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// Keeps the first `count` digits, rounding half-up on the first dropped one; a
// carry out of the leading digit leaves "1000..." and raises the exponent.
// Fewer digits than `count` are padded with zeros.
void round_digits(Figures& figures, std::size_t count) {
  std::string& digits = figures.digits;
  const bool up = digits.size() > count && digits[count] >= '5';
  digits.resize(count, '0');
  if (!up) return;
  std::size_t i = count;
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i > 0) {
    ++digits[i - 1];
  } else {
    digits[0] = '1';
    ++figures.exponent;
  }
}

// The exact decimal digits and exponent of a finite, nonzero magnitude.
Figures exact_figures(double magnitude) {
  char buffer[EXACT_DIGITS + 16];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                     std::chars_format::scientific, EXACT_DIGITS - 1);
  assert(written.ec == std::errc());
  // The text is "d.ddd...e+XX".
  const std::string_view text(buffer, written.ptr);
  const std::size_t e = text.find('e');
  Figures figures;
  figures.digits.reserve(e);
  figures.digits += text[0];
  figures.digits.append(text.substr(2, e - 2));
  const char* exponent = text.data() + e + 1;
  if (*exponent == '+') ++exponent;
  std::from_chars(exponent, text.data() + text.size(), figures.exponent);
  return figures;
}

// The text standing for an infinity or NaN, by its bit pattern.
std::string_view nonfinite_text(double value) {
  constexpr std::uint64_t QUIET_BIT = std::uint64_t{1} << 51;
  constexpr std::uint64_t INVALID_OPERATION_NAN = 0xFFF8000000000000;
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (std::isinf(value)) return "1#INF";
  if (bits == INVALID_OPERATION_NAN) return "1#IND";
  return (bits & QUIET_BIT) != 0 ? "1#QNAN" : "1#SNAN";
}

// `value` cut to `count` significant characters. Digits round half-up first
// to 17 places and then to `count`; a non-finite text is cut by raising the
// last kept character when the first dropped one is '5' or above, without
// carry. Zero keeps no sign.
Figures figures_of(double value, std::size_t count) {
  Figures figures;
  if (!std::isfinite(value)) {
    figures.digits = nonfinite_text(value);
    const bool up = figures.digits.size() > count && figures.digits[count] >= '5';
    figures.digits.resize(count, '0');
    if (up) ++figures.digits[count - 1];
  } else if (value == 0.0) {
    figures.digits.assign(count, '0');
  } else {
    figures = exact_figures(std::fabs(value));
    round_digits(figures, KEPT_DIGITS);
    round_digits(figures, count);
  }
  figures.negative = std::signbit(value) && value != 0.0;
  return figures;
}

// Removes trailing zeros after a decimal point, and the point if nothing
// follows it.
void strip_fraction_zeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
}

// `digits` with a decimal point after the first `whole` of them.
std::string with_point(std::string_view digits, std::size_t whole) {
  std::string text(digits.substr(0, whole));
  if (digits.size() > whole) {
    text += '.';
    text.append(digits.substr(whole));
  }
  return text;
}

// %e or %g of `value` with `precision`, before padding to the width.
std::string format_real(double value, char conversion, int precision) {
  const bool general = conversion == 'g';
  const auto count = static_cast<std::size_t>(general ? std::max(precision, 1) : precision + 1);
  const Figures figures = figures_of(value, count);
  const int x = figures.exponent;
  std::string text = figures.negative ? "-" : "";
  if (general && x < static_cast<int>(count) && x >= -4) {
    text += x >= 0 ? with_point(figures.digits, x + 1)
                   : "0." + std::string(-x - 1, '0') + figures.digits;
    strip_fraction_zeros(text);
    return text;
  }
  text += with_point(figures.digits, 1);
  if (general) strip_fraction_zeros(text);
  const int magnitude = x < 0 ? -x : x;
  text += 'e';
  text += x < 0 ? '-' : '+';
  for (const int place : {100, 10, 1}) text += static_cast<char>('0' + magnitude / place % 10);
  return text;
}

// Reads an unsigned decimal number at `pos`, advancing past it; -1 if there
// is none.
int read_count(std::string_view pattern, std::size_t& pos) {
  int count = -1;
  for (; pos < pattern.size() && pattern[pos] >= '0' && pattern[pos] <= '9'; ++pos) {
    count = (count < 0 ? 0 : count * 10) + (pattern[pos] - '0');
  }
  return count;
}

}  // namespace

std::string format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  const FormatArg* next = args.begin();
  for (std::size_t pos = 0; pos < pattern.size();) {
    const std::size_t percent = pattern.find('%', pos);
    out.append(pattern.substr(pos, percent - pos));
    if (percent == std::string_view::npos) break;
    pos = percent + 1;
    const int width = read_count(pattern, pos);
    int precision = -1;
    if (pos < pattern.size() && pattern[pos] == '.') {
      ++pos;
      precision = std::max(read_count(pattern, pos), 0);
    }
    const bool long_size = pos < pattern.size() && pattern[pos] == 'l';
    if (long_size) ++pos;
    assert(pos < pattern.size() && "conversion missing after '%'");
    const char conversion = pattern[pos++];
    if (conversion == '%') {
      assert(width < 0 && precision < 0 && !long_size && "%% takes no width or precision");
      out += '%';
      continue;
    }
    assert(next != args.end() && "more conversions than arguments");
    const FormatArg& arg = *next++;
    assert((!long_size || conversion == 'd') && "'l' is only for %ld");
    assert((precision < 0 || conversion == 'g' || conversion == 'e') &&
           "precision is only for %g and %e");
    std::string text;
    switch (conversion) {
      case 'd': {
        assert(arg.kind() == FormatArg::Kind::integer && "%d needs an integer");
        char digits[24];
        text.assign(digits, std::to_chars(digits, digits + sizeof digits, arg.integer()).ptr);
        break;
      }
      case 's':
        assert(arg.kind() == FormatArg::Kind::text && "%s needs a string");
        text = arg.text();
        break;
      case 'g':
      case 'e':
        assert(arg.kind() == FormatArg::Kind::real && "%g and %e need a double");
        text = format_real(arg.real(), conversion, precision < 0 ? 6 : precision);
        break;
      default:
        assert(false && "unsupported conversion");
    }
    if (width > static_cast<int>(text.size())) out.append(width - text.size(), ' ');
    out += text;
  }
  assert(next == args.end() && "more arguments than conversions");
  return out;
}

void print(std::FILE* stream, std::string_view pattern, std::initializer_list<FormatArg> args) {
  const std::string text = format(pattern, args);
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace lowmode
