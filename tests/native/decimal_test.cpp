// The decimal core on its own: scale rules, parsing limits, rounding at the
// 96-bit boundary, quantization and exact sums.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/decimal.h"
#include "core/exact_sum.h"
#include "core/wide.h"

namespace corbyl {
namespace {

Decimal D(const char* text) {
  Decimal::Parsed p = Decimal::parse(text);
  EXPECT_TRUE(p.ok()) << text << ": " << parse_message(p.error);
  return p.value;
}

std::string S(const Decimal& d) { return d.to_string(); }

std::string abort_message(void (*f)()) {
  try {
    f();
  } catch (const ArithmeticAbort& e) {
    return e.message();
  }
  return "no abort";
}

struct BinaryCase {
  const char* a;
  char op;
  const char* b;
  const char* expected;
};

class Arithmetic : public ::testing::TestWithParam<BinaryCase> {};

TEST_P(Arithmetic, GivesTheScaleAndDigitsOfTheRules) {
  const auto& c = GetParam();
  Decimal a = D(c.a), b = D(c.b), r;
  switch (c.op) {
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    case '*': r = a * b; break;
    case '/': r = a / b; break;
  }
  EXPECT_EQ(S(r), c.expected) << c.a << ' ' << c.op << ' ' << c.b;
  if (c.op == '+') {
    a += b;
    EXPECT_EQ(S(a), c.expected);
  } else if (c.op == '-') {
    a -= b;
    EXPECT_EQ(S(a), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Arithmetic,
    ::testing::Values(
        BinaryCase{"0.1", '+', "0.2", "0.3"}, BinaryCase{"1.50", '-', "0.50", "1.00"},
        BinaryCase{"0.00", '+', "5", "5"}, BinaryCase{"0.00", '+', "5.1", "5.1"},
        BinaryCase{"5", '+', "0.00", "5"}, BinaryCase{"0.00", '+', "0", "0"},
        BinaryCase{"0", '-', "2.5", "-2.5"}, BinaryCase{"0.10", '+', "5", "5.10"},
        BinaryCase{"1.50", '-', "1.50", "0.00"}, BinaryCase{"-1.50", '+', "1.50", "0.00"},
        BinaryCase{"0.00", '*', "5", "0"}, BinaryCase{"2.50", '*', "2", "5.00"},
        BinaryCase{"3.33", '*', "3", "9.99"}, BinaryCase{"0.10", '*', "0.10", "0.0100"},
        BinaryCase{"-0.5", '*', "0.5", "-0.25"}, BinaryCase{"0.00", '/', "5", "0"},
        BinaryCase{"10.00", '/', "4", "2.50"}, BinaryCase{"10.0", '/', "4", "2.5"},
        BinaryCase{"9", '/', "3", "3"}, BinaryCase{"100", '/', "0.5", "200"},
        BinaryCase{"10", '/', "4", "2.5"}, BinaryCase{"1.00", '/', "8", "0.125"},
        BinaryCase{"1", '/', "3", "0.3333333333333333333333333333"},
        BinaryCase{"2", '/', "3", "0.6666666666666666666666666667"},
        BinaryCase{"-1", '/', "3", "-0.3333333333333333333333333333"},
        BinaryCase{"5", '/', "0.002", "2500"}));

INSTANTIATE_TEST_SUITE_P(
    RoundingAt96Bits, Arithmetic,
    ::testing::Values(
        // the sum needs 97 bits at scale 1: one digit is dropped, half to even
        BinaryCase{"79228162514264337593543950334", '+', "0.5", "79228162514264337593543950334"},
        BinaryCase{"79228162514264337593543950333", '+', "0.5", "79228162514264337593543950334"},
        BinaryCase{"7922816251426433759354395033.4", '+', "0.05", "7922816251426433759354395033.4"},
        // rounding would carry to 2^96 at scale 1: scale 0 instead
        BinaryCase{"7922816251426433759354395033.5", '+', "0.05", "7922816251426433759354395034"},
        BinaryCase{"0.0000000000000000000000000001", '+', "1000000", "1000000.0000000000000000000000"},
        // products beyond 28 places or 96 bits
        BinaryCase{"0.00000000000001", '*', "0.000000000000015", "0.0000000000000000000000000002"},
        BinaryCase{"0.00000000000001", '*', "0.000000000000025", "0.0000000000000000000000000002"},
        BinaryCase{"7922816251426433759354395033.5", '*', "3", "23768448754279301278063185100"},
        BinaryCase{"79228162514264337593543950335", '*', "0.5", "39614081257132168796771975168"},
        // quotients that cannot carry 28 places
        BinaryCase{"100", '/', "3", "33.333333333333333333333333333"},
        BinaryCase{"79228162514264337593543950335", '/', "7", "11318308930609191084791992905"}));

TEST(Arithmetic, OverflowsAbortWithTheirMessage) {
  EXPECT_EQ(abort_message([] { (void)(D("79228162514264337593543950335") + D("1")); }), "Addition overflowed");
  EXPECT_EQ(abort_message([] { (void)(D("79228162514264337593543950335") + D("0.5")); }), "Addition overflowed");
  EXPECT_EQ(abort_message([] { (void)(D("-79228162514264337593543950335") - D("1")); }), "Subtraction overflowed");
  EXPECT_EQ(abort_message([] {
              Decimal a = D("79228162514264337593543950335");
              a -= D("-1");
            }),
            "Subtraction overflowed");
  EXPECT_EQ(abort_message([] { (void)(D("79228162514264337593543950335") * D("1.1")); }), "Multiplication overflowed");
  EXPECT_EQ(abort_message([] { (void)(D("79228162514264337593543950335") / D("0.1")); }), "Division overflowed");
  EXPECT_EQ(abort_message([] { (void)(D("1") / D("0.000")); }), "Division by zero");
  EXPECT_EQ(abort_message([] { (void)quantum(29); }), "Scale exceeds the maximum precision allowed: 29 > 28");
  EXPECT_EQ(abort_message([] { (void)quantized_zero(30); }), "Scale exceeds the maximum precision allowed: 30 > 28");
}

TEST(Parse, LimitsOfDigits) {
  EXPECT_EQ(S(D("0.1234567890123456789012345678")), "0.1234567890123456789012345678");
  EXPECT_EQ(Decimal::parse("0.12345678901234567890123456789").error, ParseError::HighPrecision);
  EXPECT_EQ(Decimal::parse("0.00000000000000000000000000000").error, ParseError::HighPrecision);
  EXPECT_EQ(S(D("79228162514264337593543950335")), "79228162514264337593543950335");
  EXPECT_EQ(Decimal::parse("79228162514264337593543950336").error, ParseError::Overflow);
  EXPECT_EQ(Decimal::parse("792281625142643375935439503.36").error, ParseError::HighPrecision);
}

struct ParseCase {
  const char* text;
  ParseError error;
};

class ParseErrors : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseErrors, ReportTheFirstProblem) { EXPECT_EQ(Decimal::parse(GetParam().text).error, GetParam().error); }

INSTANTIATE_TEST_SUITE_P(
    Messages, ParseErrors,
    ::testing::Values(ParseCase{"", ParseError::Empty}, ParseCase{"-", ParseError::NoDigits},
                      ParseCase{".", ParseError::NoDigits}, ParseCase{"_1", ParseError::LeadWithNumber},
                      ParseCase{"+_1", ParseError::LeadWithNumber}, ParseCase{"._1", ParseError::LeadWithNumber},
                      ParseCase{"1.2.3", ParseError::TwoPoints}, ParseCase{"1e3", ParseError::UnknownCharacter},
                      ParseCase{" 1", ParseError::UnknownCharacter}, ParseCase{"1,5", ParseError::UnknownCharacter}));

TEST(Parse, MessagesAreExact) {
  EXPECT_EQ(parse_message(ParseError::LeadWithNumber), "Invalid decimal: must start lead with a number");
  EXPECT_EQ(parse_message(ParseError::HighPrecision), "Number has a high precision that can not be represented.");
}

TEST(Parse, SignsAndSeparators) {
  EXPECT_EQ(S(D("-0")), "0");
  EXPECT_EQ(S(D("-0.00")), "0.00");
  EXPECT_FALSE(D("-0.00").negative());
  EXPECT_EQ(S(D("+7")), "7");
  EXPECT_EQ(S(D("1_000.5")), "1000.5");
  EXPECT_EQ(S(D("5.")), "5");
  EXPECT_EQ(S(D(".5")), "0.5");
}

TEST(Print, NegativeZeroKeepsItsSign) {
  EXPECT_EQ(S(-D("0.00")), "-0.00");
  EXPECT_EQ(S(-D("0")), "-0");
  EXPECT_EQ(-D("0.00"), D("0"));
  EXPECT_EQ(S(quantize(-D("0.000"), 2)), "-0.00");
}

TEST(Compare, ByValue) {
  EXPECT_EQ(D("1.5"), D("1.50"));
  EXPECT_FALSE(D("1.5").identical(D("1.50")));
  EXPECT_LT(D("-2"), D("-1.99"));
  EXPECT_GT(D("0.0000000000000000000000000001"), D("0"));
  EXPECT_LT(D("79228162514264337593543950334"), D("79228162514264337593543950335"));
}

TEST(Quantize, TruncatesTowardZeroAndNeverPads) {
  EXPECT_EQ(S(quantize(D("1.239"), 2)), "1.23");
  EXPECT_EQ(S(quantize(D("-1.239"), 2)), "-1.23");
  EXPECT_EQ(S(quantize(D("-0.004"), 2)), "0.00");
  EXPECT_EQ(S(quantize(D("1.500"), 2)), "1.50");
  EXPECT_EQ(S(quantize(D("1.5"), 2)), "1.5");
  EXPECT_EQ(S(quantize(D("2.999"), 2)), "2.99");
  EXPECT_EQ(value_string(D("7"), 2), "7");
  EXPECT_EQ(value_string(D("1.5"), 4000000000u), "1.5");
  EXPECT_EQ(S(quantum(28)), "0.0000000000000000000000000001");
  EXPECT_EQ(S(quantum(0)), "1");
  EXPECT_EQ(S(quantized_zero(2)), "0.00");
}

TEST(ExactSum, DoesNotRoundWhereDecimalAdditionDoes) {
  const Decimal big = D("79228162514264337593543950335");
  const Decimal tiny = D("0.0000000000000000000000000001");
  ExactSum s;
  s.add(big);
  s.add(tiny);
  EXPECT_FALSE(s.equals(big));
  s.add(-tiny);
  EXPECT_TRUE(s.equals(big));
  ExactSum parts;
  parts.add(D("33.333333333333333333333333333"), 3);
  EXPECT_FALSE(parts.equals(D("100")));
  ExactSum ok;
  ok.add(D("3.34"));
  ok.add(D("3.33"), 2);
  EXPECT_TRUE(ok.equals(D("10")));
}

TEST(WholeQuanta, CountsOnlyWholeQuantaUpToTheLimit) {
  EXPECT_EQ(whole_quanta(D("0.03"), 2, 5), 3u);
  EXPECT_EQ(whole_quanta(D("-0.030"), 2, 5), 3u);
  EXPECT_EQ(whole_quanta(D("0.035"), 2, 5), std::nullopt);
  EXPECT_EQ(whole_quanta(D("0.06"), 2, 5), std::nullopt);
  EXPECT_EQ(whole_quanta(D("1"), 28, UINT64_MAX), std::nullopt);
  EXPECT_EQ(whole_quanta(D("0"), 28, 0), 0u);
}

// ---- the 128- and 256-bit helpers, on operands that carry through every
// column, with exact values. The same tests run against the compiler's
// 128-bit integer and against the portable two-limb one.

struct Mul64Case {
  uint64_t a, b, hi, lo;
};

class Mul64 : public ::testing::TestWithParam<Mul64Case> {};

TEST_P(Mul64, IsTheFullProduct) {
  const auto& c = GetParam();
  const u128 p = mul64(c.a, c.b);
  EXPECT_EQ(hi64(p), c.hi);
  EXPECT_EQ(lo64(p), c.lo);
  EXPECT_EQ(p, make_u128(c.hi, c.lo));
}

INSTANTIATE_TEST_SUITE_P(
    HardOperands, Mul64,
    ::testing::Values(
        Mul64Case{0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFEull, 0x0000000000000001ull},
        Mul64Case{0xFFFFFFFFFFFFFFFFull, 0x00000001FFFFFFFFull, 0x00000001FFFFFFFEull, 0xFFFFFFFE00000001ull},
        Mul64Case{0x00000000FFFFFFFFull, 0xFFFFFFFF00000000ull, 0x00000000FFFFFFFEull, 0x0000000100000000ull},
        Mul64Case{0x8000000000000000ull, 0x0000000000000004ull, 0x0000000000000002ull, 0x0000000000000000ull},
        Mul64Case{0x00000000FFFFFFFFull, 0x00000000FFFFFFFFull, 0x0000000000000000ull, 0xFFFFFFFE00000001ull},
        Mul64Case{0xFFFFFFFF00000001ull, 0xFFFFFFFF00000001ull, 0xFFFFFFFE00000002ull, 0xFFFFFFFE00000001ull}));

struct DivCase {
  uint64_t a_hi, a_lo, b_hi, b_lo, q_hi, q_lo, r_hi, r_lo;
};

class Divide128 : public ::testing::TestWithParam<DivCase> {};

TEST_P(Divide128, GivesQuotientAndRemainder) {
  const auto& c = GetParam();
  const u128 a = make_u128(c.a_hi, c.a_lo), b = make_u128(c.b_hi, c.b_lo);
  EXPECT_EQ(a / b, make_u128(c.q_hi, c.q_lo));
  EXPECT_EQ(a % b, make_u128(c.r_hi, c.r_lo));
  EXPECT_EQ((a / b) * b + a % b, a);
}

INSTANTIATE_TEST_SUITE_P(
    HardOperands, Divide128,
    ::testing::Values(
        // all ones over divisors around 2^32, 2^64 and 2^96 and over itself
        DivCase{~0ull, ~0ull, 0, 0x0000000100000000ull, 0x00000000FFFFFFFFull, ~0ull, 0, 0x00000000FFFFFFFFull},
        DivCase{~0ull, ~0ull, 0, 0x0000000100000001ull, 0x00000000FFFFFFFFull, 0x00000000FFFFFFFFull, 0, 0},
        DivCase{~0ull, ~0ull, 0, 0x00000000FFFFFFFFull, 0x0000000100000001ull, 0x0000000100000001ull, 0, 0},
        DivCase{~0ull, ~0ull, 1, 1, 0, ~0ull, 0, 0},
        DivCase{~0ull, ~0ull, 0x00000000FFFFFFFFull, ~0ull, 0, 0x0000000100000000ull, 0, 0x00000000FFFFFFFFull},
        DivCase{~0ull, ~0ull, ~0ull, ~0ull, 0, 1, 0, 0},
        DivCase{~0ull, 0xFFFFFFFFFFFFFFFEull, ~0ull, ~0ull, 0, 0, ~0ull, 0xFFFFFFFFFFFFFFFEull},
        DivCase{~0ull, ~0ull, 0, 10, 0x1999999999999999ull, 0x9999999999999999ull, 0, 5},
        // one below a multiple: the last quotient digit is one less
        DivCase{0x80000004FFFFFFFFull, 0xFFFFFFFF7FFFFFFAull, 0x00000000FFFFFFFFull, ~0ull, 0, 0x0000000080000004ull,
                0x00000000FFFFFFFFull, 0xFFFFFFFFFFFFFFFEull},
        DivCase{0x000004EE0D1D72FDull, 0x4787ED1FF0011168ull, 0x00000000204FCE5Eull, 0x3E25026110000007ull, 0,
                0x000000000000270Eull, 0x00000000204FCE5Eull, 0x3E25026110000006ull},
        DivCase{0x4B3B4CA85A86C47Aull, 0x098A224000000000ull, 0, 0x8AC7230489E80000ull, 0, 0x8AC7230489E80000ull, 0, 0},
        DivCase{0x8000000000000000ull, 0, 0, ~0ull, 0, 0x8000000000000000ull, 0, 0x8000000000000000ull},
        DivCase{1, 0, 0, 3, 0, 0x5555555555555555ull, 0, 1}));

TEST(Wide, ShiftsAndComplementsCrossTheLimbs) {
  const u128 one = 1;
  EXPECT_EQ(one << 64, make_u128(1, 0));
  EXPECT_EQ(one << 127 >> 127, one);
  EXPECT_EQ(make_u128(0x1234, 0x8000000000000000ull) << 1, make_u128(0x2469, 0));
  EXPECT_EQ(make_u128(1, 0) >> 1, make_u128(0, 0x8000000000000000ull));
  EXPECT_EQ(~u128{0}, make_u128(~0ull, ~0ull));
  EXPECT_EQ(make_u128(0, ~0ull) + 1, make_u128(1, 0));
  EXPECT_EQ(make_u128(1, 0) - 1, make_u128(0, ~0ull));
  EXPECT_EQ(u128{0} - 1, ~u128{0});
  EXPECT_LT(make_u128(0, ~0ull), make_u128(1, 0));
  EXPECT_EQ(detail::kPowersOfTen[38], make_u128(0x4B3B4CA85A86C47Aull, 0x098A224000000000ull));
}

struct ProductCase {
  uint64_t a_hi, a_lo, b_hi, b_lo;
  std::array<uint64_t, 4> limbs;
};

class Product256 : public ::testing::TestWithParam<ProductCase> {};

TEST_P(Product256, CarriesThroughEveryColumn) {
  const auto& c = GetParam();
  const U256 p = U256::product(make_u128(c.a_hi, c.a_lo), make_u128(c.b_hi, c.b_lo));
  EXPECT_EQ(p.limb, c.limbs);
}

INSTANTIATE_TEST_SUITE_P(
    HardOperands, Product256,
    ::testing::Values(
        ProductCase{~0ull, ~0ull, ~0ull, ~0ull, {1, 0, 0xFFFFFFFFFFFFFFFEull, ~0ull}},
        ProductCase{~0ull, ~0ull, 0, 1, {~0ull, ~0ull, 0, 0}},
        ProductCase{1, 1, 0, ~0ull, {~0ull, ~0ull, 0, 0}},
        ProductCase{~0ull, 1, 1, ~0ull, {~0ull, 2, 0xFFFFFFFFFFFFFFFDull, 1}},
        ProductCase{0x00000000FFFFFFFFull, ~0ull, 0x00000000204FCE5Eull, 0x3E25026110000000ull,
                    {0xC1DAFD9EF0000000ull, 0x0FFFFFFFDFB031A1ull, 0x204FCE5E3E250261ull, 0}}));

TEST(Wide, AdditionAndSubtractionCarryThroughEveryLimb) {
  U256 all;
  all.limb = {~0ull, ~0ull, ~0ull, ~0ull};
  U256 one;
  one.limb = {1, 0, 0, 0};
  U256 sum = all;
  EXPECT_TRUE(sum.add(one));  // the carry leaves the top limb
  EXPECT_TRUE(sum.is_zero());
  U256 low;
  low.limb = {~0ull, ~0ull, ~0ull, 0};
  EXPECT_FALSE(low.add(one));
  EXPECT_EQ(low.limb, (std::array<uint64_t, 4>{0, 0, 0, 1}));
  low.sub(one);
  EXPECT_EQ(low.limb, (std::array<uint64_t, 4>{~0ull, ~0ull, ~0ull, 0}));
  U256 zero;
  zero.sub(one);  // wraps to all ones
  EXPECT_EQ(zero.limb, all.limb);
}

TEST(Wide, DivisionByOneLimbCarriesTheRemainderDown) {
  struct Case {
    uint32_t k;
    std::array<uint64_t, 4> q;
    uint64_t r;
  };
  const Case cases[] = {
      {1, {0x9999999999999999ull, 0x9999999999999999ull, 0x9999999999999999ull, 0x1999999999999999ull}, 5},
      {19,
       {0x3C4CA40E0EA7CFE9ull, 0x5663D3C7A0D865CAull, 0xD83C94FB6D2AC34Aull, 1},
       7584007913129639935ull},
  };
  for (const Case& c : cases) {
    U256 v;
    v.limb = {~0ull, ~0ull, ~0ull, ~0ull};
    EXPECT_EQ(v.divmod_pow10(c.k), c.r) << c.k;
    EXPECT_EQ(v.limb, c.q) << c.k;
  }
}

// The division through a reciprocal against the plain 128-bit division, for
// every power of ten, at the edges of its range (the largest high half, all
// ones below, quotients next to a multiple of the divisor) and in between.
TEST(Wide, DivisionByAPowerOfTenThroughItsReciprocal) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&] {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  for (uint32_t k = 1; k <= 19; ++k) {
    const uint64_t d = lo64(pow10(k));
    std::vector<u128> dividends;
    for (const uint64_t hi : {uint64_t{0}, uint64_t{1}, d / 2, d - 1}) {
      for (const uint64_t lo : {uint64_t{0}, uint64_t{1}, d - 1, d, ~uint64_t{0}, ~uint64_t{0} - d}) {
        dividends.push_back(make_u128(hi, lo));
      }
    }
    for (int i = 0; i < 20000; ++i) {
      const u128 n = make_u128(next() % d, next());
      dividends.push_back(n);
      // a multiple of d and its neighbours
      const u128 m = (n / d) * d;
      for (const u128 x : {m, m - 1, m + 1}) {
        if (hi64(x) < d) dividends.push_back(x);
      }
    }
    for (const u128 n : dividends) {
      uint64_t rem;
      const uint64_t q = div_pow10(hi64(n), lo64(n), k, rem);
      ASSERT_EQ(q, lo64(n / d)) << k << " " << hi64(n) << ":" << lo64(n);
      ASSERT_EQ(rem, lo64(n % d)) << k << " " << hi64(n) << ":" << lo64(n);
    }
  }
}

}  // namespace
}  // namespace corbyl
