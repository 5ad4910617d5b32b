// The evaluator's elementary functions, written so that every build computes
// the same bits on every host: they use nothing but IEEE double arithmetic with
// round-to-nearest, correctly rounded square roots and integer operations on
// the representation, and never the host's mathematics library, whose results
// differ between C runtimes.
//
// The algorithms, coefficients and much of the code are fdlibm's, ported from
// FreeBSD's lib/msun/src: e_rem_pio2.c, k_rem_pio2.c, k_sin.c, k_cos.c,
// k_tan.c, s_sin.c, s_cos.c, s_tan.c, e_asin.c, e_acos.c, s_atan.c, e_exp.c,
// s_expm1.c, e_log.c, e_log10.c, k_log.h, e_pow.c, e_sinh.c, e_cosh.c,
// s_tanh.c, s_floor.c and s_ceil.c. Two departures: sinh, cosh and tanh keep
// fdlibm's formulas but evaluate them in double-double arithmetic, and pow
// no longer uses its short series for log(x) when |y| > 2^31. Those files
// carry the following notices.
//
//   ====================================================
//   Copyright (C) 1993 by Sun Microsystems, Inc. All rights reserved.
//
//   Developed at SunSoft, a Sun Microsystems, Inc. business.
//   Permission to use, copy, modify, and distribute this
//   software is freely granted, provided that this notice
//   is preserved.
//   ====================================================
//
// (the s_*.c files read "Developed at SunPro"; e_rem_pio2.c adds "Optimized
// by Bruce D. Evans."), and for e_exp.c, e_pow.c and k_tan.c:
//
//   ====================================================
//   Copyright (C) 2004 by Sun Microsystems, Inc. All rights reserved.
//
//   Permission to use, copy, modify, and distribute this
//   software is freely granted, provided that this notice
//   is preserved.
//   ====================================================

#include "eval/mathlib.h"

#include <cstdint>
#include <cstring>

namespace zmath {
namespace {

// ---------------------------------------------------------------------------
// Access to the representation. fdlibm works on the two 32-bit halves of a
// double; memcpy keeps that free of aliasing problems.

uint64_t ToBits(double x) {
    uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double FromBits(uint64_t u) {
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

// Signed, as in fdlibm, so that "hx < 0" tests the sign bit.
int32_t HighWord(double x) {
    return static_cast<int32_t>(static_cast<uint32_t>(ToBits(x) >> 32));
}

uint32_t LowWord(double x) {
    return static_cast<uint32_t>(ToBits(x));
}

double FromWords(uint32_t high, uint32_t low) {
    return FromBits(static_cast<uint64_t>(high) << 32 | low);
}

double WithHighWord(double x, uint32_t high) {
    return FromWords(high, LowWord(x));
}

// Drops the low 32 bits so that products with the result are exact.
double ClearLowWord(double x) {
    return FromBits(ToBits(x) & 0xffffffff00000000u);
}

double Abs(double x) {
    return FromBits(ToBits(x) & 0x7fffffffffffffffu);
}

// Adds n to the exponent field held in the high word; shifting a negative n
// left would be undefined, so the arithmetic is done unsigned.
int32_t AddToExponent(int32_t high, int n) {
    return static_cast<int32_t>(static_cast<uint32_t>(high) + (static_cast<uint32_t>(n) << 20));
}

// 2^k for -1022 <= k <= 1023.
double PowerOfTwo(int k) {
    return FromBits(static_cast<uint64_t>(0x3ff + k) << 52);
}

constexpr double kHuge = 1.0e300;
constexpr double kTiny = 1.0e-300;

// x * 2^n with a single rounding. A result in the subnormal range is reached by
// first scaling to just above it, so that only the last multiplication rounds.
double ScaleB(double x, int n) {
    if (n > 1023) {
        x *= 0x1p1023;
        n -= 1023;
        if (n > 1023) {
            x *= 0x1p1023;
            n -= 1023;
            if (n > 1023) n = 1023;
        }
    } else if (n < -1022) {
        x *= 0x1p-1022 * 0x1p53;
        n += 1022 - 53;
        if (n < -1022) {
            x *= 0x1p-1022 * 0x1p53;
            n += 1022 - 53;
            if (n < -1022) n = -1022;
        }
    }
    return x * PowerOfTwo(n);
}

// ---------------------------------------------------------------------------
// Argument reduction for the trigonometric functions: x - n*pi/2 as y[0] + y[1].

// The bits of 2/pi after the binary point, 24 to an entry. Large arguments use
// at most the first (1000 - 3) / 24 + 4 entries plus those a recomputation adds.
constexpr int32_t kTwoOverPi[] = {
    0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041, 0xFE5163,
    0xABDEBB, 0xC561B7, 0x246E3A, 0x424DD2, 0xE00649, 0x2EEA09, 0xD1921C, 0xFE1DEB, 0x1CB129,
    0xA73EE8, 0x8235F5, 0x2EBB44, 0x84E99C, 0x7026B4, 0x5F7E41, 0x3991D6, 0x398353, 0x39F49C,
    0x845F8B, 0xBDF928, 0x3B1FF8, 0x97FFDE, 0x05980F, 0xEF2F11, 0x8B5A0A, 0x6D1F6D, 0x367ECF,
    0x27CB09, 0xB74F46, 0x3F669E, 0x5FEA2D, 0x7527BA, 0xC7EBE5, 0xF17B3D, 0x0739F7, 0x8A5292,
    0xEA6BFB, 0x5FB11F, 0x8D5D08, 0x560330, 0x46FC7B, 0x6BABF0, 0xCFBC20, 0x9AF436, 0x1DA9E3,
    0x91615E, 0xE61B08, 0x659985, 0x5F14A0, 0x68408D, 0xFFD880, 0x4D7327, 0x310606, 0x1556CA,
    0x73A8C9, 0x60E27B, 0xC08C6B,
};

// pi/2 cut into pieces of 24 bits, so that products with 24-bit integers are exact.
constexpr double kPio2Pieces[] = {
    0x1.921fb4p+0,  0x1.4442dp-24,   0x1.846988p-48,  0x1.8cc516p-72,
    0x1.01b838p-96, 0x1.a25204p-120, 0x1.382228p-145, 0x1.9f31dp-169,
};

constexpr double kTwo24 = 0x1p24;
constexpr double kTwoM24 = 0x1p-24;

// Payne-Hanek reduction (k_rem_pio2.c at double precision). x[0..nx-1] are the
// 24-bit pieces of |x|, x[0] scaled by 2^e0. Only the bits of 2/pi that can
// affect the fraction and the last three bits of the quotient are multiplied
// in, so the cost does not grow with the exponent. Returns the quotient mod 8.
int KernelRemPio2(const double* x, double* y, int e0, int nx) {
    // Two more terms than the precision strictly needs, so that the test for
    // cancellation below (up to 24 integer and 23 fraction bits) is reliable.
    constexpr int jk = 4;
    constexpr int jp = jk;
    int32_t iq[20];
    double f[20], q[20];
    double fq[20] = {};  // zeroed only to reassure the compiler: jz >= 0 always

    const int jx = nx - 1;
    int jv = (e0 - 3) / 24;
    if (jv < 0) jv = 0;
    int q0 = e0 - 24 * (jv + 1);

    int j = jv - jx;
    for (int i = 0; i <= jx + jk; i++, j++) f[i] = j < 0 ? 0.0 : static_cast<double>(kTwoOverPi[j]);

    for (int i = 0; i <= jk; i++) {
        double fw = 0.0;
        for (j = 0; j <= jx; j++) fw += x[j] * f[jx + i - j];
        q[i] = fw;
    }

    int jz = jk;
    int n = 0;
    int ih = 0;
    double z = 0.0;
    for (;;) {
        // Distil q[] into 24-bit integers, most significant last.
        int i = 0;
        z = q[jz];
        for (j = jz; j > 0; i++, j--) {
            const double fw = static_cast<double>(static_cast<int32_t>(kTwoM24 * z));
            iq[i] = static_cast<int32_t>(z - kTwo24 * fw);
            z = q[j - 1] + fw;
        }

        z = ScaleB(z, q0);
        z -= 8.0 * Floor(z * 0.125);  // multiples of 8 do not change the quadrant
        n = static_cast<int32_t>(z);
        z -= static_cast<double>(n);
        ih = 0;
        if (q0 > 0) {  // the integer part reaches into iq[jz-1]
            i = iq[jz - 1] >> (24 - q0);
            n += i;
            iq[jz - 1] -= i << (24 - q0);
            ih = iq[jz - 1] >> (23 - q0);
        } else if (q0 == 0) {
            ih = iq[jz - 1] >> 23;
        } else if (z >= 0.5) {
            ih = 2;
        }

        if (ih > 0) {  // fraction >= 0.5: round n up and use 1 - fraction
            n += 1;
            int carry = 0;
            for (i = 0; i < jz; i++) {
                j = iq[i];
                if (carry == 0) {
                    if (j != 0) {
                        carry = 1;
                        iq[i] = 0x1000000 - j;
                    }
                } else {
                    iq[i] = 0xffffff - j;
                }
            }
            if (q0 == 1) {
                iq[jz - 1] &= 0x7fffff;
            } else if (q0 == 2) {
                iq[jz - 1] &= 0x3fffff;
            }
            if (ih == 2) {
                z = 1.0 - z;
                if (carry != 0) z -= ScaleB(1.0, q0);
            }
        }

        // If every computed fraction bit cancelled, x is very close to a
        // multiple of pi/2: take in more bits of 2/pi and try again.
        if (z != 0.0) break;
        j = 0;
        for (i = jz - 1; i >= jk; i--) j |= iq[i];
        if (j != 0) break;
        int k = 1;
        while (iq[jk - k] == 0) k++;
        for (i = jz + 1; i <= jz + k; i++) {
            f[jx + i] = static_cast<double>(kTwoOverPi[jv + i]);
            double fw = 0.0;
            for (j = 0; j <= jx; j++) fw += x[j] * f[jx + i - j];
            q[i] = fw;
        }
        jz += k;
    }

    // Drop trailing zero pieces, or split the last one if it grew past 24 bits.
    if (z == 0.0) {
        jz -= 1;
        q0 -= 24;
        while (iq[jz] == 0) {
            jz--;
            q0 -= 24;
        }
    } else {
        z = ScaleB(z, -q0);
        if (z >= kTwo24) {
            const double fw = static_cast<double>(static_cast<int32_t>(kTwoM24 * z));
            iq[jz] = static_cast<int32_t>(z - kTwo24 * fw);
            jz += 1;
            q0 += 24;
            iq[jz] = static_cast<int32_t>(fw);
        } else {
            iq[jz] = static_cast<int32_t>(z);
        }
    }

    double fw = ScaleB(1.0, q0);
    for (int i = jz; i >= 0; i--) {
        q[i] = fw * static_cast<double>(iq[i]);
        fw *= kTwoM24;
    }

    for (int i = jz; i >= 0; i--) {
        fw = 0.0;
        for (int k = 0; k <= jp && k <= jz - i; k++) fw += kPio2Pieces[k] * q[i + k];
        fq[jz - i] = fw;
    }

    fw = 0.0;
    for (int i = jz; i >= 0; i--) fw += fq[i];
    y[0] = ih == 0 ? fw : -fw;
    fw = fq[0] - fw;
    for (int i = 1; i <= jz; i++) fw += fq[i];
    y[1] = ih == 0 ? fw : -fw;
    return n & 7;
}

constexpr double kInvPio2 = 0x1.45f306dc9c883p-1;    // 53 bits of 2/pi
constexpr double kPio2_1 = 0x1.921fb544p+0;          // first 33 bits of pi/2
constexpr double kPio2_1t = 0x1.0b4611a626331p-34;   // pi/2 - kPio2_1
constexpr double kPio2_2 = 0x1.0b4611a6p-34;         // second 33 bits of pi/2
constexpr double kPio2_2t = 0x1.3198a2e037073p-69;   // pi/2 - (kPio2_1 + kPio2_2)
constexpr double kPio2_3 = 0x1.3198a2ep-69;          // third 33 bits of pi/2
constexpr double kPio2_3t = 0x1.b839a252049c1p-104;  // pi/2 - (kPio2_1 + kPio2_2 + kPio2_3)

// x - m*pi/2 for m = 1..4 where x is not close to a multiple of pi/2, so that
// one 33+53-bit approximation of pi/2 leaves enough bits.
int ReduceSmallMultiple(double x, bool negative, int m, double* y) {
    const double dm = static_cast<double>(m);
    if (!negative) {
        const double z = x - dm * kPio2_1;
        y[0] = z - dm * kPio2_1t;
        y[1] = (z - y[0]) - dm * kPio2_1t;
        return m;
    }
    const double z = x + dm * kPio2_1;
    y[0] = z + dm * kPio2_1t;
    y[1] = (z - y[0]) + dm * kPio2_1t;
    return -m;
}

// e_rem_pio2.c: reduces |x| > pi/4 to y[0] + y[1] in [-pi/4, pi/4] and returns
// the quotient n (only n mod 4 matters to callers).
int RemPio2(double x, double* y) {
    const int32_t hx = HighWord(x);
    const int32_t ix = hx & 0x7fffffff;
    const bool negative = hx < 0;

    // Near pi/2, 2pi/2, 3pi/2 and 4pi/2 cancellation needs the medium case.
    if (ix <= 0x400f6a7a) {  // |x| ~<= 5pi/4
        if ((ix & 0xfffff) != 0x921fb) {
            return ReduceSmallMultiple(x, negative, ix <= 0x4002d97c ? 1 : 2, y);
        }
    } else if (ix <= 0x401c463b) {  // |x| ~<= 9pi/4
        if (ix <= 0x4015fdbc) {
            if (ix != 0x4012d97c) return ReduceSmallMultiple(x, negative, 3, y);
        } else if (ix != 0x401921fb) {
            return ReduceSmallMultiple(x, negative, 4, y);
        }
    }

    if (ix < 0x413921fb) {  // |x| ~< 2^20 * pi/2
        // Round to nearest by adding and subtracting 1.5 * 2^52.
        double fn = x * kInvPio2 + 0x1.8p52;
        fn = fn - 0x1.8p52;
        const int n = static_cast<int32_t>(fn);
        double r = x - fn * kPio2_1;
        double w = fn * kPio2_1t;  // good to 85 bits
        const int j = ix >> 20;
        y[0] = r - w;
        int i = j - ((HighWord(y[0]) >> 20) & 0x7ff);
        if (i > 16) {  // lost more than 16 bits: a second round, good to 118 bits
            double t = r;
            w = fn * kPio2_2;
            r = t - w;
            w = fn * kPio2_2t - ((t - r) - w);
            y[0] = r - w;
            i = j - ((HighWord(y[0]) >> 20) & 0x7ff);
            if (i > 49) {  // a third round, 151 bits, covers every double
                t = r;
                w = fn * kPio2_3;
                r = t - w;
                w = fn * kPio2_3t - ((t - r) - w);
                y[0] = r - w;
            }
        }
        y[1] = (r - y[0]) - w;
        return n;
    }

    if (ix >= 0x7ff00000) {  // inf or NaN
        y[0] = y[1] = x - x;
        return 0;
    }

    // Split |x| into three 24-bit pieces, the first scaled to [2^23, 2^24).
    const int e0 = (ix >> 20) - 1046;
    double z = FromWords(static_cast<uint32_t>(ix) - (static_cast<uint32_t>(e0) << 20), LowWord(x));
    double tx[3];
    for (int i = 0; i < 2; i++) {
        tx[i] = static_cast<double>(static_cast<int32_t>(z));
        z = (z - tx[i]) * kTwo24;
    }
    tx[2] = z;
    int nx = 3;
    while (tx[nx - 1] == 0.0) nx--;
    double ty[2];
    const int n = KernelRemPio2(tx, ty, e0, nx);
    if (negative) {
        y[0] = -ty[0];
        y[1] = -ty[1];
        return -n;
    }
    y[0] = ty[0];
    y[1] = ty[1];
    return n;
}

// ---------------------------------------------------------------------------
// Kernels on [-pi/4, pi/4]; y is the tail of the reduced argument.

// sin(x) ~ x + S1*x^3 + ... + S6*x^13, |sin(x)/x - poly| <= 2^-58.
constexpr double kS1 = -0x1.5555555555549p-3;
constexpr double kS2 = 0x1.111111110f8a6p-7;
constexpr double kS3 = -0x1.a01a019c161d5p-13;
constexpr double kS4 = 0x1.71de357b1fe7dp-19;
constexpr double kS5 = -0x1.ae5e68a2b9cebp-26;
constexpr double kS6 = 0x1.5d93a5acfd57cp-33;

// Callers handle -0, which the odd polynomial would turn into +0.
double KernelSin(double x, double y, bool hasTail) {
    const double z = x * x;
    const double w = z * z;
    const double r = kS2 + z * (kS3 + z * kS4) + z * w * (kS5 + z * kS6);
    const double v = z * x;
    if (!hasTail) return x + v * (kS1 + z * r);
    // sin(x+y) ~ sin(x) + (1 - x*x/2)*y
    return x - ((z * (0.5 * y - v * r) - y) - v * kS1);
}

// cos(x) ~ 1 - x^2/2 + C1*x^4 + ... + C6*x^14, error <= 2^-58.
constexpr double kC1 = 0x1.555555555554cp-5;
constexpr double kC2 = -0x1.6c16c16c15177p-10;
constexpr double kC3 = 0x1.a01a019cb159p-16;
constexpr double kC4 = -0x1.27e4f809c52adp-22;
constexpr double kC5 = 0x1.1ee9ebdb4b1c4p-29;
constexpr double kC6 = -0x1.8fae9be8838d4p-37;

double KernelCos(double x, double y) {
    const double z = x * x;
    double w = z * z;
    const double r = z * (kC1 + z * (kC2 + z * kC3)) + w * w * (kC4 + z * (kC5 + z * kC6));
    const double hz = 0.5 * z;
    w = 1.0 - hz;
    // (1 - w) - hz recovers the rounding error of w, so w + tmp is 1 - x*x/2
    // to well beyond double precision; cos(x+y) ~ cos(x) - x*y.
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// tan(x) ~ x + T[0]*x^3 + ... + T[12]*x^27 on [0, 0.67434], error <= 2^-59.2.
constexpr double kT[] = {
    0x1.5555555555563p-2,  0x1.111111110fe7ap-3,  0x1.ba1ba1bb341fep-5,  0x1.664f48406d637p-6,
    0x1.226e3e96e8493p-7,  0x1.d6d22c9560328p-9,  0x1.7dbc8fee08315p-10, 0x1.344d8f2f26501p-11,
    0x1.026f71a8d1068p-12, 0x1.47e88a03792a6p-14, 0x1.2b80f32f0a7e9p-14, -0x1.375cbdb605373p-16,
    0x1.b2a7074bf7ad4p-16,
};
constexpr double kPio4 = 0x1.921fb54442d18p-1;
constexpr double kPio4Lo = 0x1.1a62633145c07p-55;

// Returns tan(x+y) for iy == 1 and -1/tan(x+y) for iy == -1. Callers handle -0.
double KernelTan(double x, double y, int iy) {
    const int32_t hx = HighWord(x);
    const int32_t ix = hx & 0x7fffffff;
    const bool big = ix >= 0x3FE59428;  // |x| >= 0.6744
    if (big) {
        // tan(pi/4 - y) = (1 - tan(y)) / (1 + tan(y)) keeps the argument of
        // the polynomial small near pi/4.
        if (hx < 0) {
            x = -x;
            y = -y;
        }
        const double z = kPio4 - x;
        const double w = kPio4Lo - y;
        x = z + w;
        y = 0.0;
    }
    const double z = x * x;
    double w = z * z;
    // Odd and even halves of x^5*(T[1] + x^2*T[2] + ...) evaluated separately
    // to shorten the dependency chain.
    double r = kT[1] + w * (kT[3] + w * (kT[5] + w * (kT[7] + w * (kT[9] + w * kT[11]))));
    double v = z * (kT[2] + w * (kT[4] + w * (kT[6] + w * (kT[8] + w * (kT[10] + w * kT[12])))));
    double s = z * x;
    r = y + z * (s * (r + v) + y);
    r += kT[0] * s;
    w = x + r;
    if (big) {
        v = static_cast<double>(iy);
        return static_cast<double>(1 - ((hx >> 30) & 2)) * (v - 2.0 * (x - (w * w / (w + v) - r)));
    }
    if (iy == 1) return w;
    // -1/(x+r) to within an ulp: split w and -1/w into halves whose products
    // are exact, then apply one Newton step.
    const double zh = ClearLowWord(w);
    v = r - (zh - x);  // zh + v = x + r
    const double a = -1.0 / w;
    const double t = ClearLowWord(a);
    s = 1.0 + t * zh;
    return t + a * (s + t * v);
}

// ---------------------------------------------------------------------------
// Shared by asin and acos: (asin(x) - x) / x^3 ~ R(x^2) = P/Q on [0, 0.5],
// error < 2^-58.75; z is x^2.

constexpr double kPio2Hi = 0x1.921fb54442d18p+0;
constexpr double kPio2Lo = 0x1.1a62633145c07p-54;
constexpr double kPi = 0x1.921fb54442d18p+1;

double AsinRatio(double z) {
    constexpr double pS0 = 0x1.5555555555555p-3;
    constexpr double pS1 = -0x1.4d61203eb6f7dp-2;
    constexpr double pS2 = 0x1.9c1550e884455p-3;
    constexpr double pS3 = -0x1.48228b5688f3bp-5;
    constexpr double pS4 = 0x1.9efe07501b288p-11;
    constexpr double pS5 = 0x1.23de10dfdf709p-15;
    constexpr double qS1 = -0x1.33a271c8a2d4bp+1;
    constexpr double qS2 = 0x1.02ae59c598ac8p+1;
    constexpr double qS3 = -0x1.6066c1b8d0159p-1;
    constexpr double qS4 = 0x1.3b8c5b12e9282p-4;
    const double p = z * (pS0 + z * (pS1 + z * (pS2 + z * (pS3 + z * (pS4 + z * pS5)))));
    const double q = 1.0 + z * (qS1 + z * (qS2 + z * (qS3 + z * qS4)));
    return p / q;
}

// ---------------------------------------------------------------------------
// Shared by exp, expm1 and pow.

constexpr double kLn2Hi = 0x1.62e42feep-1;  // trailing zeros make k*kLn2Hi exact
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
constexpr double kExpOverflow = 0x1.62e42fefa39efp+9;  // above this exp(x) overflows

// R(z) ~ r*(exp(r)+1)/(exp(r)-1) = 2 + P1*z + ... + P5*z^5, z = r*r, error <= 2^-59.
constexpr double kP1 = 0x1.555555555553ep-3;
constexpr double kP2 = -0x1.6c16c16bebd93p-9;
constexpr double kP3 = 0x1.1566aaf25de2cp-14;
constexpr double kP4 = -0x1.bbd41c5d26bf1p-20;
constexpr double kP5 = 0x1.6376972bea4dp-25;

// ---------------------------------------------------------------------------
// Shared by log and log10: log(1+f) = 2s + s*R(s^2), s = f/(2+f), with R a
// polynomial on [0, 0.1716], error <= 2^-58.45.

constexpr double kLg1 = 0x1.5555555555593p-1;
constexpr double kLg2 = 0x1.999999997fa04p-2;
constexpr double kLg3 = 0x1.2492494229359p-2;
constexpr double kLg4 = 0x1.c71c51d8e78afp-3;
constexpr double kLg5 = 0x1.7466496cb03dep-3;
constexpr double kLg6 = 0x1.39a09d078c69fp-3;
constexpr double kLg7 = 0x1.2f112df3e5244p-3;

constexpr double kTwo54 = 0x1p54;

// k_log.h: log(1+f) - f for 1+f in [sqrt(2)/2, sqrt(2)]. The final term is
// left to the caller, which adds it in extra precision.
double KernelLog1p(double f) {
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
    const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
    const double r = t2 + t1;
    const double hfsq = 0.5 * f * f;
    return s * (hfsq + r);
}

// e_log.c extended by a power of two: ln(x * 2^extra). The extra exponent is
// simply added to the one taken from x; k*kLn2Hi stays exact for |k| < 2^21.
double LogWithExponent(double x, int extra) {
    int32_t hx = HighWord(x);
    const uint32_t lx = LowWord(x);

    int k = 0;
    if (hx < 0x00100000) {  // below 2^-1022, or the sign bit is set
        if (((hx & 0x7fffffff) | lx) == 0) return -kTwo54 / 0.0;  // log(+-0) = -inf
        if (hx < 0) return (x - x) / 0.0;                         // negative or NaN: NaN
        // Subnormal: scale up to a normal number.
        k -= 54;
        x *= kTwo54;
        hx = HighWord(x);
    }
    if (hx >= 0x7ff00000) return x + x;
    k += (hx >> 20) - 1023;
    hx &= 0x000fffff;
    // Normalize x or x/2 into [sqrt(2)/2, sqrt(2)).
    int32_t i = (hx + 0x95f64) & 0x100000;
    x = WithHighWord(x, static_cast<uint32_t>(hx | (i ^ 0x3ff00000)));
    k += i >> 20;
    // Both terms are exact small integers, so their sum is exact.
    const double dk = static_cast<double>(k) + static_cast<double>(extra);
    const double f = x - 1.0;
    if ((0x000fffff & (2 + hx)) < 3) {  // -2^-20 <= f < 2^-20
        if (f == 0.0) {
            if (dk == 0.0) return 0.0;
            return dk * kLn2Hi + dk * kLn2Lo;
        }
        const double r = f * f * (0.5 - 0.33333333333333333 * f);
        if (dk == 0.0) return f - r;
        return dk * kLn2Hi - ((r - dk * kLn2Lo) - f);
    }
    const double s = f / (2.0 + f);
    const double z = s * s;
    i = hx - 0x6147a;
    const double w = z * z;
    const int32_t j = 0x6b851 - hx;
    const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
    const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
    i |= j;
    const double r = t2 + t1;
    if (i > 0) {  // f is not small: the longer form is more accurate
        const double hfsq = 0.5 * f * f;
        if (dk == 0.0) return f - (hfsq - s * (hfsq + r));
        return dk * kLn2Hi - ((hfsq - (s * (hfsq + r) + dk * kLn2Lo)) - f);
    }
    if (dk == 0.0) return f - s * (f - r);
    return dk * kLn2Hi - ((s * (f - r) - dk * kLn2Lo) - f);
}

// ---------------------------------------------------------------------------
// Double-double arithmetic for the hyperbolic functions. fdlibm's sinh, cosh
// and tanh combine a rounded expm1 or exp with further rounded operations and
// reach errors of about 2.5 ulps; carrying the same formulas in twice the
// precision leaves only the final rounding. Dekker's exact product needs
// -ffp-contract=off, as the whole file does.

struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly, given |a| >= |b| or a == 0.
DoubleDouble FastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a + b exactly.
DoubleDouble TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a * b exactly, for |a|, |b| well inside the range (no overflow in the split).
DoubleDouble TwoProduct(double a, double b) {
    constexpr double kSplitter = 0x1p27 + 1.0;
    const double p = a * b;
    double t = kSplitter * a;
    const double ah = t - (t - a);
    const double al = a - ah;
    t = kSplitter * b;
    const double bh = t - (t - b);
    const double bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DoubleDouble Add(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble s = TwoSum(a.hi, b.hi);
    return FastTwoSum(s.hi, s.lo + (a.lo + b.lo));
}

DoubleDouble Multiply(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble p = TwoProduct(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// One quotient, then the exact remainder gives a correction.
DoubleDouble Divide(DoubleDouble a, DoubleDouble b) {
    const double q = a.hi / b.hi;
    const DoubleDouble p = TwoProduct(q, b.hi);
    const double remainder = (((a.hi - p.hi) - p.lo) + a.lo) - q * b.lo;
    return FastTwoSum(q, remainder / b.hi);
}

// exp(x) = 2^k * (1 + d) for 0 <= x <= 710.5, good to about 2^-57 relative to
// 1 + d, and relative to d itself when k == 0. The reduction is fdlibm's,
// x = k*ln2 + (hi - lo); then exp(r) - 1 = r + r^2/2 + r^3/3! + ... + r^15/15!
// with the first two terms summed exactly.
int ExpKernel(double x, DoubleDouble* d) {
    constexpr double kInverseFactorial[] = {
        0x1.5555555555555p-3,  0x1.5555555555555p-5,  0x1.1111111111111p-7,  0x1.6c16c16c16c17p-10,
        0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-16, 0x1.71de3a556c734p-19, 0x1.27e4fb7789f5cp-22,
        0x1.ae64567f544e4p-26, 0x1.1eed8eff8d898p-29, 0x1.6124613a86d09p-33, 0x1.93974a8c07c9dp-37,
        0x1.ae7f3e733b81fp-41,
    };  // 1/3! to 1/15!

    int k = 0;
    double hi = x;
    double lo = 0.0;
    if (HighWord(x) > 0x3fd62e42) {  // x > ln2/2
        k = static_cast<int>(kInvLn2 * x + 0.5);
        const double t = k;
        hi = x - t * kLn2Hi;  // exact
        lo = t * kLn2Lo;
    }
    const DoubleDouble r = TwoSum(hi, -lo);
    const double s = r.hi;
    const DoubleDouble square = TwoProduct(s, s);
    double poly = kInverseFactorial[12];
    for (int i = 11; i >= 0; i--) poly = kInverseFactorial[i] + s * poly;
    const double cube = s * square.hi;
    const DoubleDouble head = FastTwoSum(s, 0.5 * square.hi);
    // r.lo is far below s, so exp(s + r.lo) - exp(s) ~ r.lo * (1 + s).
    const double tail = head.lo + 0.5 * square.lo + cube * poly + r.lo * (1.0 + s);
    *d = FastTwoSum(head.hi, tail);
    return k;
}

// expm1(x) for 0 <= x <= 44 in double-double.
DoubleDouble Expm1Kernel(double x) {
    DoubleDouble d;
    const int k = ExpKernel(x, &d);
    if (k == 0) return d;
    // 2^k * (1 + d) - 1 by exact steps; 2^k * d is exact too.
    const double scale = PowerOfTwo(k);
    const DoubleDouble u = TwoSum(scale, scale * d.hi);
    const DoubleDouble v = TwoSum(u.hi, -1.0);
    return FastTwoSum(v.hi, v.lo + u.lo + scale * d.lo);
}

// exp(x)/2 for 22 <= x <= the overflow threshold of sinh and cosh: rounds
// 1 + d once, then scales exactly; overflow gives inf.
double HalfExp(double x) {
    DoubleDouble d;
    const int k = ExpKernel(x, &d);
    const DoubleDouble sum = FastTwoSum(1.0, d.hi);
    return ScaleB(sum.hi + (sum.lo + d.lo), k - 1);
}

// Above this |x| sinh and cosh overflow (high and low words).
constexpr int32_t kHyperbolicOverflowHigh = 0x408633ce;
constexpr uint32_t kHyperbolicOverflowLow = 0x8fb9f87d;

}  // namespace

// ---------------------------------------------------------------------------
// Trigonometric functions. After reduction x = n*pi/2 + y with n mod 4 picking
// the kernel: sin = S, C, -S, -C; cos = C, -S, -C, S; tan = T, -1/T.

double Sin(double x) {
    const int32_t ix = HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {             // |x| ~<= pi/4
        if (ix < 0x3e500000) return x;  // |x| < 2^-26: sin(x) rounds to x, keeps -0
        return KernelSin(x, 0.0, false);
    }
    if (ix >= 0x7ff00000) return x - x;  // inf or NaN
    double y[2];
    switch (RemPio2(x, y) & 3) {
        case 0: return KernelSin(y[0], y[1], true);
        case 1: return KernelCos(y[0], y[1]);
        case 2: return -KernelSin(y[0], y[1], true);
        default: return -KernelCos(y[0], y[1]);
    }
}

double Cos(double x) {
    const int32_t ix = HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {
        if (ix < 0x3e46a09e) return 1.0;  // |x| < 2^-27 * sqrt(2): cos(x) rounds to 1
        return KernelCos(x, 0.0);
    }
    if (ix >= 0x7ff00000) return x - x;
    double y[2];
    switch (RemPio2(x, y) & 3) {
        case 0: return KernelCos(y[0], y[1]);
        case 1: return -KernelSin(y[0], y[1], true);
        case 2: return -KernelCos(y[0], y[1]);
        default: return KernelSin(y[0], y[1], true);
    }
}

double Tan(double x) {
    const int32_t ix = HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {
        if (ix < 0x3e400000) return x;  // |x| < 2^-27
        return KernelTan(x, 0.0, 1);
    }
    if (ix >= 0x7ff00000) return x - x;
    double y[2];
    const int n = RemPio2(x, y);
    return KernelTan(y[0], y[1], 1 - ((n & 1) << 1));
}

// asin(x) = x + x^3*R(x^2) for |x| < 0.5; above, asin(x) = pi/2 - 2*asin(sqrt((1-x)/2)),
// with sqrt split into a 32-bit head and a correction where the cancellation
// against pi/2 would otherwise cost accuracy.
double Asin(double x) {
    const int32_t hx = HighWord(x);
    const int32_t ix = hx & 0x7fffffff;
    if (ix >= 0x3ff00000) {  // |x| >= 1
        if (((ix - 0x3ff00000) | static_cast<int32_t>(LowWord(x))) == 0) {
            return x * kPio2Hi + x * kPio2Lo;  // asin(+-1) = +-pi/2
        }
        return (x - x) / (x - x);  // |x| > 1 or NaN
    }
    if (ix < 0x3fe00000) {              // |x| < 0.5
        if (ix < 0x3e500000) return x;  // |x| < 2^-26
        return x + x * AsinRatio(x * x);
    }
    const double w = 1.0 - Abs(x);
    const double t = w * 0.5;
    const double r = AsinRatio(t);
    const double s = __builtin_sqrt(t);
    double result;
    if (ix >= 0x3FEF3333) {  // |x| > 0.975
        result = kPio2Hi - (2.0 * (s + s * r) - kPio2Lo);
    } else {
        const double f = ClearLowWord(s);
        const double c = (t - f * f) / (s + f);  // f + c ~ sqrt(t)
        const double p = 2.0 * s * r - (kPio2Lo - 2.0 * c);
        const double q = kPio4 - 2.0 * f;
        result = kPio4 - (p - q);
    }
    return hx > 0 ? result : -result;
}

// acos(x) = pi/2 - asin(x) for |x| < 0.5; 2*asin(sqrt((1-x)/2)) for x > 0.5;
// pi - 2*asin(sqrt((1+x)/2)) for x < -0.5.
double Acos(double x) {
    const int32_t hx = HighWord(x);
    const int32_t ix = hx & 0x7fffffff;
    if (ix >= 0x3ff00000) {
        if (((ix - 0x3ff00000) | static_cast<int32_t>(LowWord(x))) == 0) {
            if (hx > 0) return 0.0;
            return kPi + 2.0 * kPio2Lo;
        }
        return (x - x) / (x - x);
    }
    if (ix < 0x3fe00000) {
        if (ix <= 0x3c600000) return kPio2Hi + kPio2Lo;  // |x| < 2^-57
        const double r = AsinRatio(x * x);
        return kPio2Hi - (x - (kPio2Lo - x * r));
    }
    if (hx < 0) {
        const double z = (1.0 + x) * 0.5;
        const double s = __builtin_sqrt(z);
        const double w = AsinRatio(z) * s - kPio2Lo;
        return kPi - 2.0 * (s + w);
    }
    const double z = (1.0 - x) * 0.5;
    const double s = __builtin_sqrt(z);
    const double df = ClearLowWord(s);
    const double c = (z - df * df) / (s + df);
    const double w = AsinRatio(z) * s + c;
    return 2.0 * (df + w);
}

// atan(x) = atan(c) + atan((x-c)/(1+x*c)) for c = 0, 1/2, 1, 3/2 or inf picked
// by the size of |x|, then a polynomial on the small remainder.
double Atan(double x) {
    constexpr double atanHi[] = {0x1.dac670561bb4fp-2, 0x1.921fb54442d18p-1, 0x1.f730bd281f69bp-1,
                                 0x1.921fb54442d18p+0};
    constexpr double atanLo[] = {0x1.a2b7f222f65e2p-56, 0x1.1a62633145c07p-55,
                                 0x1.007887af0cbbdp-56, 0x1.1a62633145c07p-54};
    constexpr double aT[] = {
        0x1.555555555550dp-2, -0x1.999999998ebc4p-3, 0x1.24924920083ffp-3, -0x1.c71c6fe231671p-4,
        0x1.745cdc54c206ep-4, -0x1.3b0f2af749a6dp-4, 0x1.10d66a0d03d51p-4, -0x1.dde2d52defd9ap-5,
        0x1.97b4b24760debp-5, -0x1.2b4442c6a6c2fp-5, 0x1.0ad3ae322da11p-6,
    };

    const int32_t hx = HighWord(x);
    const int32_t ix = hx & 0x7fffffff;
    int id;
    if (ix >= 0x44100000) {  // |x| >= 2^66: atan(x) rounds to +-pi/2
        const bool isNaN = ix > 0x7ff00000 || (ix == 0x7ff00000 && LowWord(x) != 0);
        if (isNaN) return x + x;
        if (hx > 0) return atanHi[3] + atanLo[3];
        return -atanHi[3] - atanLo[3];
    }
    if (ix < 0x3fdc0000) {              // |x| < 0.4375
        if (ix < 0x3e400000) return x;  // |x| < 2^-27
        id = -1;
    } else {
        x = Abs(x);
        if (ix < 0x3ff30000) {      // |x| < 1.1875
            if (ix < 0x3fe60000) {  // 7/16 <= |x| < 11/16
                id = 0;
                x = (2.0 * x - 1.0) / (2.0 + x);
            } else {  // 11/16 <= |x| < 19/16
                id = 1;
                x = (x - 1.0) / (x + 1.0);
            }
        } else if (ix < 0x40038000) {  // |x| < 2.4375
            id = 2;
            x = (x - 1.5) / (1.0 + 1.5 * x);
        } else {  // 2.4375 <= |x| < 2^66
            id = 3;
            x = -1.0 / x;
        }
    }
    const double z = x * x;
    const double w = z * z;
    // Odd and even terms of the series summed separately.
    const double s1 =
        z * (aT[0] + w * (aT[2] + w * (aT[4] + w * (aT[6] + w * (aT[8] + w * aT[10])))));
    const double s2 = w * (aT[1] + w * (aT[3] + w * (aT[5] + w * (aT[7] + w * aT[9]))));
    if (id < 0) return x - x * (s1 + s2);
    const double result = atanHi[id] - ((x * (s1 + s2) - atanLo[id]) - x);
    return hx < 0 ? -result : result;
}

// ---------------------------------------------------------------------------
// Exponentials. x = k*ln2 + r with |r| <= ln2/2, r = hi - lo held in two parts
// because k*ln2 is not exact; exp(r) from a rational form that keeps the error
// below one ulp.

double Exp(double x) {
    constexpr double kExpUnderflow = -0x1.74910d52d3051p+9;  // below this exp(x) rounds to 0
    constexpr double kTwoM1000 = 0x1p-1000;

    uint32_t hx = static_cast<uint32_t>(HighWord(x));
    const int xsb = static_cast<int>(hx >> 31);
    hx &= 0x7fffffff;

    if (hx >= 0x40862E42) {  // |x| >= 709.78...
        if (hx >= 0x7ff00000) {
            if (((hx & 0xfffff) | LowWord(x)) != 0) return x + x;  // NaN
            return xsb == 0 ? x : 0.0;                             // exp(+-inf) = inf, 0
        }
        if (x > kExpOverflow) return kHuge * kHuge;
        if (x < kExpUnderflow) return kTwoM1000 * kTwoM1000;
    }

    double hi = 0.0;
    double lo = 0.0;
    int k = 0;
    if (hx > 0x3fd62e42) {      // |x| > ln2/2
        if (hx < 0x3FF0A2B2) {  // and |x| < 1.5 ln2
            hi = xsb == 0 ? x - kLn2Hi : x + kLn2Hi;
            lo = xsb == 0 ? kLn2Lo : -kLn2Lo;
            k = 1 - xsb - xsb;
        } else {
            k = static_cast<int>(kInvLn2 * x + (xsb == 0 ? 0.5 : -0.5));
            const double t = k;
            hi = x - t * kLn2Hi;  // exact
            lo = t * kLn2Lo;
        }
        x = hi - lo;
    } else if (hx < 0x3e300000) {  // |x| < 2^-28
        return 1.0 + x;
    }

    const double t = x * x;
    const double c = x - t * (kP1 + t * (kP2 + t * (kP3 + t * (kP4 + t * kP5))));
    if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
    const double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
    if (k == 1024) return y * 2.0 * 0x1p1023;  // 2^1024 is not a double
    if (k >= -1021) return y * PowerOfTwo(k);  // exact: y*2^k stays normal
    // A subnormal result: scale exactly to a normal number first, so that the
    // one rounding happens in the last multiplication.
    return y * PowerOfTwo(k + 1000) * kTwoM1000;
}

// The same reduction with a correction c for the rounding of r, and expm1(r)
// from r*(exp(r)+1)/(exp(r)-1) = 2 + r^2/6 * R1(r^2), error <= 2^-61.
double Expm1(double x) {
    // Qn here is 2^n times the usual coefficient, so R1 takes x*x/2.
    constexpr double Q1 = -0x1.11111111110f4p-5;
    constexpr double Q2 = 0x1.a01a019fe5585p-10;
    constexpr double Q3 = -0x1.4ce199eaadbb7p-14;
    constexpr double Q4 = 0x1.0cfca86e65239p-18;
    constexpr double Q5 = -0x1.afdb76e09c32dp-23;

    uint32_t hx = static_cast<uint32_t>(HighWord(x));
    const bool negative = (hx & 0x80000000) != 0;
    hx &= 0x7fffffff;

    if (hx >= 0x4043687A) {      // |x| >= 56*ln2
        if (hx >= 0x40862E42) {  // |x| >= 709.78...
            if (hx >= 0x7ff00000) {
                if (((hx & 0xfffff) | LowWord(x)) != 0) return x + x;  // NaN
                return negative ? -1.0 : x;
            }
            if (x > kExpOverflow) return kHuge * kHuge;
        }
        if (negative) return kTiny - 1.0;  // rounds to -1
    }

    double c = 0.0;
    int k = 0;
    if (hx > 0x3fd62e42) {  // |x| > ln2/2
        double hi;
        double lo;
        if (hx < 0x3FF0A2B2) {  // and |x| < 1.5 ln2
            if (!negative) {
                hi = x - kLn2Hi;
                lo = kLn2Lo;
                k = 1;
            } else {
                hi = x + kLn2Hi;
                lo = -kLn2Lo;
                k = -1;
            }
        } else {
            k = static_cast<int>(kInvLn2 * x + (negative ? -0.5 : 0.5));
            const double t = k;
            hi = x - t * kLn2Hi;  // exact
            lo = t * kLn2Lo;
        }
        x = hi - lo;
        c = (hi - x) - lo;
    } else if (hx < 0x3c900000) {  // |x| < 2^-54: x itself, including -0
        return x;
    }

    const double hfx = 0.5 * x;
    const double hxs = x * hfx;
    const double r1 = 1.0 + hxs * (Q1 + hxs * (Q2 + hxs * (Q3 + hxs * (Q4 + hxs * Q5))));
    double t = 3.0 - r1 * hfx;
    double e = hxs * ((r1 - t) / (6.0 - x * t));
    if (k == 0) return x - (x * e - hxs);  // c is 0

    e = (x * (e - c) - c);
    e -= hxs;
    if (k == -1) return 0.5 * (x - e) - 0.5;
    if (k == 1) {
        if (x < -0.25) return -2.0 * (e - (x + 0.5));
        return 1.0 + 2.0 * (x - e);
    }
    if (k <= -2 || k > 56) {  // exp(x) - 1 is accurate enough here
        double y = 1.0 - (e - x);
        if (k == 1024) {
            y = y * 2.0 * 0x1p1023;
        } else {
            y = y * PowerOfTwo(k);
        }
        return y - 1.0;
    }
    double y;
    if (k < 20) {
        t = FromWords(0x3ff00000 - (0x200000 >> k), 0);  // 1 - 2^-k
        y = t - (e - x);
    } else {
        t = FromWords(static_cast<uint32_t>(0x3ff - k) << 20, 0);  // 2^-k
        y = x - (e + t);
        y += 1.0;
    }
    return y * PowerOfTwo(k);
}

// ---------------------------------------------------------------------------
// Logarithms. x = 2^k * (1+f) with 1+f in [sqrt(2)/2, sqrt(2)), then
// log(x) = k*ln2 + log(1+f).

double Log(double x) {
    return LogWithExponent(x, 0);
}

double LogScaled(double x, int exponent) {
    return LogWithExponent(x, exponent);
}

// log10(x) = (f - f*f/2 + KernelLog1p(f)) / ln10 + k*log10(2), carried in
// extra precision so that exact powers of ten give exact results.
double Log10(double x) {
    constexpr double kInvLn10Hi = 0x1.bcb7b152p-2;
    constexpr double kInvLn10Lo = 0x1.b9438ca9aadd5p-36;
    constexpr double kLog10Of2Hi = 0x1.34413509f6p-2;
    constexpr double kLog10Of2Lo = 0x1.9fef311f12b36p-42;

    int32_t hx = HighWord(x);
    const uint32_t lx = LowWord(x);

    int k = 0;
    if (hx < 0x00100000) {  // below 2^-1022, or the sign bit is set
        if (((hx & 0x7fffffff) | lx) == 0) return -kTwo54 / 0.0;  // log10(+-0) = -inf
        if (hx < 0) return (x - x) / 0.0;                         // negative or NaN: NaN
        k -= 54;
        x *= kTwo54;
        hx = HighWord(x);
    }
    if (hx >= 0x7ff00000) return x + x;
    if (hx == 0x3ff00000 && lx == 0) return 0.0;  // log10(1) = +0
    k += (hx >> 20) - 1023;
    hx &= 0x000fffff;
    const int32_t i = (hx + 0x95f64) & 0x100000;
    x = WithHighWord(x, static_cast<uint32_t>(hx | (i ^ 0x3ff00000)));
    k += i >> 20;
    const double y = static_cast<double>(k);
    const double f = x - 1.0;
    const double hfsq = 0.5 * f * f;
    const double r = KernelLog1p(f);

    // f - hfsq split so that hi has only 20 significant bits: hi*kInvLn10Hi is
    // then exact and the rounding errors collect in the small terms.
    const double hi = ClearLowWord(f - hfsq);
    const double lo = (f - hi) - hfsq + r;
    double valHi = hi * kInvLn10Hi;
    const double y2 = y * kLog10Of2Hi;
    double valLo = y * kLog10Of2Lo + (lo + hi) * kInvLn10Lo + lo * kInvLn10Hi;

    const double w = y2 + valHi;
    valLo += (y2 - w) + valHi;
    valHi = w;
    return valLo + valHi;
}

// ---------------------------------------------------------------------------
// pow: log2(|x|) in two pieces with 24 bits of extra precision, multiplied by
// y in simulated double-double arithmetic to n + y' with |y'| <= 0.5, then
// 2^y' from the exp rational form and 2^n by exponent arithmetic.
double Pow(double x, double y) {
    constexpr double bp[] = {1.0, 1.5};
    constexpr double dp_h[] = {0.0, 0x1.2b8034p-1};  // log2(1.5) high
    constexpr double dp_l[] = {0.0, 0x1.cfdeb43cfd006p-27};
    constexpr double kTwo53 = 0x1p53;
    // Coefficients of (3/2)*(log(x) - 2s - 2/3*s^3).
    constexpr double L1 = 0x1.3333333333303p-1;
    constexpr double L2 = 0x1.b6db6db6fabffp-2;
    constexpr double L3 = 0x1.55555518f264dp-2;
    constexpr double L4 = 0x1.17460a91d4101p-2;
    constexpr double L5 = 0x1.d864a93c9db65p-3;
    constexpr double L6 = 0x1.a7e284a454eefp-3;
    constexpr double lg2 = 0x1.62e42fefa39efp-1;
    constexpr double lg2_h = 0x1.62e43p-1;
    constexpr double lg2_l = -0x1.05c610ca86c39p-29;
    constexpr double ovt = 0x1.71547652b82fep-54;  // -(1024 - log2(DBL_MAX + 0.5 ulp))
    constexpr double cp = 0x1.ec709dc3a03fdp-1;    // 2/(3 ln2)
    constexpr double cp_h = 0x1.ec709ep-1;
    constexpr double cp_l = -0x1.e2fe0145b01f5p-28;

    const int32_t hx = HighWord(x);
    const uint32_t lx = LowWord(x);
    const int32_t hy = HighWord(y);
    const uint32_t ly = LowWord(y);
    int32_t ix = hx & 0x7fffffff;
    const int32_t iy = hy & 0x7fffffff;

    if ((static_cast<uint32_t>(iy) | ly) == 0) return 1.0;  // x^0 = 1, even for NaN
    if (hx == 0x3ff00000 && lx == 0) return 1.0;            // 1^y = 1, even for NaN
    if (ix > 0x7ff00000 || (ix == 0x7ff00000 && lx != 0) || iy > 0x7ff00000 ||
        (iy == 0x7ff00000 && ly != 0)) {
        return x + y;  // NaN
    }

    // For x < 0: yisint is 0 if y is not an integer, 1 if odd, 2 if even.
    int yisint = 0;
    if (hx < 0) {
        if (iy >= 0x43400000) {
            yisint = 2;  // |y| >= 2^53 is even
        } else if (iy >= 0x3ff00000) {
            const int e = (iy >> 20) - 0x3ff;
            if (e > 20) {
                const uint32_t j = ly >> (52 - e);
                if ((j << (52 - e)) == ly) yisint = 2 - static_cast<int>(j & 1);
            } else if (ly == 0) {
                const int32_t j = iy >> (20 - e);
                if ((j << (20 - e)) == iy) yisint = 2 - (j & 1);
            }
        }
    }

    if (ly == 0) {
        if (iy == 0x7ff00000) {
            // y is +-inf: (-1)^+-inf = 1, (|x|>1)^+-inf = inf, 0, (|x|<1)^+-inf = 0, inf
            if (((ix - 0x3ff00000) | static_cast<int32_t>(lx)) == 0) return 1.0;
            if (ix >= 0x3ff00000) return hy >= 0 ? y : 0.0;
            return hy < 0 ? -y : 0.0;
        }
        if (iy == 0x3ff00000) return hy < 0 ? 1.0 / x : x;          // y is +-1
        if (hy == 0x40000000) return x * x;                         // y is 2
        if (hy == 0x3fe00000 && hx >= 0) return __builtin_sqrt(x);  // y is 0.5, x >= +0
    }

    double ax = Abs(x);
    if (lx == 0 && (ix == 0x7ff00000 || ix == 0 || ix == 0x3ff00000)) {  // +-0, +-inf, +-1
        double z = ax;
        if (hy < 0) z = 1.0 / z;
        if (hx < 0) {
            if (((ix - 0x3ff00000) | yisint) == 0) {
                z = (z - z) / (z - z);  // (-1)^non-integer
            } else if (yisint == 1) {
                z = -z;  // (x<0)^odd = -(|x|^odd)
            }
        }
        return z;
    }

    const bool xNegative = hx < 0;
    if (xNegative && yisint == 0) return (x - x) / (x - x);  // (x<0)^non-integer

    const double s = xNegative && yisint == 1 ? -1.0 : 1.0;  // sign of the result

    if (iy > 0x41e00000) {      // |y| > 2^31
        if (iy > 0x43f00000) {  // |y| > 2^64: must overflow or underflow
            if (ix <= 0x3fefffff) return hy < 0 ? kHuge * kHuge : kTiny * kTiny;
            if (ix >= 0x3ff00000) return hy > 0 ? kHuge * kHuge : kTiny * kTiny;
        }
        // Over- or underflow unless x is within 2^-20 of 1.
        if (ix < 0x3fefffff) return hy < 0 ? s * kHuge * kHuge : s * kTiny * kTiny;
        if (ix > 0x3ff00000) return hy > 0 ? s * kHuge * kHuge : s * kTiny * kTiny;
        // fdlibm takes log(x) from a short series here, but its product with
        // 1/ln2 is not exact and costs hundreds of ulps once multiplied by
        // such a y; the general computation below is accurate for these x too.
    }

    // log2(|x|) = t1 + t2, with the low word of t1 clear.
    double t1;
    double t2;
    {
        int n = 0;
        if (ix < 0x00100000) {  // subnormal x
            ax *= kTwo53;
            n -= 53;
            ix = HighWord(ax);
        }
        n += (ix >> 20) - 0x3ff;
        const int32_t j = ix & 0x000fffff;
        // Normalize to [1, sqrt(3/2)) around 1 or [sqrt(3/2), sqrt(3)) around 1.5.
        ix = j | 0x3ff00000;
        int k;
        if (j <= 0x3988E) {
            k = 0;  // |x| < sqrt(3/2)
        } else if (j < 0xBB67A) {
            k = 1;  // |x| < sqrt(3)
        } else {
            k = 0;
            n += 1;
            ix -= 0x00100000;
        }
        ax = WithHighWord(ax, static_cast<uint32_t>(ix));

        // ss = s_h + s_l = (x-1)/(x+1) or (x-1.5)/(x+1.5)
        double u = ax - bp[k];
        double v = 1.0 / (ax + bp[k]);
        const double ss = u * v;
        const double s_h = ClearLowWord(ss);
        // t_h = ax + bp[k], rounded to its high word
        double t_h =
            FromWords(static_cast<uint32_t>(((ix >> 1) | 0x20000000) + 0x00080000 + (k << 18)), 0);
        double t_l = ax - (t_h - bp[k]);
        const double s_l = v * ((u - s_h * t_h) - s_h * t_l);
        // log(ax)
        double s2 = ss * ss;
        double r = s2 * s2 * (L1 + s2 * (L2 + s2 * (L3 + s2 * (L4 + s2 * (L5 + s2 * L6)))));
        r += s_l * (s_h + ss);
        s2 = s_h * s_h;
        t_h = ClearLowWord(3.0 + s2 + r);
        t_l = r - ((t_h - 3.0) - s2);
        // u + v = ss*(1 + ...)
        u = s_h * t_h;
        v = s_l * t_h + t_l * ss;
        // 2/(3 log2) * (ss + ...)
        const double p_h = ClearLowWord(u + v);
        const double p_l = v - (p_h - u);
        const double z_h = cp_h * p_h;
        const double z_l = cp_l * p_h + p_l * cp + dp_l[k];
        // log2(ax) = (ss + ...)*2/(3 log2) = n + dp_h + z_h + z_l
        const double t = static_cast<double>(n);
        t1 = ClearLowWord(((z_h + z_l) + dp_h[k]) + t);
        t2 = z_l - (((t1 - t) - dp_h[k]) - z_h);
    }

    // (y1 + y2) * (t1 + t2) with y1 the high half of y
    const double y1 = ClearLowWord(y);
    double p_l = (y - y1) * t1 + y * t2;
    double p_h = y1 * t1;
    double z = p_l + p_h;
    int32_t j = HighWord(z);
    const int32_t i = static_cast<int32_t>(LowWord(z));
    if (j >= 0x40900000) {  // z >= 1024
        if (((j - 0x40900000) | i) != 0) return s * kHuge * kHuge;
        if (p_l + ovt > z - p_h) return s * kHuge * kHuge;
    } else if ((j & 0x7fffffff) >= 0x4090cc00) {  // z <= -1075
        if (static_cast<int32_t>((static_cast<uint32_t>(j) - 0xc090cc00u) |
                                 static_cast<uint32_t>(i)) != 0) {
            return s * kTiny * kTiny;
        }
        if (p_l <= z - p_h) return s * kTiny * kTiny;
    }

    // 2^(p_h + p_l): split off the nearest integer n first.
    const int32_t az = j & 0x7fffffff;
    int k = (az >> 20) - 0x3ff;
    int n = 0;
    if (az > 0x3fe00000) {  // |z| > 0.5
        n = j + (0x00100000 >> (k + 1));
        k = ((n & 0x7fffffff) >> 20) - 0x3ff;  // new k for n
        const double t = FromWords(static_cast<uint32_t>(n & ~(0x000fffff >> k)), 0);
        n = ((n & 0x000fffff) | 0x00100000) >> (20 - k);
        if (j < 0) n = -n;
        p_h -= t;
    }
    const double t = ClearLowWord(p_l + p_h);
    const double u = t * lg2_h;
    const double v = (p_l - (t - p_h)) * lg2 + t * lg2_l;
    z = u + v;
    const double w = v - (z - u);
    const double tt = z * z;
    const double r1 = z - tt * (kP1 + tt * (kP2 + tt * (kP3 + tt * (kP4 + tt * kP5))));
    const double r = (z * r1) / (r1 - 2.0) - (w + z * w);
    z = 1.0 - (r - z);
    j = AddToExponent(HighWord(z), n);
    if ((j >> 20) <= 0) {
        z = ScaleB(z, n);  // subnormal result
    } else {
        z = WithHighWord(z, static_cast<uint32_t>(j));
    }
    return s * z;
}

// ---------------------------------------------------------------------------
// Hyperbolic functions, from expm1 where exp(x) is near 1 and from exp beyond.

// sinh(x) = (E + E/(E+1))/2 with E = expm1(|x|) below 22, exp(|x|)/2 beyond,
// where exp(-|x|) no longer matters.
double Sinh(double x) {
    const int32_t jx = HighWord(x);
    const int32_t ix = jx & 0x7fffffff;
    if (ix >= 0x7ff00000) return x + x;  // inf or NaN
    if (ix < 0x3e300000) return x;       // |x| < 2^-28: sinh(x) rounds to x

    double result;
    if (ix < 0x40360000) {  // |x| < 22
        const DoubleDouble e = Expm1Kernel(Abs(x));
        const DoubleDouble sum = Add(e, Divide(e, Add(e, {1.0, 0.0})));
        result = 0.5 * sum.hi;
    } else if (ix < kHyperbolicOverflowHigh ||
               (ix == kHyperbolicOverflowHigh && LowWord(x) <= kHyperbolicOverflowLow)) {
        result = HalfExp(Abs(x));
    } else {
        result = kHuge * kHuge;
    }
    return jx < 0 ? -result : result;
}

// cosh(x) = 1 + E^2 / (2(1+E)) with E = expm1(|x|) below 22, exp(|x|)/2 beyond.
double Cosh(double x) {
    const int32_t ix = HighWord(x) & 0x7fffffff;
    if (ix >= 0x7ff00000) return x * x;  // inf or NaN
    if (ix < 0x3e300000) return 1.0;     // |x| < 2^-28: cosh(x) rounds to 1

    if (ix < 0x40360000) {
        const DoubleDouble e = Expm1Kernel(Abs(x));
        const DoubleDouble onePlusE = Add(e, {1.0, 0.0});
        const DoubleDouble ratio = Divide(Multiply(e, e), {2.0 * onePlusE.hi, 2.0 * onePlusE.lo});
        return Add(ratio, {1.0, 0.0}).hi;
    }
    if (ix < kHyperbolicOverflowHigh ||
        (ix == kHyperbolicOverflowHigh && LowWord(x) <= kHyperbolicOverflowLow)) {
        return HalfExp(Abs(x));
    }
    return kHuge * kHuge;
}

// tanh(x) = E / (E+2) with E = expm1(2|x|) below 22, where tanh(x) rounds to 1.
double Tanh(double x) {
    const int32_t jx = HighWord(x);
    const int32_t ix = jx & 0x7fffffff;
    if (ix >= 0x7ff00000) {
        if (jx >= 0) return 1.0 / x + 1.0;  // tanh(+inf) = 1, NaN stays NaN
        return 1.0 / x - 1.0;               // tanh(-inf) = -1
    }
    if (ix < 0x3e300000) return x;  // |x| < 2^-28

    double z;
    if (ix < 0x40360000) {
        const DoubleDouble e = Expm1Kernel(2.0 * Abs(x));
        z = Divide(e, Add(e, {2.0, 0.0})).hi;
    } else {
        z = 1.0 - kTiny;  // rounds to 1
    }
    return jx >= 0 ? z : -z;
}

// ---------------------------------------------------------------------------

double Sqrt(double x) {
    return __builtin_sqrt(x);
}

// s_floor.c and s_ceil.c, on the whole 64-bit representation: clear the
// fraction bits, first adding one unit in the last integer place when the
// rounding goes away from zero.
double Floor(double x) {
    uint64_t u = ToBits(x);
    const int e = static_cast<int>((u >> 52) & 0x7ff) - 0x3ff;
    const bool negative = (u >> 63) != 0;
    if (e < 0) {  // |x| < 1
        if (!negative) return 0.0;
        return (u << 1) == 0 ? x : -1.0;  // -0 stays -0
    }
    if (e >= 52) return e == 0x400 ? x + x : x;  // inf or NaN; or already integral
    const uint64_t fraction = 0x000fffffffffffffu >> e;
    if ((u & fraction) == 0) return x;
    if (negative) u += 0x0010000000000000u >> e;
    return FromBits(u & ~fraction);
}

double Ceil(double x) {
    uint64_t u = ToBits(x);
    const int e = static_cast<int>((u >> 52) & 0x7ff) - 0x3ff;
    const bool negative = (u >> 63) != 0;
    if (e < 0) {
        if (negative) return -0.0;
        return u == 0 ? x : 1.0;
    }
    if (e >= 52) return e == 0x400 ? x + x : x;
    const uint64_t fraction = 0x000fffffffffffffu >> e;
    if ((u & fraction) == 0) return x;
    if (!negative) u += 0x0010000000000000u >> e;
    return FromBits(u & ~fraction);
}

}  // namespace zmath
