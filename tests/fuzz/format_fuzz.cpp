// Fuzzes format() with doubles of every bit pattern (NaN payloads,
// subnormals, infinities, negative zero), integers and texts.
//
// Input layout (missing bytes read as zero): byte 0 picks the conversion,
// bytes 1 and 2 a width and a precision (each 0..40), bytes 3..10 the bits of
// the double, bytes 11..18 the integer, and the rest is the text for %s.
// Conversions 0..7 are the ones the program prints with; 8..15 are %g, %e
// (with and without a precision, and with an empty one), %d, %ld and %s at
// the fuzzed width and precision.
//
// Each conversion is framed by literal characters, which must come through.
// Every field is right-aligned: blanks, then the text, never shorter than the
// width. Integers parse back to themselves. Reals have the printed layout
// (%e: one digit, the point and exactly `precision` digits; %g: at most
// `precision` significant digits, no trailing zeros, the exponent form
// exactly when the exponent is below -4 or not below the precision; an
// exponent always has a sign and three digits), the sign of the value
// (none for a zero), and parse as a whole; the printed digits are those of
// the value's exact decimal expansion (as the C library prints it) rounded
// half up to 17 digits and then to the precision; with 17 or more digits they
// give the value back exactly. Infinities and
// NaNs show the text of their class, cut to the digit count.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_check.h"
#include "platform/format.h"

namespace {

constexpr std::size_t HEADER_SIZE = 19;

// One conversion: its text and what it takes. `kind` is 'g', 'e', 'd'
// (an int), 'l' (a long) or 's'.
struct Conversion {
  std::string pattern;
  char kind;
  int width;
  int precision;
};

Conversion pick_conversion(unsigned selector, int width, int precision) {
  static const std::array<Conversion, 8> program_conversions{{
      {"%10.4g", 'g', 10, 4},
      {"%12.5g", 'g', 12, 5},
      {"%12.5e", 'e', 12, 5},
      {"%d", 'd', 0, 0},
      {"%2d", 'd', 2, 0},
      {"%10d", 'd', 10, 0},
      {"%ld", 'l', 0, 0},
      {"%s", 's', 0, 0},
  }};
  selector %= 16;
  if (selector < 8) return program_conversions[selector];
  // A zero width is left out: "%0..." would read as a flag elsewhere.
  const std::string w = width > 0 ? std::to_string(width) : "";
  const std::string p = std::to_string(precision);
  switch (selector - 8) {
    case 0: return {"%" + w + "." + p + "g", 'g', width, precision};
    case 1: return {"%" + w + "." + p + "e", 'e', width, precision};
    case 2: return {"%" + w + "g", 'g', width, 6};
    case 3: return {"%" + w + "e", 'e', width, 6};
    case 4: return {"%" + w + ".g", 'g', width, 0};
    case 5: return {"%" + w + "d", 'd', width, 0};
    case 6: return {"%" + w + "ld", 'l', width, 0};
    default: return {"%" + w + "s", 's', width, 0};
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t digit_run(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && is_digit(text[end])) ++end;
  return end - pos;
}

// Strips the right-alignment blanks off `field` and checks there are exactly
// as many as the width asks for.
std::string_view unpad(std::string_view field, int width) {
  const std::size_t pad = field.find_first_not_of(' ');
  FUZZ_CHECK(pad != std::string_view::npos);
  const std::string_view text = field.substr(pad);
  FUZZ_CHECK(pad == (static_cast<std::size_t>(width) > text.size() ? width - text.size() : 0));
  return text;
}

void check_integer(std::string_view text, long value) {
  long parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  FUZZ_CHECK(error == std::errc() && end == text.data() + text.size() && parsed == value);
  const std::string_view digits = text.substr(text[0] == '-');
  FUZZ_CHECK(digits == "0" || digits[0] != '0');
}

// The text of a non-finite value's class.
std::string_view nonfinite_name(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (std::isinf(value)) return "1#INF";
  if (bits == 0xFFF8000000000000) return "1#IND";
  return (bits & (std::uint64_t{1} << 51)) != 0 ? "1#QNAN" : "1#SNAN";
}

// `body` (the text without its sign) of an infinity or NaN: the class text
// cut to `count` characters, the last kept one raised by one when the first
// dropped one is '5' or above, padded with zeros by %e, with the point after
// the first character.
void check_nonfinite(std::string_view body, double value, bool general, std::size_t count) {
  const std::string_view name = nonfinite_name(value);
  if (!general) {
    FUZZ_CHECK(body.size() > 5 && body.substr(body.size() - 5) == "e+000");
    body.remove_suffix(5);
  }
  std::string chars(body);
  if (chars.size() > 1) {
    FUZZ_CHECK(chars[1] == '.');
    chars.erase(1, 1);
  }
  if (count >= name.size()) {
    FUZZ_CHECK(chars.substr(0, name.size()) == name);
    FUZZ_CHECK(chars.size() == (general ? name.size() : count));
    FUZZ_CHECK(chars.find_first_not_of('0', name.size()) == std::string::npos);
  } else {
    FUZZ_CHECK(chars.size() == count);
    FUZZ_CHECK(chars.substr(0, count - 1) == name.substr(0, count - 1));
    FUZZ_CHECK(chars[count - 1] == name[count - 1] + (name[count] >= '5'));
  }
}

std::string without_trailing_zeros(std::string digits) {
  digits.erase(digits.find_last_not_of('0') + 1);
  return digits;
}

// Rounds `digits` half up to `keep` digits (padding with zeros); a carry out
// of the first digit raises `exponent`.
void round_half_up(std::string& digits, int& exponent, std::size_t keep) {
  const bool up = digits.size() > keep && digits[keep] >= '5';
  digits.resize(keep, '0');
  if (!up) return;
  std::size_t i = keep;
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i > 0) {
    ++digits[i - 1];
  } else {
    digits[0] = '1';  // all nines became zeros: 10...0, one place up
    ++exponent;
  }
}

// The `count` digits a finite, nonzero magnitude is printed with, and the
// exponent of the first: the exact decimal expansion (the C library prints
// all of it, at most 767 significant digits) rounded half up to 17 digits,
// then to `count`.
std::pair<std::string, int> expected_figures(double magnitude, std::size_t count) {
  char exact[800];
  std::snprintf(exact, sizeof exact, "%.766e", magnitude);
  const char* e = std::strchr(exact, 'e');
  std::string digits = exact[0] + std::string(exact + 2, static_cast<std::size_t>(e - exact - 2));
  int exponent = std::atoi(e + 1);
  round_half_up(digits, exponent, 17);
  round_half_up(digits, exponent, count);
  return {digits, exponent};
}

void check_real(std::string_view text, double value, bool general, int precision) {
  const std::size_t count = general ? static_cast<std::size_t>(std::max(precision, 1))
                                    : static_cast<std::size_t>(precision) + 1;
  const bool negative = text[0] == '-';
  FUZZ_CHECK(negative == (std::signbit(value) && value != 0.0));
  const std::string_view body = text.substr(negative);
  if (!std::isfinite(value)) return check_nonfinite(body, value, general, count);

  // Layout: digits [ '.' digits ] [ 'e' sign three digits ].
  const std::size_t whole = digit_run(body, 0);
  FUZZ_CHECK(whole > 0);
  std::size_t pos = whole;
  std::size_t fraction = 0;
  if (pos < body.size() && body[pos] == '.') {
    fraction = digit_run(body, pos + 1);
    FUZZ_CHECK(fraction > 0);
    pos += 1 + fraction;
  }
  const std::string_view int_part = body.substr(0, whole);
  const std::string_view frac_part = body.substr(whole + (fraction > 0), fraction);
  const bool exponent_form = pos < body.size();
  int exponent = 0;  // decimal exponent of the leading printed digit
  if (exponent_form) {
    FUZZ_CHECK(body.size() == pos + 5 && body[pos] == 'e' && (body[pos + 1] == '+' || body[pos + 1] == '-') &&
               digit_run(body, pos + 2) == 3);
    std::from_chars(body.data() + pos + 2, body.data() + body.size(), exponent);
    if (body[pos + 1] == '-') exponent = -exponent;
    FUZZ_CHECK(whole == 1 && (int_part != "0" || value == 0.0));
  } else {
    FUZZ_CHECK(int_part == "0" || int_part[0] != '0');
    const std::size_t zeros = std::min(frac_part.find_first_not_of('0'), frac_part.size());
    exponent = int_part != "0" ? static_cast<int>(whole) - 1 : -static_cast<int>(zeros) - 1;
  }

  if (general) {
    FUZZ_CHECK(fraction == 0 || frac_part.back() != '0');
    if (value != 0.0) {
      const bool exponent_expected = exponent < -4 || exponent >= static_cast<int>(count);
      FUZZ_CHECK(exponent_form == exponent_expected);
      const std::size_t significant = int_part != "0" ? whole + fraction : fraction - (-exponent - 1);
      FUZZ_CHECK(significant <= count);
    } else {
      FUZZ_CHECK(body == "0");
    }
  } else {
    FUZZ_CHECK(exponent_form && fraction == count - 1);
  }

  const std::string copy(text);
  char* end = nullptr;
  const long double parsed = std::strtold(copy.c_str(), &end);
  FUZZ_CHECK(end == copy.c_str() + copy.size());
  if (value == 0.0) {
    FUZZ_CHECK(parsed == 0.0L);
    return;
  }
  // With 17 or more digits the value comes back exactly.
  if (count >= 17) FUZZ_CHECK(std::strtod(copy.c_str(), nullptr) == value);

  // The printed significant digits, without the zeros that %g drops, and
  // their exponent must be those of the exact expansion cut twice.
  std::string shown = std::string(int_part) + std::string(frac_part);
  shown.erase(0, std::min(shown.find_first_not_of('0'), shown.size()));
  const auto [digits, digits_exponent] = expected_figures(std::fabs(value), count);
  FUZZ_CHECK(exponent == digits_exponent);
  FUZZ_CHECK(without_trailing_zeros(shown) == without_trailing_zeros(digits));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, HEADER_SIZE> header{};
  std::memcpy(header.data(), data, std::min(size, HEADER_SIZE));
  const std::string_view text = size > HEADER_SIZE
                                    ? std::string_view(reinterpret_cast<const char*>(data) + HEADER_SIZE, size - HEADER_SIZE)
                                    : std::string_view();
  const Conversion conversion = pick_conversion(header[0], header[1] % 41, header[2] % 41);
  std::uint64_t real_bits;
  std::uint64_t integer_bits;
  std::memcpy(&real_bits, header.data() + 3, 8);
  std::memcpy(&integer_bits, header.data() + 11, 8);
  const double real = std::bit_cast<double>(real_bits);
  const auto long_value = static_cast<long>(integer_bits);
  const auto int_value = static_cast<int>(static_cast<std::uint32_t>(integer_bits));

  const std::string pattern = "<" + conversion.pattern + ">";
  std::string out;
  switch (conversion.kind) {
    case 'g':
    case 'e': out = lowmode::format(pattern, {real}); break;
    case 'd': out = lowmode::format(pattern, {int_value}); break;
    case 'l': out = lowmode::format(pattern, {long_value}); break;
    default: out = lowmode::format(pattern, {text}); break;
  }
  FUZZ_CHECK(out.size() >= 2 && out.front() == '<' && out.back() == '>');
  const std::string_view field = std::string_view(out).substr(1, out.size() - 2);

  switch (conversion.kind) {
    case 'g':
    case 'e': check_real(unpad(field, conversion.width), real, conversion.kind == 'g', conversion.precision); break;
    case 'd': check_integer(unpad(field, conversion.width), int_value); break;
    case 'l': check_integer(unpad(field, conversion.width), long_value); break;
    default: {
      const std::size_t pad = static_cast<std::size_t>(conversion.width) > text.size() ? conversion.width - text.size() : 0;
      FUZZ_CHECK(field.size() == pad + text.size());
      FUZZ_CHECK(field.find_first_not_of(' ') >= pad && field.substr(pad) == text);
    }
  }
  return 0;
}
