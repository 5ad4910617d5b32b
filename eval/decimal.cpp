// Decimal text to double and double to decimal digits, independent of the
// host's C library. The reading is correctly rounded (ties to even): short
// literals take the exact fast path, everything else goes through exact big
// integer arithmetic. The digits come from std::to_chars, which is exact and
// locale-free in every build.
#include "eval/decimal.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Unsigned big integer, little-endian 32-bit limbs, fixed capacity: enough for
// a 1,024-digit mantissa shifted past a divisor of 10^1360.
struct BigNum {
    static constexpr int Capacity = 320;
    uint32_t limb[Capacity];
    int size;  // limbs in use; limb[size-1] != 0 unless size == 0
};

void BigSetZero(BigNum& a) {
    a.size = 0;
}

void BigTrim(BigNum& a) {
    while (a.size > 0 && a.limb[a.size - 1] == 0) a.size--;
}

// a = a * m + add
void BigMulAdd(BigNum& a, uint32_t m, uint32_t add) {
    uint64_t carry = add;
    for (int i = 0; i < a.size; i++) {
        uint64_t t = uint64_t(a.limb[i]) * m + carry;
        a.limb[i] = uint32_t(t);
        carry = t >> 32;
    }
    if (carry != 0 && a.size < BigNum::Capacity) a.limb[a.size++] = uint32_t(carry);
}

void BigMulPow10(BigNum& a, int power) {
    for (; power >= 9; power -= 9) BigMulAdd(a, 1000000000u, 0);
    static const uint32_t small[9] = {1,      10,      100,      1000,     10000,
                                      100000, 1000000, 10000000, 100000000};
    if (power > 0) BigMulAdd(a, small[power], 0);
}

int BigBitLength(const BigNum& a) {
    if (a.size == 0) return 0;
    int bits = 32 * (a.size - 1);
    for (uint32_t top = a.limb[a.size - 1]; top != 0; top >>= 1) bits++;
    return bits;
}

void BigShiftLeft(BigNum& a, int shift) {
    if (a.size == 0 || shift == 0) return;
    int limbs = shift / 32;
    int bits = shift % 32;
    int newSize = a.size + limbs + 1;
    if (newSize > BigNum::Capacity) newSize = BigNum::Capacity;
    for (int i = newSize - 1; i >= 0; i--) {
        int src = i - limbs;
        uint32_t hi = (src >= 0 && src < a.size) ? a.limb[src] : 0;
        uint32_t lo = (src - 1 >= 0 && src - 1 < a.size) ? a.limb[src - 1] : 0;
        a.limb[i] = bits == 0 ? hi : (hi << bits) | (lo >> (32 - bits));
    }
    a.size = newSize;
    BigTrim(a);
}

void BigShiftRight(BigNum& a, int shift) {
    int limbs = shift / 32;
    int bits = shift % 32;
    if (limbs >= a.size) {
        a.size = 0;
        return;
    }
    for (int i = 0; i < a.size - limbs; i++) {
        uint32_t lo = a.limb[i + limbs];
        uint32_t hi = i + limbs + 1 < a.size ? a.limb[i + limbs + 1] : 0;
        a.limb[i] = bits == 0 ? lo : (lo >> bits) | (hi << (32 - bits));
    }
    a.size -= limbs;
    BigTrim(a);
}

int BigCompare(const BigNum& a, const BigNum& b) {
    if (a.size != b.size) return a.size < b.size ? -1 : 1;
    for (int i = a.size - 1; i >= 0; i--) {
        if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i] ? -1 : 1;
    }
    return 0;
}

// a -= b, where a >= b
void BigSubtract(BigNum& a, const BigNum& b) {
    int64_t borrow = 0;
    for (int i = 0; i < a.size; i++) {
        int64_t t = int64_t(a.limb[i]) - (i < b.size ? b.limb[i] : 0) - borrow;
        borrow = t < 0;
        a.limb[i] = uint32_t(t + (borrow << 32));
    }
    BigTrim(a);
}

// The top 64 bits of a (a must have at least 64 bits), and whether any bit
// below them is set.
uint64_t BigTop64(const BigNum& a, bool* sticky) {
    int bits = BigBitLength(a);
    int low = bits - 64;  // index of the lowest bit taken
    uint64_t top = 0;
    for (int i = 63; i >= 0; i--) {
        int bit = low + i;
        top = (top << 1) | ((a.limb[bit / 32] >> (bit % 32)) & 1);
    }
    bool rest = false;
    for (int bit = 0; bit < low && !rest; bit++) rest = (a.limb[bit / 32] >> (bit % 32)) & 1;
    *sticky = rest;
    return top;
}

double FromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The double nearest to top * 2^exp2 (top has its bit 63 set), where sticky
// says that the exact value lies strictly above top * 2^exp2. Ties to even;
// handles subnormals and overflow.
double RoundToDouble(uint64_t top, bool sticky, int exp2) {
    // The value is 1.xxx * 2^(exp2 + 63).
    int e = exp2 + 63;
    int keep = 53;  // significant bits the result can hold
    if (e < -1022) keep = 53 - (-1022 - e);
    if (keep < 0) return 0.0;  // below half the smallest subnormal
    int drop = 64 - keep;
    uint64_t mant = keep == 0 ? 0 : top >> drop;
    uint64_t rest = drop >= 64 ? top : top & ((uint64_t(1) << drop) - 1);
    uint64_t half = uint64_t(1) << (drop - 1);
    if (rest > half || (rest == half && (sticky || (mant & 1)))) {
        mant++;
        if (keep == 53 && mant == (uint64_t(1) << 53)) {
            mant >>= 1;
            e++;
        }
    }
    if (e > 1023) return std::numeric_limits<double>::infinity();
    if (e < -1022 || mant < (uint64_t(1) << 52)) {
        // Subnormal (or rounded up into the smallest normal, which the
        // encoding below handles since mant then carries bit 52).
        return FromBits(mant);
    }
    return FromBits((uint64_t(e + 1023) << 52) | (mant & ((uint64_t(1) << 52) - 1)));
}

const double ExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Correctly rounded value of digits * 10^exp10, where digits are the
// significant decimal digits (no leading zeros, count >= 1).
double DecimalToDouble(const char* digits, int count, int exp10) {
    if (count + exp10 > 310) return std::numeric_limits<double>::infinity();
    if (count + exp10 < -326) return 0.0;

    if (count <= 19 && exp10 >= -22 && exp10 <= 22) {
        uint64_t n = 0;
        for (int i = 0; i < count; i++) n = n * 10 + uint64_t(digits[i] - '0');
        if (n <= (uint64_t(1) << 53)) {
            // Both operands are exact doubles, so one correctly rounded
            // operation gives the correctly rounded result.
            double d = double(n);
            return exp10 >= 0 ? d * ExactPowersOfTen[exp10] : d / ExactPowersOfTen[-exp10];
        }
    }

    BigNum num;
    BigSetZero(num);
    for (int i = 0; i < count; i++) {
        if (num.size == 0) {
            num.limb[0] = uint32_t(digits[i] - '0');
            num.size = num.limb[0] != 0;
        } else {
            BigMulAdd(num, 10, uint32_t(digits[i] - '0'));
        }
    }
    if (exp10 >= 0) {
        BigMulPow10(num, exp10);
        int bits = BigBitLength(num);
        int shift = bits < 64 ? 64 - bits : 0;
        BigShiftLeft(num, shift);
        bool sticky;
        uint64_t top = BigTop64(num, &sticky);
        return RoundToDouble(top, sticky, BigBitLength(num) - 64 - shift);
    }
    // num / 10^-exp10: shift num so that the quotient has 65 or 66 bits, then
    // divide bit by bit over those bits only; the remainder supplies the
    // sticky bit.
    BigNum den;
    den.limb[0] = 1;
    den.size = 1;
    BigMulPow10(den, -exp10);
    int shift = BigBitLength(den) - BigBitLength(num) + 65;
    if (shift >= 0) {
        BigShiftLeft(num, shift);
    } else {
        BigShiftLeft(den, -shift);  // a long mantissa: scale the divisor instead
    }
    int low = BigBitLength(num) - BigBitLength(den);  // quotient bits below the first
    BigNum part = num;
    BigShiftRight(part, low);
    uint64_t quotientHigh = 0;  // the bits above the low 64 (a few at most)
    uint64_t quotient = 0;
    for (int bit = low;; bit--) {
        quotientHigh = (quotientHigh << 1) | (quotient >> 63);
        quotient <<= 1;
        if (BigCompare(part, den) >= 0) {
            BigSubtract(part, den);
            quotient |= 1;
        }
        if (bit == 0) break;
        BigShiftLeft(part, 1);
        if ((num.limb[(bit - 1) / 32] >> ((bit - 1) % 32)) & 1) {
            if (part.size == 0) part.size = 1, part.limb[0] = 0;
            part.limb[0] |= 1;
        }
    }
    bool sticky = part.size != 0;
    // Normalise the quotient to exactly 64 significant bits.
    int extra = 0;
    while (quotientHigh != 0) {
        sticky = sticky || (quotient & 1);
        quotient = (quotient >> 1) | (quotientHigh << 63);
        quotientHigh >>= 1;
        extra++;
    }
    while (!(quotient >> 63)) {
        quotient <<= 1;
        extra--;
    }
    return RoundToDouble(quotient, sticky, extra - shift);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

double ClassicAtof(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';

    // Mantissa: the significant digits (leading zeros dropped) and the
    // power of ten of the last one kept.
    char digits[1100];
    int count = 0;
    int exp10 = 0;
    bool sawDigit = false;
    bool sawPoint = false;
    bool nonzeroDropped = false;  // digits beyond the buffer that are not zero
    for (;; p++) {
        if (IsDigit(*p)) {
            sawDigit = true;
            if (count == 0 && *p == '0') {
                if (sawPoint) exp10--;
                continue;
            }
            if (count < int(sizeof digits)) {
                digits[count++] = *p;
                if (sawPoint) exp10--;
            } else {
                if (*p != '0') nonzeroDropped = true;
                if (!sawPoint) exp10++;
            }
        } else if (*p == '.' && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
    }
    if (!sawDigit) return 0.0;
    if (nonzeroDropped) {
        // Far below the last kept digit: it can only matter as a tie breaker,
        // which a final 1 provides without changing anything else.
        digits[count - 1] = digits[count - 1] == '0' ? '1' : digits[count - 1];
    }

    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') expNegative = *q++ == '-';
        if (IsDigit(*q)) {
            int e = 0;
            for (; IsDigit(*q); q++) {
                if (e < 100000) e = e * 10 + (*q - '0');
            }
            exp10 += expNegative ? -e : e;
        }
    }

    while (count > 0 && digits[count - 1] == '0') {
        count--;
        exp10++;
    }
    double value = count == 0 ? 0.0 : DecimalToDouble(digits, count, exp10);
    return negative ? -value : value;
}

void SeventeenDigits(double value, char digits[17], int* exponent) {
    if (value < 0) value = -value;
    if (value == 0) {
        std::memset(digits, '0', 17);
        *exponent = 0;
        return;
    }
    // "d.dddddddddddddddde+XXX": correctly rounded, ties to even.
    char text[32];
    std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16);
    digits[0] = text[0];
    std::memcpy(digits + 1, text + 2, 16);
    const char* e = text + 19;  // the exponent sign
    int magnitude = 0;
    for (const char* q = e + 1; q < r.ptr; q++) magnitude = magnitude * 10 + (*q - '0');
    *exponent = *e == '-' ? -magnitude : magnitude;
}
