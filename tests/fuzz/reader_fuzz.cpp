// Fuzzes InputReader over arbitrary bytes.
//
// Input layout: the first byte picks a cycle of four reads (two bits each:
// %s, %ld, %d, %lf); the rest is the text read.
//
// A session repeats the cycle until eight reads in a row have failed, then
// takes the remaining tokens with %s, and finally expects every kind of read
// to fail twice. The same session runs in lockstep on a reader over memory
// and on readers over a file descriptor (plain and with the terminal rule),
// which must agree read for read. Along the way:
//  - a failed read leaves its target unchanged;
//  - after a %s read has failed (it fails only at end of input) every read
//    fails;
//  - a successful read takes at least one non-white-space byte, so there are
//    no more successes than such bytes (an endless loop shows here);
//  - a successful %s gives a non-empty token without white space.
// Each white-space-separated token of the text is also read on its own and
// compared with the C library: %lf of a token that starts with decimal text
// gives strtod's value of that text, bit for bit; %ld and %d of up to 18
// digits give strtoll's value cut to 32 bits. Each read takes what the rules
// say it takes (a failed one its sign, and for %lf its point; %lf also an
// exponent marker without digits) and leaves the rest for the next %s.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/scan.h"

namespace {

using lowmode::InputReader;

enum class Op { token, long_int, integer, real };

// Targets start at these values, so that a failed read that writes shows.
// No read produces a NaN, let alone one with this payload.
const std::string TOKEN_SENTINEL = "\x01untouched";
constexpr std::int32_t LONG_SENTINEL = -123456789;
constexpr int INT_SENTINEL = 987654321;
constexpr std::uint64_t REAL_SENTINEL = 0x7FF800000000BEEF;

// A read's result and every target's content afterwards.
struct Outcome {
  bool ok = false;
  std::string token = TOKEN_SENTINEL;
  std::int32_t long_value = LONG_SENTINEL;
  int int_value = INT_SENTINEL;
  std::uint64_t real_bits = REAL_SENTINEL;
  bool operator==(const Outcome&) const = default;
};

bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Performs `op` on `reader`; a failed read must leave its target as it was.
Outcome read(InputReader& reader, Op op) {
  Outcome outcome;
  switch (op) {
    case Op::token:
      outcome.ok = reader.read_token(outcome.token);
      break;
    case Op::long_int:
      outcome.ok = reader.read_long(outcome.long_value);
      break;
    case Op::integer:
      outcome.ok = reader.read_int(outcome.int_value);
      break;
    case Op::real: {
      double value = std::bit_cast<double>(REAL_SENTINEL);
      outcome.ok = reader.read_double(value);
      outcome.real_bits = std::bit_cast<std::uint64_t>(value);
      break;
    }
  }
  if (!outcome.ok) FUZZ_CHECK(outcome == Outcome{});
  return outcome;
}

// A file descriptor holding `bytes`, positioned at their start; no file
// system entry is made.
int memory_file(std::string_view bytes) {
  const int fd = memfd_create("reader_fuzz", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(wrote > 0);
    done += static_cast<std::size_t>(wrote);
  }
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  return fd;
}

// The white-space-separated words of `text`.
std::vector<std::string_view> split(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && is_space(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == text.size()) return tokens;
    std::size_t end = pos;
    while (end < text.size() && !is_space(static_cast<unsigned char>(text[end]))) ++end;
    tokens.push_back(text.substr(pos, end - pos));
    pos = end;
  }
}

// Performs `op` on every reader; they must agree. Returns the first outcome.
Outcome read_all(std::span<InputReader* const> readers, Op op) {
  Outcome first = read(*readers[0], op);
  for (InputReader* reader : readers.subspan(1)) FUZZ_CHECK(read(*reader, op) == first);
  return first;
}

// The session described at the top, over `text` read by `readers`.
void run_session(std::string_view text, const std::array<Op, 4>& cycle, std::span<InputReader* const> readers) {
  std::size_t solid_bytes = 0;
  for (char c : text) solid_bytes += !is_space(static_cast<unsigned char>(c));

  std::size_t successes = 0;
  bool ended = false;  // a %s read has failed: end of input
  std::vector<std::string> tokens;
  auto step = [&](Op op) {
    const Outcome outcome = read_all(readers, op);
    if (ended) FUZZ_CHECK(!outcome.ok);
    if (outcome.ok) {
      FUZZ_CHECK(++successes <= solid_bytes);
      if (op == Op::token) {
        FUZZ_CHECK(!outcome.token.empty());
        for (char c : outcome.token) FUZZ_CHECK(!is_space(static_cast<unsigned char>(c)));
        tokens.push_back(outcome.token);
      }
    } else if (op == Op::token) {
      ended = true;
    }
    return outcome.ok;
  };

  for (int failures = 0, i = 0; failures < 8; ++i) failures = step(cycle[i % 4]) ? 0 : failures + 1;
  while (step(Op::token)) {
  }
  for (Op op : {Op::token, Op::long_int, Op::integer, Op::real, Op::token, Op::long_int, Op::integer, Op::real}) {
    FUZZ_CHECK(!read_all(readers, op).ok);
  }

  // With %s alone the tokens are exactly the white-space-separated words.
  if (cycle == std::array<Op, 4>{Op::token, Op::token, Op::token, Op::token}) {
    const auto words = split(text);
    FUZZ_CHECK(tokens.size() == words.size());
    for (std::size_t i = 0; i < words.size(); ++i) FUZZ_CHECK(tokens[i] == words[i]);
  }
}

// Length of the leading [+-]?digits run of `token`, or 0 without a digit.
std::size_t integer_prefix(std::string_view token) {
  std::size_t pos = token[0] == '+' || token[0] == '-';
  const std::size_t digits_start = pos;
  while (pos < token.size() && is_digit(token[pos])) ++pos;
  return pos > digits_start ? pos : 0;
}

// What %lf takes from the start of `token`, by the reading rules: `taken`
// bytes, of which the first `value` are the number's text (an exponent marker
// without digits is taken but adds nothing). Both are 0 when there is no
// mantissa digit.
struct DecimalPrefix {
  std::size_t taken = 0;
  std::size_t value = 0;
};

DecimalPrefix decimal_prefix(std::string_view token) {
  std::size_t pos = token[0] == '+' || token[0] == '-';
  auto digits = [&] {
    const std::size_t start = pos;
    while (pos < token.size() && is_digit(token[pos])) ++pos;
    return pos - start;
  };
  std::size_t mantissa_digits = digits();
  if (pos < token.size() && token[pos] == '.') {
    ++pos;
    mantissa_digits += digits();
  }
  if (mantissa_digits == 0) return {};
  DecimalPrefix prefix{pos, pos};
  if (pos < token.size() && (token[pos] == 'e' || token[pos] == 'E')) {
    ++pos;
    if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) ++pos;
    prefix.taken = pos;
    if (digits() > 0) prefix.taken = prefix.value = pos;
  }
  return prefix;
}

// Reads `op` from a reader over `token` alone, then checks that the next %s
// gives exactly `rest` (or fails when `rest` is empty).
Outcome read_leaving(std::string_view token, Op op, std::string_view rest) {
  InputReader reader(token);
  Outcome outcome = read(reader, op);
  const Outcome next = read(reader, Op::token);
  FUZZ_CHECK(next.ok == !rest.empty());
  if (next.ok) FUZZ_CHECK(next.token == rest);
  return outcome;
}

void check_token(std::string_view token) {
  const std::size_t sign = token[0] == '+' || token[0] == '-';

  if (const DecimalPrefix prefix = decimal_prefix(token); prefix.taken > 0) {
    const std::string text(token.substr(0, prefix.value));
    const double expected = std::strtod(text.c_str(), nullptr);
    const Outcome got = read_leaving(token, Op::real, token.substr(prefix.taken));
    FUZZ_CHECK(got.ok && got.real_bits == std::bit_cast<std::uint64_t>(expected));
  } else {
    // No mantissa digit: the read fails, using up a sign and a point.
    const bool point = sign < token.size() && token[sign] == '.';
    FUZZ_CHECK(!read_leaving(token, Op::real, token.substr(sign + point)).ok);
  }

  if (const std::size_t length = integer_prefix(token)) {
    const Outcome as_long = read_leaving(token, Op::long_int, token.substr(length));
    const Outcome as_int = read_leaving(token, Op::integer, token.substr(length));
    FUZZ_CHECK(as_long.ok && as_int.ok && as_long.long_value == as_int.int_value);
    if (length - sign <= 18) {
      const std::string digits(token.substr(0, length));
      const auto expected = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtoll(digits.c_str(), nullptr, 10)));
      FUZZ_CHECK(as_long.long_value == expected);
    }
  } else {
    FUZZ_CHECK(!read_leaving(token, Op::long_int, token.substr(sign)).ok);
    FUZZ_CHECK(!read_leaving(token, Op::integer, token.substr(sign)).ok);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::array<Op, 4> cycle;
  for (int i = 0; i < 4; ++i) cycle[i] = static_cast<Op>((data[0] >> (2 * i)) & 3);
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const int plain_fd = memory_file(text);
  const int terminal_fd = memory_file(text);
  {
    InputReader from_memory(text);
    InputReader from_fd(plain_fd, false);
    InputReader from_terminal(terminal_fd, true);
    const std::array<InputReader*, 3> readers{&from_memory, &from_fd, &from_terminal};
    run_session(text, cycle, readers);
  }
  close(plain_fd);
  close(terminal_fd);

  for (std::string_view token : split(text)) check_token(token);
  return 0;
}
