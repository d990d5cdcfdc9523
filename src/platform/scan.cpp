#include "platform/scan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <system_error>

namespace lowmode {
namespace {

// Bytes asked of read(2) at a time; a terminal hands over one line at most.
constexpr std::size_t BLOCK_SIZE = 64 * 1024;

// Exponents are tracked up to this size, far beyond any double, so that an
// absurdly long exponent cannot overflow the bookkeeping.
constexpr std::int64_t EXPONENT_CAP = std::int64_t{1} << 48;

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

InputReader::InputReader(int fd, bool terminal) : fd_(fd), terminal_(terminal), buffer_(BLOCK_SIZE, '\0') {}

InputReader::InputReader(std::string_view bytes)
    : fd_(-1), terminal_(false), buffer_(bytes), end_(bytes.size()) {}

bool InputReader::fill() {
  if (at_end_ || fd_ < 0) {
    at_end_ = true;
    return false;
  }
  ssize_t got;
  do {
    got = ::read(fd_, buffer_.data(), buffer_.size());
  } while (got < 0 && errno == EINTR);
  // A read error counts as end of input.
  if (got <= 0) {
    at_end_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<std::size_t>(got);
  return true;
}

int InputReader::peek() {
  if (pos_ == end_ && !fill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

void InputReader::take() { ++pos_; }

void InputReader::start_read() {
  // At a terminal, end of input ended only the read that met it.
  if (terminal_) at_end_ = false;
  while (is_space(peek())) take();
}

bool InputReader::take_sign() {
  int c = peek();
  if (c != '+' && c != '-') return false;
  take();
  return c == '-';
}

bool InputReader::read_token(std::string& out) {
  start_read();
  if (peek() < 0) return false;
  out.clear();
  // Copy whole runs of the block; the token ends at white space or end of
  // input.
  while (peek() >= 0) {
    auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(pos_);
    auto last = buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
    auto stop = std::find_if(first, last, [](char c) { return is_space(static_cast<unsigned char>(c)); });
    out.append(first, stop);
    pos_ = static_cast<std::size_t>(stop - buffer_.begin());
    if (stop != last) break;
  }
  return true;
}

bool InputReader::read_integer(std::int32_t& out) {
  start_read();
  bool negative = take_sign();
  if (!is_digit(peek())) return false;
  // Unsigned arithmetic wraps modulo 2^32 without undefined behaviour; the
  // conversion back to signed keeps the low 32 bits.
  std::uint32_t value = 0;
  for (int c = peek(); is_digit(c); c = peek()) {
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    take();
  }
  if (negative) value = 0u - value;
  out = static_cast<std::int32_t>(value);
  return true;
}

bool InputReader::read_long(std::int32_t& out) { return read_integer(out); }

bool InputReader::read_int(int& out) {
  std::int32_t value;
  if (!read_integer(value)) return false;
  out = value;
  return true;
}

bool InputReader::read_double(double& out) {
  start_read();
  bool negative = take_sign();
  std::string text = negative ? "-" : "";
  // Decimal exponent of the leading nonzero digit before the explicit
  // exponent is applied; it tells overflow from underflow when the value is
  // out of range.
  bool nonzero = false;
  std::int64_t magnitude = 0;
  bool any_digit = false;
  for (int c = peek(); is_digit(c); c = peek()) {
    if (nonzero) {
      magnitude = std::min(magnitude + 1, EXPONENT_CAP);
    } else if (c != '0') {
      nonzero = true;
    }
    text += static_cast<char>(c);
    any_digit = true;
    take();
  }
  if (peek() == '.') {
    take();
    text += '.';
    std::int64_t place = 0;
    for (int c = peek(); is_digit(c); c = peek()) {
      place = std::min(place + 1, EXPONENT_CAP);
      if (!nonzero && c != '0') {
        nonzero = true;
        magnitude = -place;
      }
      text += static_cast<char>(c);
      any_digit = true;
      take();
    }
  }
  if (!any_digit) return false;

  int marker = peek();
  if (marker == 'e' || marker == 'E') {
    // The marker and a sign after it are used up even when no digit follows;
    // the mantissa alone is then the value.
    take();
    bool exponent_negative = take_sign();
    std::string digits;
    std::int64_t exponent = 0;
    for (int c = peek(); is_digit(c); c = peek()) {
      exponent = std::min(exponent * 10 + (c - '0'), EXPONENT_CAP);
      digits += static_cast<char>(c);
      take();
    }
    if (!digits.empty()) {
      text += exponent_negative ? "e-" : "e";
      text += digits;
      magnitude += exponent_negative ? -exponent : exponent;
    }
  }

  double value = 0.0;
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc::result_out_of_range) {
    // Out of range: an infinity when the leading digit stands at or above the
    // units place, otherwise a zero, each with the sign of the text.
    value = magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  }
  out = value;
  return true;
}

}  // namespace lowmode
