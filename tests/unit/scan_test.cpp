#include "platform/scan.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/pty.h"

namespace lowmode {
namespace {

// Runs the reads named by `ops` (s = %s, l = %ld, d = %d, f = %lf) and
// describes each, space-separated: the value read, "!" for a failed read
// that left its target alone, or "!changed" for a failed read that did not.
std::string trace(InputReader& in, std::string_view ops) {
  std::string out;
  for (char op : ops) {
    if (!out.empty()) out += ' ';
    bool ok = false;
    bool kept = false;
    std::string value;
    if (op == 's') {
      std::string token = "<old>";
      ok = in.read_token(token);
      kept = token == "<old>";
      value = token;
    } else if (op == 'l' || op == 'd') {
      std::int32_t number = 777;
      int plain = 777;
      ok = op == 'l' ? in.read_long(number) : in.read_int(plain);
      if (op == 'd') number = plain;
      kept = number == 777;
      value = std::to_string(number);
    } else {
      double real = 777.0;
      ok = in.read_double(real);
      kept = real == 777.0;
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", real);
      value = text;
    }
    out += ok ? value : kept ? "!" : "!changed";
  }
  return out;
}

std::string trace(std::string_view input, std::string_view ops) {
  InputReader in(input);
  return trace(in, ops);
}

struct ReadCase {
  const char* input;
  const char* ops;
  const char* expected;
};

void check_cases(std::initializer_list<ReadCase> cases) {
  for (const ReadCase& c : cases) {
    EXPECT_EQ(trace(c.input, c.ops), c.expected) << "input: \"" << c.input << "\", reads: " << c.ops;
  }
}

TEST(ReadSequence, ValuesAnswerReadsAcrossAndWithinLines) {
  check_cases({
      {"12 -3 4.5 name\n", "ldfs", "12 -3 4.5 name"},
      {" \t\n\v\f\r7\n\n\n8", "ll", "7 8"},
      {"ab\tcd\ref", "sss", "ab cd ef"},
      {"+5 +2.5e+1 -0", "lff", "5 25 -0"},
      {"1e3 1E-2 .5 5. 007", "fffff", "1000 0.01 0.5 5 7"},
      // An integer read stops at the decimal point, which then begins a real.
      {"3.5\n", "lf", "3 0.5"},
      {"3.5\n", "llf", "3 ! 0.5"},
      // A token takes signs, points and letters alike.
      {"-1.5e3x rest", "ss", "-1.5e3x rest"},
  });
}

TEST(ReadSequence, IntegersWrapAroundIn32Bits) {
  check_cases({
      {"4294967298 2147483647 2147483648 -2147483648 4294967295 -4294967295", "llllll",
       "2 2147483647 -2147483648 -2147483648 -1 1"},
      {"4294967298 99999999999999999999 -12345678901", "ddd", "2 1661992959 539222987"},
  });
}

TEST(ReadSequence, FailedReadKeepsTargetAndLeavesStopperPending) {
  check_cases({
      // A letter stops every numeric read; a token read then takes it.
      {"x 5", "ldfs", "! ! ! x"},
      {"x 5", "sl", "x 5"},
      // A sign that was taken is used up.
      {"-x", "ls", "! x"},
      {"--5", "ll", "! -5"},
      {"-.5", "lf", "! 0.5"},
      // A real read uses up the sign and the decimal point too.
      {"-.x", "fs", "! x"},
      {".x", "fs", "! x"},
      // An integer read leaves the point alone.
      {".5", "ls", "! .5"},
      // No inf, nan or hexadecimal forms.
      {"inf", "fs", "! inf"},
      {"nan", "fs", "! nan"},
      {"-infinity", "fs", "! infinity"},
      {"0x1p3", "fs", "0 x1p3"},
  });
}

TEST(ReadSequence, LoneSignOrPointFailsOnlyItsOwnRead) {
  check_cases({
      {"-\n7\n", "ll", "! 7"},
      {"+\n7\n", "dd", "! 7"},
      {"-\n2.5\n", "ff", "! 2.5"},
      {".\n2.5\n", "ff", "! 2.5"},
      {"-.\n2.5\n", "ff", "! 2.5"},
  });
}

TEST(ReadSequence, ExponentMarkerWithoutDigitsIsUsedUpWithItsSign) {
  check_cases({
      {"1e\n2", "ff", "1 2"},
      {"1e+x", "fs", "1 x"},
      {"1E-x", "fs", "1 x"},
      {"2.5e", "ff", "2.5 !"},
      {"1e+ 3", "ff", "1 3"},
      {"1ex", "fs", "1 x"},
      // After a mantissa that failed, the marker is not taken.
      {"-e5", "fs", "! e5"},
  });
}

TEST(ReadSequence, EndOfMemoryFailsEveryLaterRead) {
  check_cases({
      {"", "sldf", "! ! ! !"},
      {"  \n\t ", "sldf", "! ! ! !"},
      {"5", "lsl", "5 ! !"},
      {"tok", "ss", "tok !"},
      {"-", "ll", "! !"},
  });
}

// Reads one %lf from `text`; the test fails if it does not convert.
double read_real(const std::string& text) {
  InputReader in(text);
  double value = 777.0;
  EXPECT_TRUE(in.read_double(value)) << text;
  return value;
}

TEST(ReadDouble, OutOfRangeGivesInfinityOrZeroOfItsSign) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string text;
    double expected;
  };
  const Case cases[] = {
      {"1e400", inf},
      {"-1e400", -inf},
      {"1.7976931348623159e308", inf},
      {"1" + std::string(400, '0'), inf},
      {"0.000001e99999999999999999999999", inf},
      {"1e-400", 0.0},
      {"-1e-400", -0.0},
      {"2e-324", 0.0},
      {"0." + std::string(400, '0') + "1", 0.0},
      {"-1000e-99999999999999999999999", -0.0},
      {"0e99999999999999999999999", 0.0},
      {"1.7976931348623157e308", DBL_MAX},
      {"-3e-324", -std::numeric_limits<double>::denorm_min()},
      {"0.000001e310", 1e304},
  };
  for (const Case& c : cases) {
    double value = read_real(c.text);
    EXPECT_EQ(value, c.expected) << c.text.substr(0, 40);
    EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << c.text.substr(0, 40);
  }
}

TEST(ReadDouble, RoundsCorrectlyInHardCases) {
  // Just below the midpoint between the largest subnormal and DBL_MIN, and
  // just above it.
  EXPECT_EQ(read_real("2.2250738585072011e-308"), std::nextafter(DBL_MIN, 0.0));
  EXPECT_EQ(read_real("2.2250738585072012e-308"), DBL_MIN);
  // 2^53 + 1 is a tie between 2^53 and 2^53 + 2 and goes to the even one; a
  // nonzero digit a megabyte further on breaks the tie upwards.
  const double two53 = 9007199254740992.0;
  EXPECT_EQ(read_real("9007199254740993"), two53);
  EXPECT_EQ(read_real("9007199254740993." + std::string(1 << 20, '0') + "1"), two53 + 2.0);
  EXPECT_EQ(read_real("9007199254740993." + std::string(1 << 20, '0')), two53);
  // Just below the tie between 2^53 + 2 and 2^53 + 4: rounding the decimal
  // text short first would make it a tie and pick the even 2^53 + 4.
  EXPECT_EQ(read_real("9007199254740994." + std::string(1 << 20, '9')), two53 + 2.0);
  EXPECT_EQ(read_real("0.1"), 0.1);
  EXPECT_EQ(read_real(std::string(1 << 20, '0') + "1.5"), 1.5);
}

// Feeds `bytes` into a pipe from another thread while `body` reads the other
// end with a non-terminal reader. A reader that stops early makes the writer
// fail with EPIPE instead of killing the test.
template <typename Body>
void through_pipe(const std::string& bytes, Body body) {
  signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    std::string_view left = bytes;
    while (!left.empty()) {
      ssize_t put = write(ends[1], left.data(), left.size());
      if (put <= 0) break;
      left.remove_prefix(static_cast<std::size_t>(put));
    }
    close(ends[1]);
  });
  {
    InputReader in(ends[0], false);
    body(in);
  }
  close(ends[0]);
  writer.join();
}

TEST(ReadPipe, LongTokenAndManyBlankLinesThenStickyEnd) {
  // A token of several megabytes crosses many blocks and must come out whole;
  // a million blank lines are skipped to reach the next value.
  std::string token;
  for (std::size_t i = 0; token.size() < (5u << 20); ++i) token += static_cast<char>('a' + i % 26);
  std::string bytes = "  " + token + std::string(1000000, '\n') + "42\n-7";
  through_pipe(bytes, [&](InputReader& in) {
    std::string read;
    ASSERT_TRUE(in.read_token(read));
    EXPECT_EQ(read.size(), token.size());
    EXPECT_TRUE(read == token);
    EXPECT_EQ(trace(in, "lllsf"), "42 -7 ! ! !");
  });
}

TEST(ReadToken, LongMemoryTokenIsKeptWhole) {
  std::string token(3u << 20, 'q');
  token.back() = 'z';
  InputReader in(token + "\n9");
  std::string read;
  ASSERT_TRUE(in.read_token(read));
  EXPECT_TRUE(read == token);
  EXPECT_EQ(trace(in, "l"), "9");
}

void ignore_signal(int) {}

TEST(ReadPipe, InterruptedReadIsRetried) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ends[1]);
    // Without SA_RESTART, a signal makes a blocked read(2) fail with EINTR.
    struct sigaction action {};
    action.sa_handler = ignore_signal;
    sigaction(SIGUSR1, &action, nullptr);
    InputReader in(ends[0], false);
    std::int32_t value = 0;
    _exit(in.read_long(value) && value == 5 ? 0 : 1);
  }
  close(ends[0]);
  // Give the child time to block in read(2), interrupt it, then answer. A
  // child that gave up on the interruption has closed the pipe by then.
  signal(SIGPIPE, SIG_IGN);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(child, SIGUSR1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(write(ends[1], "5\n", 2), 2);
  close(ends[1]);
  int status = test::wait_child(child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A child reads three integers from its terminal, announcing each read with a
// prompt, and prints what it got between "=[" and "]".
struct TerminalCase {
  bool terminal;
  const char* expected;
};

void PrintTo(const TerminalCase& c, std::ostream* os) { *os << (c.terminal ? "terminal" : "not a terminal"); }

class ReadTerminal : public testing::TestWithParam<TerminalCase> {};

TEST_P(ReadTerminal, EndOfInputEndsOneReadOnlyAtATerminal) {
  test::Pty pty;
  const bool terminal = GetParam().terminal;
  pid_t child = pty.spawn([terminal] {
    InputReader in(STDIN_FILENO, terminal);
    std::string seen;
    for (int i = 1; i <= 3; ++i) {
      std::printf("<%d>", i);
      std::fflush(stdout);
      seen += (seen.empty() ? "" : " ") + trace(in, "l");
    }
    std::printf("=[%s]", seen.c_str());
    std::fflush(stdout);
    // Wait for the test to finish typing before the terminal goes away.
    char byte;
    while (read(STDIN_FILENO, &byte, 1) == 1 && byte != 'q') {
    }
    return 0;
  });
  pty.read_until("<1>");
  pty.type("12\n");
  pty.read_until("<2>");
  pty.type("\x04");  // Ctrl+D at the start of a line
  pty.read_until("<3>");
  pty.type("7\n");
  std::string shown = pty.read_until("]");
  pty.type("q\n");
  EXPECT_EQ(test::wait_child(child), 0);
  auto open = shown.find("=[");
  ASSERT_NE(open, std::string::npos) << shown;
  EXPECT_EQ(shown.substr(open + 2, shown.find(']', open) - open - 2), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Scan, ReadTerminal,
                         testing::Values(TerminalCase{true, "12 ! 7"}, TerminalCase{false, "12 ! !"}),
                         [](const testing::TestParamInfo<TerminalCase>& info) {
                           return info.param.terminal ? "Terminal" : "NotTerminal";
                         });

}  // namespace
}  // namespace lowmode
