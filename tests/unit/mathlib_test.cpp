// Tests of the portable elementary functions: exact results at special and
// exactly known arguments, and accuracy within one ulp against the host's long
// double functions on deterministic pseudo-random arguments. Where some host's
// long double function is itself too inaccurate to judge by (large arguments
// of sinl and cosl, asinl and acosl near +-1, powl with large exponents), the
// reference is built from exact arithmetic and better-behaved functions.

#include "eval/mathlib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();
constexpr double kPio2 = 0x1.921fb54442d18p+0;  // pi/2 rounded to double
constexpr double kPi = 0x1.921fb54442d18p+1;
constexpr long double kLn2 = 0xb17217f7d1cf79acp-64L;

uint64_t Bits(double x) {
    uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double FromBits(uint64_t u) {
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

std::string Show(double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g [%016llx]", x,
                  static_cast<unsigned long long>(Bits(x)));
    return text;
}

// The same double, bit for bit (so -0 differs from +0), or both NaN.
::testing::AssertionResult Identical(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
    if (Bits(expected) == Bits(actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "expected " << Show(expected) << ", got " << Show(actual);
}

// splitmix64: the same sequence on every host.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // In [0, 1), 53 random bits.
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1p-53; }

    double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }

    int Int(int lo, int hi) {
        return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }

    // Magnitude spread evenly over the binades from 2^loExp to 2^hiExp.
    double LogUniform(int loExp, int hiExp) {
        const double mantissa = 1.0 + Unit();
        return std::ldexp(mantissa, Int(loExp, hiExp - 1));
    }

    double WithRandomSign(double x) { return (Next() & 1) != 0 ? -x : x; }

    // Any positive finite double, subnormals included, by its bit pattern.
    double PositiveFinite() {
        for (;;) {
            const double x = FromBits(Next() >> 1);
            if (std::isfinite(x) && x != 0.0) return x;
        }
    }

private:
    uint64_t state_;
};

// |result - reference| in units in the last place of the reference rounded to
// double, with the subnormal spacing as the smallest unit.
double UlpError(double result, long double reference) {
    if (std::isnan(reference) || std::isnan(result)) {
        return std::isnan(reference) && std::isnan(result) ? 0.0 : kInf;
    }
    if (reference == 0.0L || std::isinf(reference)) return result == reference ? 0.0 : kInf;
    int exponent = 0;
    std::frexp(reference, &exponent);  // |reference| in [2^(exponent-1), 2^exponent)
    const int ulpExponent = exponent - 53 < -1074 ? -1074 : exponent - 53;
    const long double error = std::fabs(static_cast<long double>(result) - reference);
    return static_cast<double>(std::ldexp(error, -ulpExponent));
}

// Collects the worst error of one function over many arguments.
class ErrorTracker {
public:
    explicit ErrorTracker(const char* name) : name_(name) {}

    void Add(double result, long double reference, const std::string& argument) {
        const double error = UlpError(result, reference);
        ++count_;
        if (!(error <= worst_)) {
            worst_ = error;
            worstArgument_ = argument;
            worstResult_ = result;
            worstReference_ = reference;
        }
    }

    // At most one ulp: fdlibm's bound, with room for the reference's own error.
    void Check() const {
        ::testing::Test::RecordProperty(std::string(name_) + "_max_ulp", std::to_string(worst_));
        EXPECT_GT(count_, 0);
        EXPECT_LE(worst_, 1.0) << name_ << "(" << worstArgument_ << ") = " << Show(worstResult_)
                               << ", reference " << static_cast<double>(worstReference_);
    }

private:
    const char* name_;
    int count_ = 0;
    double worst_ = 0.0;
    std::string worstArgument_;
    double worstResult_ = 0.0;
    long double worstReference_ = 0.0L;
};

// ---------------------------------------------------------------------------
// A trustworthy reduction of x modulo pi/2 for the trigonometric references:
// the remainder of |x| * 2^F divided by floor(pi/2 * 2^F), by binary long
// division on big integers. With F at least 192 bits beyond the position of
// x's leading bit the truncation of pi/2 is far below the 2^-62 to which any
// double can approach a multiple of pi/2.

// pi with 1320 bits after the point.
constexpr char kPiHex[] =
    "3243f6a8885a308d313198a2e03707344a4093822299f31d0082efa98ec4e6c89452821e638d01377be5466cf3"
    "4e90c6cc0ac29b7c97c50dd3f84d5b5b54709179216d5d98979fb1bd1310ba698dfb5ac2ffd72dbd01adfb7b8e"
    "1afed6a267e96ba7c9045f12c7f9924a19947b3916cf70801f2e2858efc16636920d871574e69a458fea3f4933"
    "d7e0d95748f728eb658718bcd5882154aee7b54a41dc25a59b59c30d5392a";
constexpr int kPiFractionBits = 1320;

// Little-endian 32-bit limbs, fixed length.
using BigNat = std::vector<uint32_t>;

void ShiftLeftOne(BigNat& a, uint32_t incoming) {
    for (uint32_t& limb : a) {
        const uint32_t out = limb >> 31;
        limb = limb << 1 | incoming;
        incoming = out;
    }
}

bool LessThan(const BigNat& a, const BigNat& b) {
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i];
    }
    return false;
}

void Subtract(BigNat& a, const BigNat& b) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < a.size(); i++) {
        const uint64_t d = static_cast<uint64_t>(a[i]) - b[i] - borrow;
        a[i] = static_cast<uint32_t>(d);
        borrow = (d >> 63) & 1;
    }
}

// pi * 2^kPiFractionBits as a big integer.
const BigNat& ScaledPi() {
    static const BigNat pi = [] {
        BigNat bits(kPiFractionBits / 32 + 2, 0);
        for (const char* p = kPiHex; *p != '\0'; ++p) {
            const int digit = *p <= '9' ? *p - '0' : *p - 'a' + 10;
            for (int bit = 3; bit >= 0; --bit) {
                ShiftLeftOne(bits, static_cast<uint32_t>(digit >> bit) & 1);
            }
        }
        return bits;
    }();
    return pi;
}

// floor(pi/2 * 2^fractionBits) in the given number of limbs.
BigNat HalfPi(int fractionBits, size_t limbs) {
    const BigNat& pi = ScaledPi();
    // pi/2 * 2^fractionBits = (pi * 2^kPiFractionBits) >> (kPiFractionBits + 1 - fractionBits)
    const int shift = kPiFractionBits + 1 - fractionBits;
    BigNat result(limbs, 0);
    for (size_t i = 0; i < limbs; i++) {
        const size_t bit = i * 32 + static_cast<size_t>(shift);
        const size_t limb = bit / 32;
        const unsigned offset = bit % 32;
        uint64_t window = limb < pi.size() ? pi[limb] : 0;
        if (limb + 1 < pi.size()) window |= static_cast<uint64_t>(pi[limb + 1]) << 32;
        result[i] = static_cast<uint32_t>(window >> offset);
    }
    return result;
}

struct Reduced {
    long double r;  // |x| = quadrant * pi/2 + r modulo 2pi, |r| <= pi/4
    int quadrant;
};

Reduced ReduceExactly(double x) {
    x = std::fabs(x);
    if (x < 0.78) return {x, 0};
    int exponent = 0;
    const double mantissa = std::frexp(x, &exponent);
    const uint64_t m = static_cast<uint64_t>(std::ldexp(mantissa, 53));  // x = m * 2^(exponent-53)
    const int fractionBits = 192 + (exponent > 0 ? exponent : 0);
    const size_t limbs = static_cast<size_t>(fractionBits / 32 + 3);
    const BigNat q = HalfPi(fractionBits, limbs);

    BigNat remainder(limbs, 0);
    int quadrant = 0;
    const int steps = 53 + (exponent - 53) + fractionBits;  // bits of m * 2^(exponent-53+F)
    for (int i = 0; i < steps; i++) {
        const uint32_t bit = i < 53 ? static_cast<uint32_t>(m >> (52 - i)) & 1 : 0;
        ShiftLeftOne(remainder, bit);
        int quotientBit = 0;
        if (!LessThan(remainder, q)) {
            Subtract(remainder, q);
            quotientBit = 1;
        }
        quadrant = (quadrant * 2 + quotientBit) & 3;
    }

    BigNat twice = remainder;
    ShiftLeftOne(twice, 0);
    bool negative = false;
    if (LessThan(q, twice)) {  // remainder > pi/4: measure from the next multiple
        BigNat complement = q;
        Subtract(complement, remainder);
        remainder = complement;
        negative = true;
        quadrant = (quadrant + 1) & 3;
    }

    size_t top = limbs - 1;
    while (top > 0 && remainder[top] == 0) --top;
    long double r = 0.0L;
    for (size_t i = 0; i < 3 && i <= top; i++) {
        r += std::ldexp(static_cast<long double>(remainder[top - i]),
                        static_cast<int>(32 * (top - i)) - fractionBits);
    }
    return {negative ? -r : r, quadrant};
}

struct TrigReference {
    long double sin;
    long double cos;
    long double tan;
};

// Sine and cosine of |r| <= pi/4 from their series, in plain long double
// arithmetic: the x87 fsin and fcos instructions behind std::sin are only
// double-accurate in some emulators (qemu), where they could not judge the
// functions under test. Horner's scheme up to r^29/29! and r^28/28!; the
// first omitted terms are below 2^-110.
long double SinSeries(long double r) {
    const long double r2 = r * r;
    long double sum = 1.0L;
    for (int k = 29; k >= 3; k -= 2) sum = 1.0L - sum * r2 / (k * (k - 1));
    return r * sum;
}

long double CosSeries(long double r) {
    const long double r2 = r * r;
    long double sum = 1.0L;
    for (int k = 28; k >= 2; k -= 2) sum = 1.0L - sum * r2 / (k * (k - 1));
    return sum;
}

TrigReference TrigOf(double x) {
    const Reduced reduced = ReduceExactly(x);
    const long double s = SinSeries(reduced.r);
    const long double c = CosSeries(reduced.r);
    long double sine = 0.0L;
    long double cosine = 0.0L;
    switch (reduced.quadrant) {
        case 0: sine = s, cosine = c; break;
        case 1: sine = c, cosine = -s; break;
        case 2: sine = -s, cosine = -c; break;
        default: sine = -c, cosine = s; break;
    }
    if (x < 0) sine = -sine;
    return {sine, cosine, sine / cosine};
}

// ---------------------------------------------------------------------------
// Special values and exactly known results.

struct UnaryCase {
    double (*function)(double);
    const char* name;
    double x;
    double expected;
};

const UnaryCase kUnaryCases[] = {
    {zmath::Sin, "Sin", 0.0, 0.0},
    {zmath::Sin, "Sin", -0.0, -0.0},
    {zmath::Sin, "Sin", kMinSubnormal, kMinSubnormal},
    {zmath::Sin, "Sin", -0x1p-30, -0x1p-30},
    {zmath::Sin, "Sin", kInf, kNaN},
    {zmath::Sin, "Sin", -kInf, kNaN},
    {zmath::Sin, "Sin", kNaN, kNaN},
    {zmath::Cos, "Cos", 0.0, 1.0},
    {zmath::Cos, "Cos", -0.0, 1.0},
    {zmath::Cos, "Cos", 0x1p-30, 1.0},
    {zmath::Cos, "Cos", 0x1.8p-27, 0x1.fffffffffffffp-1},  // 1 - 1.125 * 2^-54 rounds down
    {zmath::Cos, "Cos", kInf, kNaN},
    {zmath::Cos, "Cos", -kInf, kNaN},
    {zmath::Cos, "Cos", kNaN, kNaN},
    {zmath::Tan, "Tan", 0.0, 0.0},
    {zmath::Tan, "Tan", -0.0, -0.0},
    {zmath::Tan, "Tan", -kMinSubnormal, -kMinSubnormal},
    {zmath::Tan, "Tan", kInf, kNaN},
    {zmath::Tan, "Tan", -kInf, kNaN},
    {zmath::Tan, "Tan", kNaN, kNaN},

    {zmath::Asin, "Asin", 0.0, 0.0},
    {zmath::Asin, "Asin", -0.0, -0.0},
    {zmath::Asin, "Asin", 1.0, kPio2},
    {zmath::Asin, "Asin", -1.0, -kPio2},
    {zmath::Asin, "Asin", 0x1.0000000000001p+0, kNaN},
    {zmath::Asin, "Asin", -2.0, kNaN},
    {zmath::Asin, "Asin", kInf, kNaN},
    {zmath::Asin, "Asin", kNaN, kNaN},
    {zmath::Acos, "Acos", 1.0, 0.0},
    {zmath::Acos, "Acos", -1.0, kPi},
    {zmath::Acos, "Acos", 0.0, kPio2},
    {zmath::Acos, "Acos", -0.0, kPio2},
    {zmath::Acos, "Acos", -0x1.0000000000001p+0, kNaN},
    {zmath::Acos, "Acos", -kInf, kNaN},
    {zmath::Acos, "Acos", kNaN, kNaN},
    {zmath::Atan, "Atan", 0.0, 0.0},
    {zmath::Atan, "Atan", -0.0, -0.0},
    {zmath::Atan, "Atan", kInf, kPio2},
    {zmath::Atan, "Atan", -kInf, -kPio2},
    {zmath::Atan, "Atan", 0x1p70, kPio2},
    {zmath::Atan, "Atan", -kMax, -kPio2},
    {zmath::Atan, "Atan", kNaN, kNaN},

    {zmath::Exp, "Exp", 0.0, 1.0},
    {zmath::Exp, "Exp", -0.0, 1.0},
    {zmath::Exp, "Exp", kInf, kInf},
    {zmath::Exp, "Exp", -kInf, 0.0},
    {zmath::Exp, "Exp", kNaN, kNaN},
    {zmath::Exp, "Exp", -1000.0, 0.0},
    {zmath::Exp, "Exp", -745.2, 0.0},
    {zmath::Exp, "Exp", -745.0, kMinSubnormal},  // exp(-745) = 4.94e-324
    {zmath::Exp, "Exp", 710.0, kInf},
    {zmath::Exp, "Exp", 0x1.62e42fefa39fp+9, kInf},  // one ulp above the last finite result
    {zmath::Expm1, "Expm1", 0.0, 0.0},
    {zmath::Expm1, "Expm1", -0.0, -0.0},
    {zmath::Expm1, "Expm1", -0x1p-60, -0x1p-60},
    {zmath::Expm1, "Expm1", kInf, kInf},
    {zmath::Expm1, "Expm1", -kInf, -1.0},
    {zmath::Expm1, "Expm1", -50.0, -1.0},
    {zmath::Expm1, "Expm1", 710.0, kInf},
    {zmath::Expm1, "Expm1", kNaN, kNaN},

    {zmath::Log, "Log", 1.0, 0.0},
    {zmath::Log, "Log", 0.0, -kInf},
    {zmath::Log, "Log", -0.0, -kInf},
    {zmath::Log, "Log", -kMinSubnormal, kNaN},
    {zmath::Log, "Log", -1.0, kNaN},
    {zmath::Log, "Log", -kInf, kNaN},
    {zmath::Log, "Log", kInf, kInf},
    {zmath::Log, "Log", kNaN, kNaN},
    {zmath::Log10, "Log10", 1.0, 0.0},
    {zmath::Log10, "Log10", 1000.0, 3.0},
    {zmath::Log10, "Log10", 0.0, -kInf},
    {zmath::Log10, "Log10", -0.0, -kInf},
    {zmath::Log10, "Log10", -10.0, kNaN},
    {zmath::Log10, "Log10", kInf, kInf},
    {zmath::Log10, "Log10", kNaN, kNaN},

    {zmath::Sinh, "Sinh", 0.0, 0.0},
    {zmath::Sinh, "Sinh", -0.0, -0.0},
    {zmath::Sinh, "Sinh", 1e-320, 1e-320},
    {zmath::Sinh, "Sinh", -1e-320, -1e-320},
    {zmath::Sinh, "Sinh", kInf, kInf},
    {zmath::Sinh, "Sinh", -kInf, -kInf},
    {zmath::Sinh, "Sinh", 1000.0, kInf},
    {zmath::Sinh, "Sinh", -1000.0, -kInf},
    {zmath::Sinh, "Sinh", 711.0, kInf},
    {zmath::Sinh, "Sinh", kNaN, kNaN},
    {zmath::Cosh, "Cosh", 0.0, 1.0},
    {zmath::Cosh, "Cosh", -0.0, 1.0},
    {zmath::Cosh, "Cosh", 1e-320, 1.0},
    {zmath::Cosh, "Cosh", kInf, kInf},
    {zmath::Cosh, "Cosh", -kInf, kInf},
    {zmath::Cosh, "Cosh", 1000.0, kInf},
    {zmath::Cosh, "Cosh", -1000.0, kInf},
    {zmath::Cosh, "Cosh", kNaN, kNaN},
    {zmath::Tanh, "Tanh", 0.0, 0.0},
    {zmath::Tanh, "Tanh", -0.0, -0.0},
    {zmath::Tanh, "Tanh", 1e-320, 1e-320},
    {zmath::Tanh, "Tanh", kInf, 1.0},
    {zmath::Tanh, "Tanh", -kInf, -1.0},
    {zmath::Tanh, "Tanh", 30.0, 1.0},
    {zmath::Tanh, "Tanh", -30.0, -1.0},
    {zmath::Tanh, "Tanh", kNaN, kNaN},

    {zmath::Sqrt, "Sqrt", 0.0, 0.0},
    {zmath::Sqrt, "Sqrt", -0.0, -0.0},
    {zmath::Sqrt, "Sqrt", 4.0, 2.0},
    {zmath::Sqrt, "Sqrt", 2.0, 0x1.6a09e667f3bcdp+0},
    {zmath::Sqrt, "Sqrt", kMinSubnormal, 0x1p-537},
    {zmath::Sqrt, "Sqrt", kInf, kInf},
    {zmath::Sqrt, "Sqrt", -kMinSubnormal, kNaN},
    {zmath::Sqrt, "Sqrt", -kInf, kNaN},
    {zmath::Sqrt, "Sqrt", kNaN, kNaN},
};

TEST(MathlibSpecialValues, UnaryFunctions) {
    for (const UnaryCase& c : kUnaryCases) {
        EXPECT_TRUE(Identical(c.expected, c.function(c.x))) << c.name << "(" << Show(c.x) << ")";
    }
}

struct RoundingCase {
    double x;
    double floor;
    double ceil;
};

TEST(MathlibSpecialValues, FloorAndCeil) {
    const RoundingCase cases[] = {
        {0.0, 0.0, 0.0},
        {-0.0, -0.0, -0.0},
        {0.5, 0.0, 1.0},
        {-0.5, -1.0, -0.0},
        {kMinSubnormal, 0.0, 1.0},
        {-kMinSubnormal, -1.0, -0.0},
        {0x1.fffffffffffffp-1, 0.0, 1.0},
        {-0x1.fffffffffffffp-1, -1.0, -0.0},
        {1.0, 1.0, 1.0},
        {-1.0, -1.0, -1.0},
        {1.5, 1.0, 2.0},
        {-1.5, -2.0, -1.0},
        {2.5, 2.0, 3.0},
        {-2.5, -3.0, -2.0},
        {0x1p20 + 0.5, 0x1p20, 0x1p20 + 1},      // fraction in the high word
        {0x1p20 + 0x1p-32, 0x1p20, 0x1p20 + 1},  // fraction in the low word only
        {-(0x1p21 + 0.5), -(0x1p21 + 1), -0x1p21},
        {0x1p31 + 0.75, 0x1p31, 0x1p31 + 1},
        {-(0x1p32 - 0.5), -0x1p32, -(0x1p32 - 1)},  // rounding carries into the exponent
        {0x1p52 - 0.5, 0x1p52 - 1, 0x1p52},
        {-(0x1p52 - 0.5), -0x1p52, -(0x1p52 - 1)},
        {0x1p51 + 0.5, 0x1p51, 0x1p51 + 1},
        {0x1p52, 0x1p52, 0x1p52},
        {0x1p52 + 1, 0x1p52 + 1, 0x1p52 + 1},
        {-(0x1p52 + 1), -(0x1p52 + 1), -(0x1p52 + 1)},
        {0x1p53 + 2, 0x1p53 + 2, 0x1p53 + 2},
        {1e300, 1e300, 1e300},
        {-kMax, -kMax, -kMax},
        {kInf, kInf, kInf},
        {-kInf, -kInf, -kInf},
        {kNaN, kNaN, kNaN},
    };
    for (const RoundingCase& c : cases) {
        EXPECT_TRUE(Identical(c.floor, zmath::Floor(c.x))) << "Floor(" << Show(c.x) << ")";
        EXPECT_TRUE(Identical(c.ceil, zmath::Ceil(c.x))) << "Ceil(" << Show(c.x) << ")";
    }
}

struct PowCase {
    double x;
    double y;
    double expected;
};

TEST(MathlibSpecialValues, Pow) {
    const PowCase cases[] = {
        // x^+-0 = 1 and 1^y = 1 for every x and y, NaN included.
        {kNaN, 0.0, 1.0},
        {-kInf, -0.0, 1.0},
        {1.0, kNaN, 1.0},
        {1.0, -kInf, 1.0},
        {-1.0, kInf, 1.0},
        {-1.0, -kInf, 1.0},
        {kNaN, 1.0, kNaN},
        {2.0, kNaN, kNaN},
        // Zeros.
        {0.0, -3.0, kInf},
        {-0.0, -3.0, -kInf},
        {-0.0, -2.0, kInf},
        {-0.0, -0.5, kInf},
        {0.0, -kInf, kInf},
        {-0.0, -kInf, kInf},
        {0.0, 3.0, 0.0},
        {-0.0, 3.0, -0.0},
        {-0.0, 2.0, 0.0},
        {-0.0, 0.5, 0.0},
        {-0.0, kInf, 0.0},
        // Infinite exponents and bases.
        {0.5, kInf, 0.0},
        {-0.5, -kInf, kInf},
        {2.0, kInf, kInf},
        {-2.0, -kInf, 0.0},
        {kInf, 0.5, kInf},
        {kInf, -1.0, 0.0},
        {-kInf, 3.0, -kInf},
        {-kInf, 2.0, kInf},
        {-kInf, 0.5, kInf},
        {-kInf, -3.0, -0.0},
        {-kInf, -2.0, 0.0},
        // Negative bases.
        {-2.0, 0.5, kNaN},
        {-8.0, 1.0 / 3.0, kNaN},
        {-8.0, 3.0, -512.0},
        {-1.0, 0x1.fffffffffffffp+52, -1.0},  // 2^53 - 1 is odd
        {-1.0, 0x1p53, 1.0},
        {-2.0, 1025.0, -kInf},
        {-2.0, -1075.0, -0.0},
        {-0.5, 0x1p60, 0.0},
        // Integers stay exact while representable.
        {3.0, 33.0, 5559060566555523.0},
        {-3.0, 33.0, -5559060566555523.0},
        {7.0, 18.0, 1628413597910449.0},
        {10.0, 22.0, 1e22},
        {10.0, 15.0, 1e15},
        // Square roots, overflow and underflow.
        {2.0, 0.5, 0x1.6a09e667f3bcdp+0},
        {kMinSubnormal, -0.5, 0x1p537},
        {0x1p-1060, 0.25, 0x1p-265},
        {2.0, -1022.0, kMinNormal},
        {2.0, -1023.0, 0x1p-1023},
        {2.0, -1074.0, kMinSubnormal},
        {2.0, -1075.0, 0.0},
        {2.0, 1023.0, 0x1p1023},
        {2.0, 1024.0, kInf},
        {0.5, 2000.0, 0.0},
        {0.5, -2000.0, kInf},
        {1.0000001, 0x1p65, kInf},
        {0.9999999, 0x1p65, 0.0},
        {kMax, 2.0, kInf},
    };
    for (const PowCase& c : cases) {
        EXPECT_TRUE(Identical(c.expected, zmath::Pow(c.x, c.y)))
            << "Pow(" << Show(c.x) << ", " << Show(c.y) << ")";
    }
}

TEST(MathlibSpecialValues, PowOfTwoIsExactAcrossTheWholeRange) {
    for (int k = -1074; k <= 1023; k++) {
        const double expected = std::ldexp(1.0, k);
        ASSERT_TRUE(Identical(expected, zmath::Pow(2.0, k))) << "2^" << k;
        ASSERT_TRUE(Identical(k % 2 == 0 ? expected : -expected, zmath::Pow(-2.0, k)))
            << "(-2)^" << k;
    }
}

TEST(MathlibSpecialValues, Log10OfPowersOfTenIsExact) {
    double power = 1.0;
    for (int n = 0; n <= 22; n++) {  // 10^22 is the largest power of ten a double holds exactly
        EXPECT_TRUE(Identical(n, zmath::Log10(power))) << "Log10(1e" << n << ")";
        power *= 10.0;
    }
}

TEST(MathlibSpecialValues, LogScaled) {
    EXPECT_TRUE(Identical(-kInf, zmath::LogScaled(0.0, 5)));
    EXPECT_TRUE(Identical(-kInf, zmath::LogScaled(0.0, -2000)));
    EXPECT_TRUE(Identical(-kInf, zmath::LogScaled(-0.0, 100)));
    EXPECT_TRUE(Identical(kNaN, zmath::LogScaled(-1.0, 3)));
    EXPECT_TRUE(Identical(kNaN, zmath::LogScaled(-kMinSubnormal, 2000)));
    EXPECT_TRUE(Identical(kInf, zmath::LogScaled(kInf, -2000)));
    EXPECT_TRUE(Identical(kNaN, zmath::LogScaled(kNaN, 0)));
    EXPECT_TRUE(Identical(0.0, zmath::LogScaled(1.0, 0)));
    EXPECT_TRUE(Identical(0.0, zmath::LogScaled(0x1p-1000, 1000)));
    EXPECT_TRUE(Identical(0.0, zmath::LogScaled(0x1p1000, -1000)));
    EXPECT_TRUE(Identical(0.0, zmath::LogScaled(kMinSubnormal, 1074)));
    // Scaling by a power of two the exponent undoes gives the plain logarithm.
    EXPECT_TRUE(Identical(zmath::Log(2e200), zmath::LogScaled(2e200 * 0x1p-513, 513)));
    EXPECT_TRUE(Identical(zmath::Log(2e200), zmath::LogScaled(2e200 * 0x1p-1000, 1000)));
    EXPECT_TRUE(Identical(zmath::Log(3e-300), zmath::LogScaled(3e-300 * 0x1p900, -900)));
    EXPECT_TRUE(Identical(zmath::Log(kMinSubnormal), zmath::LogScaled(1.0, -1074)));
    EXPECT_TRUE(Identical(zmath::Log(kMax), zmath::LogScaled(kMax * 0x1p-1023, 1023)));
}

TEST(MathlibSpecialValues, LogScaledAgreesWithLogWheneverTheProductIsADouble) {
    Random random(11);
    for (int i = 0; i < 2000; i++) {
        const double x = random.PositiveFinite();
        int exponent = 0;
        std::frexp(x, &exponent);
        // x * 2^-shift stays a normal double, so the scaling is exact.
        const int shift = random.Int(exponent - 1021, exponent + 1020);
        const double scaled = std::ldexp(x, -shift);
        ASSERT_TRUE(Identical(zmath::Log(x), zmath::LogScaled(scaled, shift)))
            << "x = " << Show(x) << ", shift " << shift;
        ASSERT_TRUE(Identical(zmath::Log(x), zmath::LogScaled(x, 0))) << "x = " << Show(x);
    }
}

// ---------------------------------------------------------------------------
// Accuracy.

// Symmetric functions must agree exactly with their mirror image.
void CheckOdd(double (*f)(double), const char* name, double x) {
    EXPECT_TRUE(Identical(-f(x), f(-x))) << name << " is not odd at " << Show(x);
}

void CheckEven(double (*f)(double), const char* name, double x) {
    EXPECT_TRUE(Identical(f(x), f(-x))) << name << " is not even at " << Show(x);
}

std::vector<double> TrigArguments() {
    Random random(1);
    std::vector<double> args;
    for (int i = 0; i < 2000; i++) args.push_back(random.Uniform(-10.0, 10.0));
    for (int i = 0; i < 1500; i++)
        args.push_back(random.WithRandomSign(random.LogUniform(-30, 50)));
    // Up to 1e15 and beyond: every finite argument must be reduced correctly.
    for (int i = 0; i < 300; i++) args.push_back(random.WithRandomSign(random.Uniform(1e6, 1e15)));
    for (int i = 0; i < 150; i++)
        args.push_back(random.WithRandomSign(random.LogUniform(50, 1024)));
    // Doubles unusually close (relative to their size) to a multiple of pi/2,
    // where the reduction needs all of its precision: the closest ones found
    // among the multiples below 2^21, and the closest of all doubles.
    const double closest[] = {
        0x1.39c6fd67805a7p+18, 0x1.39c6fd67805a7p+19,  0x1.39c6fd67805a7p+20,
        0x1.a9adcc7f96cfp+19,  0x1.93c05c9ed3cbcp+18,  0x1.44bdb557e1dc1p+20,
        0x1.9eb7148f354d6p+20, 0x1.6ac5b262ca1ffp+849,  // 6381956970095103 * 2^797
    };
    for (double x : closest) {
        args.push_back(x);
        args.push_back(-x);
    }
    args.push_back(kMax);
    // Doubles next to multiples of pi/2, where x - n*pi/2 cancels most bits:
    // the first few multiples (special cased), both sides of 2^20 * pi/2 (where
    // the reduction changes method) and random ones.
    const long double halfPi = 1.57079632679489661923132169163975144L;
    std::vector<long double> multiples;
    for (int n = 1; n <= 8; n++) multiples.push_back(n);
    for (int n = -4; n <= 4; n++) multiples.push_back(0x1p20L + n);
    for (int i = 0; i < 200; i++) multiples.push_back(random.Int(1, 1 << 20));
    for (int i = 0; i < 100; i++) multiples.push_back(random.Int(1 << 20, 1 << 30));
    for (int i = 0; i < 50; i++)
        multiples.push_back(std::ldexp(static_cast<long double>(random.Int(1, 1 << 30)), 20));
    for (long double n : multiples) {
        double x = static_cast<double>(n * halfPi);
        for (int step = 0; step < 3; step++) {
            args.push_back(x);
            args.push_back(-x);
            x = std::nextafter(x, kInf);
        }
    }
    // Moderately close to multiples, so that every stage of the medium-range
    // reduction gets used.
    for (int i = 0; i < 500; i++) {
        const long double n = random.Int(1, 1 << 20);
        const long double offset = random.WithRandomSign(random.LogUniform(-50, -10));
        args.push_back(static_cast<double>(n * halfPi * (1.0L + offset)));
    }
    return args;
}

// The long double references need the x87 unit at its full 64-bit precision.
// An evaluation earlier in the same process leaves it at 53 bits (and Windows
// starts programs that way), which would make the references no better than
// the functions they check.
class MathlibAccuracy : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__i386__) || defined(__x86_64__)
        __asm__ __volatile__("fnstcw %0" : "=m"(saved_));
        const unsigned short extended = 0x037F;
        __asm__ __volatile__("fldcw %0" : : "m"(extended));
#endif
    }
    void TearDown() override {
#if defined(__i386__) || defined(__x86_64__)
        __asm__ __volatile__("fldcw %0" : : "m"(saved_));
#endif
    }

private:
    unsigned short saved_ = 0;
};

TEST_F(MathlibAccuracy, SinCosTan) {
    ErrorTracker sin("Sin");
    ErrorTracker cos("Cos");
    ErrorTracker tan("Tan");
    for (double x : TrigArguments()) {
        const TrigReference ref = TrigOf(x);
        const std::string shown = Show(x);
        sin.Add(zmath::Sin(x), ref.sin, shown);
        cos.Add(zmath::Cos(x), ref.cos, shown);
        tan.Add(zmath::Tan(x), ref.tan, shown);
        CheckOdd(zmath::Sin, "Sin", x);
        CheckEven(zmath::Cos, "Cos", x);
        CheckOdd(zmath::Tan, "Tan", x);
    }
    sin.Check();
    cos.Check();
    tan.Check();
}

// The reference reduction itself, at the double that comes closest to a
// multiple of pi/2: x - n*pi/2 = 4.687165924254627611e-19 with n odd (Muller,
// Elementary Functions), which no plain long double computation could find.
TEST_F(MathlibAccuracy, ReferenceReductionFindsTheWorstCase) {
    const double x = 0x1.6ac5b262ca1ffp+849;  // 6381956970095103 * 2^797
    const TrigReference ref = TrigOf(x);
    EXPECT_NEAR(-4.687165924254627611e-19, static_cast<double>(ref.cos), 1e-33);
    EXPECT_TRUE(Identical(-0x1.14ae72e6ba22fp-61, zmath::Cos(x)));
    EXPECT_TRUE(Identical(1.0, zmath::Sin(x)));
}

TEST_F(MathlibAccuracy, AsinAcos) {
    Random random(2);
    std::vector<double> args;
    for (int i = 0; i < 3000; i++) args.push_back(random.Uniform(-1.0, 1.0));
    for (int i = 0; i < 1000; i++)
        args.push_back(random.WithRandomSign(1.0 - random.LogUniform(-53, -1)));
    for (int i = 0; i < 500; i++) args.push_back(random.WithRandomSign(random.LogUniform(-70, -1)));
    ErrorTracker asin("Asin");
    ErrorTracker acos("Acos");
    for (double x : args) {
        const long double lx = x;
        // atan2 of sqrt((1-x)(1+x)), because some hosts' asinl and acosl
        // form 1 - x*x and lose most of it near +-1.
        const long double root = std::sqrt((1.0L - lx) * (1.0L + lx));
        asin.Add(zmath::Asin(x), std::atan2(lx, root), Show(x));
        acos.Add(zmath::Acos(x), std::atan2(root, lx), Show(x));
        CheckOdd(zmath::Asin, "Asin", x);
    }
    asin.Check();
    acos.Check();
}

TEST_F(MathlibAccuracy, Atan) {
    Random random(3);
    ErrorTracker atan("Atan");
    for (int i = 0; i < 4000; i++) {
        const double x = random.WithRandomSign(random.LogUniform(-40, 80));
        atan.Add(zmath::Atan(x), std::atan(static_cast<long double>(x)), Show(x));
        CheckOdd(zmath::Atan, "Atan", x);
    }
    for (int i = 0; i < 1000; i++) {  // around the interval boundaries 7/16 .. 39/16
        const double x = random.Uniform(0.25, 3.0);
        atan.Add(zmath::Atan(x), std::atan(static_cast<long double>(x)), Show(x));
    }
    atan.Check();
}

TEST_F(MathlibAccuracy, ExpExpm1) {
    Random random(4);
    ErrorTracker exp("Exp");
    ErrorTracker expm1("Expm1");
    std::vector<double> args;
    for (int i = 0; i < 3000; i++) args.push_back(random.Uniform(-745.0, 709.78));
    for (int i = 0; i < 1000; i++) args.push_back(random.Uniform(-3.0, 3.0));
    for (int i = 0; i < 1000; i++) args.push_back(random.WithRandomSign(random.LogUniform(-60, 0)));
    for (double x : args) {
        const long double lx = x;
        exp.Add(zmath::Exp(x), std::exp(lx), Show(x));
        expm1.Add(zmath::Expm1(x), std::expm1(lx), Show(x));
    }
    exp.Check();
    expm1.Check();
}

TEST_F(MathlibAccuracy, LogLog10) {
    Random random(5);
    std::vector<double> args;
    for (int i = 0; i < 3000; i++) args.push_back(random.PositiveFinite());
    for (int i = 0; i < 1000; i++) args.push_back(1.0 + random.Uniform(-0x1p-8, 0x1p-8));
    for (int i = 0; i < 1000; i++) args.push_back(random.Uniform(0.5, 2.0));
    ErrorTracker log("Log");
    ErrorTracker log10("Log10");
    for (double x : args) {
        const long double lx = x;
        log.Add(zmath::Log(x), std::log(lx), Show(x));
        log10.Add(zmath::Log10(x), std::log10(lx), Show(x));
    }
    log.Check();
    log10.Check();
}

// ln(x * 2^exponent) = ln(m) + k*ln2 with m in [sqrt(2)/2, sqrt(2)) and k an
// exact integer, so the two long double terms never cancel badly.
long double LogScaledReference(double x, int exponent) {
    int k = 0;
    long double m = std::frexp(static_cast<long double>(x), &k);  // m in [0.5, 1)
    if (m < 0.70710678118654752440L) {
        m *= 2;
        k -= 1;
    }
    return std::log(m) + static_cast<long double>(k + exponent) * kLn2;
}

TEST_F(MathlibAccuracy, LogScaled) {
    Random random(6);
    ErrorTracker logScaled("LogScaled");
    for (int i = 0; i < 3000; i++) {
        const double x = random.PositiveFinite();
        const int exponent = random.Int(-2200, 2200);
        logScaled.Add(zmath::LogScaled(x, exponent), LogScaledReference(x, exponent),
                      Show(x) + " * 2^" + std::to_string(exponent));
    }
    for (int i = 0; i < 1000; i++) {  // x * 2^exponent near 1, where the two parts cancel
        const int exponent = random.Int(-1000, 1000);
        const double x = std::ldexp(1.0 + random.Uniform(-0x1p-10, 0x1p-10), -exponent);
        logScaled.Add(zmath::LogScaled(x, exponent), LogScaledReference(x, exponent),
                      Show(x) + " * 2^" + std::to_string(exponent));
    }
    logScaled.Check();
}

// A reference for pow that stays accurate when |y * log2(x)| approaches
// 1075: the exponent must then be known to far more than 64 bits, which
// some hosts' powl does not achieve. log2(x) is carried in two long doubles
// (an atanh series after an exactly rounded reduction), multiplied by y
// exactly, and only the fraction of the exponent goes to exp2l.
struct LongPair {
    long double hi;
    long double lo;
};

LongPair FastTwoSumL(long double a, long double b) {
    const long double s = a + b;
    return {s, b - (s - a)};
}

LongPair TwoProductL(long double a, long double b) {
    constexpr long double kSplitter = 0x1p32L + 1.0L;
    const long double p = a * b;
    long double t = kSplitter * a;
    const long double ah = t - (t - a);
    const long double al = a - ah;
    t = kSplitter * b;
    const long double bh = t - (t - b);
    const long double bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

LongPair MultiplyL(LongPair a, LongPair b) {
    const LongPair p = TwoProductL(a.hi, b.hi);
    return FastTwoSumL(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

long double PowReference(double x, double y) {
    constexpr LongPair kInvLn2 = {0xb8aa3b295c17f0bcp-63L, -0x82f0025f2dc582eep-128L};
    int e = 0;
    long double m = std::frexp(static_cast<long double>(std::fabs(x)), &e);
    if (m < 0.70710678118654752440L) {
        m *= 2;
        e -= 1;
    }
    // log(m) = 2 atanh(s), s = (m-1)/(m+1) in two parts: m-1 and m+1 are exact.
    const long double num = m - 1.0L;
    const long double den = m + 1.0L;
    const long double s = num / den;
    const LongPair back = TwoProductL(s, den);
    const long double sLo = ((num - back.hi) - back.lo) / den;
    const long double s2 = s * s;
    long double series = 0.0L;
    for (int k = 29; k >= 3; k -= 2) series = 1.0L / k + s2 * series;
    const LongPair logM = FastTwoSumL(2 * s, 2 * sLo + 2 * s * s2 * series);
    const LongPair log2M = MultiplyL(logM, kInvLn2);
    // y * log2(x) = y*e + y*log2(m); y*e is exact in a long double.
    const long double ye = static_cast<long double>(y) * e;
    const LongPair z = MultiplyL({y, 0.0L}, log2M);
    const long double n1 = std::round(ye);
    const long double n2 = std::round(z.hi);
    long double f = (ye - n1) + (z.hi - n2) + z.lo;
    long double n = n1 + n2;
    const long double shift = std::round(f);
    f -= shift;
    n += shift;
    const long double magnitude = std::ldexp(std::exp2(f), static_cast<int>(n));
    const bool odd = x < 0 && std::fmod(y, 2.0) != 0.0;
    return odd ? -magnitude : magnitude;
}

TEST_F(MathlibAccuracy, Pow) {
    Random random(7);
    ErrorTracker pow("Pow");
    for (int i = 0; i < 3000; i++) {
        const double x = random.LogUniform(-30, 30);
        int exponent = 0;
        std::frexp(x, &exponent);
        // Keep |y * log2(x)| below about 1000, so the result is finite or
        // gently subnormal.
        const double limit = 1000.0 / (std::abs(exponent) + 1);
        const double y = random.Uniform(-limit, limit);
        pow.Add(zmath::Pow(x, y), PowReference(x, y), Show(x) + " ^ " + Show(y));
    }
    for (int i = 0; i < 1000; i++) {  // x near 1 with large y
        const double d = random.Uniform(-0x1p-20, 0x1p-20);
        const double x = 1.0 + d;
        const double y =
            random.WithRandomSign(random.Uniform(1.0, 700.0) / (std::fabs(d) + 0x1p-60));
        pow.Add(zmath::Pow(x, y), PowReference(x, y), Show(x) + " ^ " + Show(y));
    }
    for (int i = 0; i < 1000; i++) {  // negative bases with integer exponents
        const double x = -random.Uniform(0.5, 16.0);
        const double y = random.Int(-200, 200);
        pow.Add(zmath::Pow(x, y), PowReference(x, y), Show(x) + " ^ " + Show(y));
    }
    for (int i = 0; i < 500; i++) {  // near -1 with large odd and even exponents
        const double y = random.WithRandomSign(static_cast<double>(random.Next() >> 22));
        const double x = -(1.0 + random.Uniform(-600.0, 600.0) / y);
        pow.Add(zmath::Pow(x, y), PowReference(x, y), Show(x) + " ^ " + Show(y));
    }
    for (int i = 0; i < 500; i++) {  // subnormal bases
        const double x = FromBits(random.Next() >> 12);
        const double y = random.Uniform(-0.9, 0.9);
        pow.Add(zmath::Pow(x, y), PowReference(x, y), Show(x) + " ^ " + Show(y));
    }
    pow.Check();
}

TEST_F(MathlibAccuracy, SinhCoshTanh) {
    Random random(8);
    std::vector<double> args;
    for (int i = 0; i < 3000; i++) args.push_back(random.Uniform(-710.4, 710.4));
    for (int i = 0; i < 2000; i++) args.push_back(random.WithRandomSign(random.LogUniform(-40, 5)));
    ErrorTracker sinh("Sinh");
    ErrorTracker cosh("Cosh");
    ErrorTracker tanh("Tanh");
    for (double x : args) {
        const long double lx = x;
        sinh.Add(zmath::Sinh(x), std::sinh(lx), Show(x));
        cosh.Add(zmath::Cosh(x), std::cosh(lx), Show(x));
        tanh.Add(zmath::Tanh(x), std::tanh(lx), Show(x));
        CheckOdd(zmath::Sinh, "Sinh", x);
        CheckEven(zmath::Cosh, "Cosh", x);
        CheckOdd(zmath::Tanh, "Tanh", x);
    }
    sinh.Check();
    cosh.Check();
    tanh.Check();
}

TEST_F(MathlibAccuracy, FloorCeilAreExact) {
    Random random(9);
    for (int i = 0; i < 5000; i++) {
        const double x = random.WithRandomSign(random.LogUniform(-3, 56));
        const long double lx = x;
        ASSERT_TRUE(Identical(static_cast<double>(std::floor(lx)), zmath::Floor(x)))
            << "Floor(" << Show(x) << ")";
        ASSERT_TRUE(Identical(static_cast<double>(std::ceil(lx)), zmath::Ceil(x)))
            << "Ceil(" << Show(x) << ")";
    }
}

}  // namespace
