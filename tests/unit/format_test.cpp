#include "platform/format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace lowmode {
namespace {

struct RealCase {
  const char* pattern;
  double value;
  const char* expected;
};

void PrintTo(const RealCase& c, std::ostream* os) {
  char value[40];
  std::snprintf(value, sizeof value, "%.17g", c.value);
  *os << c.pattern << " of " << value;
}

class RealFormatTest : public testing::TestWithParam<RealCase> {};

TEST_P(RealFormatTest, WritesExpectedText) {
  const RealCase& c = GetParam();
  EXPECT_EQ(format(c.pattern, {c.value}), c.expected);
}

// The layouts the program's echo and listing rely on.
INSTANTIATE_TEST_SUITE_P(ProgramLayouts, RealFormatTest, testing::Values(
    RealCase{"%12.5e", 1.5, "1.50000e+000"},
    RealCase{"%10.4g", 0.00001, "    1e-005"},
    RealCase{"%10.4g", 2.5e5, "  2.5e+005"},
    RealCase{"%10.4g", 1.0, "         1"},
    RealCase{"%12.5g", 1.0, "           1"},
    RealCase{"%12.5g", 1.0 / (2.0 * std::atan2(0.0, -1.0)), "     0.15915"},
    RealCase{"%12.5e", 0.70710678, "7.07107e-001"},
    RealCase{"%12.5e", -0.70710678, "-7.07107e-001"},
    RealCase{"%10.4g", -1.234e-100, "-1.234e-100"},
    RealCase{"%12.5g", 1e10, "      1e+010"},
    RealCase{"%12.5g", 1.5e-7, "    1.5e-007"},
    RealCase{"%12.5e", 1e100, "1.00000e+100"},
    RealCase{"%10.4g", 1.0e-300, "    1e-300"}));

// Negative zero loses its sign; zero keeps the conversion's layout.
INSTANTIATE_TEST_SUITE_P(Zero, RealFormatTest, testing::Values(
    RealCase{"%10.4g", 0.0, "         0"},
    RealCase{"%10.4g", -0.0, "         0"},
    RealCase{"%12.5g", -0.0, "           0"},
    RealCase{"%12.5e", 0.0, "0.00000e+000"},
    RealCase{"%12.5e", -0.0, "0.00000e+000"}));

// Exact ties round away from zero, both at the 17-digit cut and at the
// precision cut; a value just below a tie becomes one when its 17-digit
// expansion does (1.00115 is 1.00114999999999998...).
INSTANTIATE_TEST_SUITE_P(Ties, RealFormatTest, testing::Values(
    RealCase{"%10.4g", 1.0625, "     1.063"},
    RealCase{"%10.4g", -1.0625, "    -1.063"},
    RealCase{"%12.5g", 1.03125, "      1.0313"},
    RealCase{"%12.5g", -1.03125, "     -1.0313"},
    RealCase{"%10.4g", 1000.5, "      1001"},
    RealCase{"%10.4g", -1000.5, "     -1001"},
    RealCase{"%.16e", 1.0 + 0x1p-17, "1.0000076293945313e+000"},
    RealCase{"%.16e", -1.0 - 0x1p-17, "-1.0000076293945313e+000"},
    RealCase{"%.17e", 1.0 + 0x1p-17, "1.00000762939453130e+000"},
    RealCase{"%12.5g", 1.00115, "      1.0012"},
    RealCase{"%12.5g", -1.00115, "     -1.0012"},
    RealCase{"%10.4g", 1.2345, "     1.234"},
    RealCase{"%12.5g", 0.00012345, "  0.00012345"},
    RealCase{"%.3g", 2.675, "2.67"},
    RealCase{"%.2g", 2.675, "2.7"}));

// %g picks the exponent form from the exponent after rounding: plain for
// -4 <= X < precision, on both sides of each boundary.
INSTANTIATE_TEST_SUITE_P(GeneralFormSwitch, RealFormatTest, testing::Values(
    RealCase{"%10.4g", 1e-4, "    0.0001"},
    RealCase{"%10.4g", 9.9994e-5, "9.999e-005"},
    RealCase{"%10.4g", 9.9999e-5, "    0.0001"},
    RealCase{"%12.5g", 9.9999e-5, " 9.9999e-005"},
    RealCase{"%10.4g", 9999.4, "      9999"},
    RealCase{"%10.4g", 9999.5, "    1e+004"},
    RealCase{"%12.5g", 99999.4, "       99999"},
    RealCase{"%12.5g", 99999.5, "      1e+005"},
    RealCase{"%12.5g", -99999.5, "     -1e+005"},
    RealCase{"%12.5g", 123456.0, " 1.2346e+005"},
    RealCase{"%12.5g", 9.99994, "      9.9999"},
    RealCase{"%12.5g", 9.99995, "          10"},
    RealCase{"%12.5e", 9.999995, "1.00000e+001"},
    RealCase{"%12.5e", 9.999994, "9.99999e+000"}));

// The extremes of the double range, normal and subnormal.
INSTANTIATE_TEST_SUITE_P(Extremes, RealFormatTest, testing::Values(
    RealCase{"%12.5e", DBL_MAX, "1.79769e+308"},
    RealCase{"%12.5g", -DBL_MAX, "-1.7977e+308"},
    RealCase{"%.16e", DBL_MAX, "1.7976931348623157e+308"},
    RealCase{"%12.5e", DBL_MIN, "2.22507e-308"},
    RealCase{"%12.5e", DBL_TRUE_MIN, "4.94066e-324"},
    RealCase{"%10.4g", -DBL_TRUE_MIN, "-4.941e-324"},
    RealCase{"%.16e", DBL_TRUE_MIN, "4.9406564584124654e-324"},
    RealCase{"%.16e", DBL_MIN - DBL_TRUE_MIN, "2.2250738585072009e-308"}));

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

const double INF = std::numeric_limits<double>::infinity();
const double INVALID_NAN = from_bits(0xFFF8000000000000);   // what 0/0 gives on x86-64
const double QUIET_NAN = from_bits(0x7FF8000000000000);     // positive, so not the invalid one
const double PAYLOAD_NAN = from_bits(0xFFF8000000000001);   // negative quiet with a payload
const double SIGNAL_NAN = from_bits(0x7FF0000000000001);
const double NEG_SIGNAL_NAN = from_bits(0xFFF4000000000000);

// Infinities and NaNs are digit strings cut like digits, at each conversion.
INSTANTIATE_TEST_SUITE_P(NonFinite, RealFormatTest, testing::Values(
    RealCase{"%10.4g", INF, "     1.#IO"},
    RealCase{"%12.5g", INF, "      1.#INF"},
    RealCase{"%12.5e", INF, "1.#INF0e+000"},
    RealCase{"%10.4g", -INF, "    -1.#IO"},
    RealCase{"%12.5g", -INF, "     -1.#INF"},
    RealCase{"%12.5e", -INF, "-1.#INF0e+000"},
    RealCase{"%10.4g", INVALID_NAN, "    -1.#IO"},
    RealCase{"%12.5g", INVALID_NAN, "     -1.#IND"},
    RealCase{"%12.5e", INVALID_NAN, "-1.#IND0e+000"},
    RealCase{"%10.4g", QUIET_NAN, "     1.#QO"},
    RealCase{"%12.5g", QUIET_NAN, "      1.#QNB"},
    RealCase{"%12.5e", QUIET_NAN, "1.#QNANe+000"},
    RealCase{"%10.4g", PAYLOAD_NAN, "    -1.#QO"},
    RealCase{"%12.5g", PAYLOAD_NAN, "     -1.#QNB"},
    RealCase{"%12.5e", PAYLOAD_NAN, "-1.#QNANe+000"},
    RealCase{"%10.4g", SIGNAL_NAN, "     1.#SO"},
    RealCase{"%12.5g", SIGNAL_NAN, "      1.#SNB"},
    RealCase{"%12.5e", SIGNAL_NAN, "1.#SNANe+000"},
    RealCase{"%12.5g", NEG_SIGNAL_NAN, "     -1.#SNB"},
    // Longer than the text: %g adds nothing, %e pads with '0'.
    RealCase{"%.8g", INF, "1.#INF"},
    RealCase{"%.8e", INF, "1.#INF0000e+000"},
    // Shorter: the raised character is not carried ('#' + 1 is '$').
    RealCase{"%.2g", INF, "1.$"},
    RealCase{"%.0e", INF, "1e+000"}));

#if defined(__x86_64__)
TEST(FormatTest, InvalidOperationNanIsIndefinite) {
  volatile double negative = -1.0;
  volatile double zero = 0.0;
  EXPECT_EQ(format("%12.5g", {std::sqrt(negative)}), "     -1.#IND");
  EXPECT_EQ(format("%12.5g", {zero / zero}), "     -1.#IND");
}
#endif

TEST(FormatTest, IntegersAndTexts) {
  EXPECT_EQ(format("%d", {0}), "0");
  EXPECT_EQ(format("%d", {-42}), "-42");
  EXPECT_EQ(format("%2d", {7}), " 7");
  EXPECT_EQ(format("%2d", {123}), "123");
  EXPECT_EQ(format("%10d", {-5}), "        -5");
  EXPECT_EQ(format("%ld", {LONG_MIN}), "-9223372036854775808");
  EXPECT_EQ(format("%ld", {50}), "50");
  EXPECT_EQ(format("%s", {"out.txt"}), "out.txt");
  EXPECT_EQ(format("%10s|", {std::string("ab")}), "        ab|");
}

TEST(FormatTest, MixesLiteralTextAndConversions) {
  EXPECT_EQ(format("no conversions \n"), "no conversions \n");
  EXPECT_EQ(format("100%% of %d%%", {5}), "100% of 5%");
  EXPECT_EQ(format("M %2d %2d = ", {1, 12}), "M  1 12 = ");
  EXPECT_EQ(format("  %d %12.5e \n", {0, 0.70710678}), "  0 7.07107e-001 \n");
  EXPECT_EQ(format("%2d  %10.4g %10.4g \n", {1, 2.0, -1.0}), " 1           2         -1 \n");
}

TEST(FormatTest, PrintWritesTheFormattedText) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  ASSERT_NE(stream, nullptr);
  print(stream, "   lambda = %12.5g \n", {1.0});
  print(stream, "%s", {"|"});
  std::fclose(stream);
  EXPECT_EQ(std::string(buffer, size), "   lambda =            1 \n|");
  std::free(buffer);
}

TEST(FormatTest, IgnoresTheProcessLocale) {
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8",
                           "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string general = format("%12.5g", {1.03125});
  const std::string exponent = format("%12.5e", {1.5});
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(general, "      1.0313") << found;
  EXPECT_EQ(exponent, "1.50000e+000") << found;
}

// A pattern that does not match its arguments is a programming error.
TEST(FormatDeathTest, MismatchedArgumentsAssert) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are compiled out";
#endif
  EXPECT_DEATH(format("%d", {1.5}), "integer");
  EXPECT_DEATH(format("%12.5g", {1}), "double");
  EXPECT_DEATH(format("%s", {2}), "string");
  EXPECT_DEATH(format("%d %d", {1}), "more conversions");
  EXPECT_DEATH(format("%d", {1, 2}), "more arguments");
  EXPECT_DEATH(format("%x", {1}), "unsupported");
}

}  // namespace
}  // namespace lowmode
