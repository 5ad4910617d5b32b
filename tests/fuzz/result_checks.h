// Checks of an evaluation's result text shared by the randomized test
// (fuzz_evaluate.cpp) and the coverage-guided targets: the text fits its
// buffer and is printable, the decimal form has the shape of the format and
// reads back as the value within the precision, the hexadecimal form shows
// the rounded value in the chosen form, and separators only group digits.
// Every check returns nullptr or the reason of the failure.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "settings/settings.h"

// The format settings a result was made with.
struct Setup {
    char sign[2];
    char type[2];
    int precision;
};

inline bool IsPrintableAscii(const char* s) {
    for (; *s != '\0'; s++) {
        if (*s < 32 || *s > 126) return false;
    }
    return true;
}

inline bool ContainsNoCase(const char* s, const char* word) {
    size_t n = std::strlen(word);
    for (; *s != '\0'; s++) {
        size_t i = 0;
        while (i < n && s[i] != '\0' && (s[i] | 0x20) == word[i]) i++;
        if (i == n) return true;
    }
    return false;
}

inline bool IsDigitChar(char c) {
    return c >= '0' && c <= '9';
}

// The shape of a decimal result: the sign rule, then the form of the type
// with the precision (exponent with a sign and three digits; g drops
// trailing zeros of the fraction). Returns a reason or nullptr.
inline const char* CheckDecimalShape(const char* s, double value, const Setup& setup) {
    const char* p = s;
    if (std::signbit(value)) {
        if (*p++ != '-') return "negative value without '-'";
    } else if (setup.sign[0] == '+') {
        if (*p++ != '+') return "'+' missing";
    }
    int precision = setup.precision;
    char type = setup.type[0];
    auto exponentPart = [](const char* q, char letter) -> const char* {
        if (*q++ != letter) return nullptr;
        if (*q != '+' && *q != '-') return nullptr;
        q++;
        for (int i = 0; i < 3; i++) {
            if (!IsDigitChar(*q++)) return nullptr;
        }
        return q;
    };
    if (type == 'e' || type == 'E') {
        if (!IsDigitChar(*p)) return "no digit";
        if (value != 0 && *p == '0') return "leading zero in the mantissa";
        p++;
        if (precision > 0) {
            if (*p++ != '.') return "no point";
            for (int i = 0; i < precision; i++) {
                if (!IsDigitChar(*p++)) return "too few decimals";
            }
        }
        p = exponentPart(p, type);
        if (p == nullptr || *p != '\0') return "bad exponent";
        return nullptr;
    }
    if (type == 'f') {
        const char* start = p;
        while (IsDigitChar(*p)) p++;
        if (p == start) return "no integer digit";
        if (p - start > 1 && *start == '0') return "leading zero";
        if (precision > 0) {
            if (*p++ != '.') return "no point";
            for (int i = 0; i < precision; i++) {
                if (!IsDigitChar(*p++)) return "too few decimals";
            }
        }
        if (*p != '\0') return "trailing characters";
        return nullptr;
    }
    // g and G
    int significant = precision == 0 ? 1 : precision;
    const char* start = p;
    int digits = 0;
    bool seenNonzero = false;
    int counted = 0;  // significant digits
    while (IsDigitChar(*p)) {
        if (*p != '0') seenNonzero = true;
        if (seenNonzero) counted++;
        p++;
        digits++;
    }
    if (digits == 0) return "no integer digit";
    if (digits > 1 && *start == '0') return "leading zero";
    if (*p == '.') {
        p++;
        const char* fraction = p;
        while (IsDigitChar(*p)) {
            if (*p != '0') seenNonzero = true;
            if (seenNonzero) counted++;
            p++;
        }
        if (p == fraction) return "point without decimals";
        if (p[-1] == '0') return "trailing zero kept";
    }
    if (counted > significant) return "more significant digits than the precision";
    if (*p != '\0') {
        if (digits != 1) return "exponent form with several integer digits";
        p = exponentPart(p, type == 'G' ? 'E' : 'e');
        if (p == nullptr || *p != '\0') return "bad exponent";
    }
    return nullptr;
}

// The value the decimal text stands for must be the result within the
// rounding the precision allows.
inline const char* CheckDecimalValue(const char* s, double value, const Setup& setup) {
    double shown = std::strtod(s, nullptr);
    if (std::isinf(shown)) {
        // Rounding near DBL_MAX may give a text above the double range.
        return std::fabs(value) > 1e307 ? nullptr : "text reads as an infinity";
    }
    double error = std::fabs(shown - value);
    double tolerance;
    int precision = setup.precision;
    if (setup.type[0] == 'f') {
        tolerance = std::pow(10.0, -precision) * 0.5000001 + std::fabs(value) * 1e-15;
    } else {
        int significant = setup.type[0] == 'e' || setup.type[0] == 'E' ? precision + 1
                          : precision == 0                             ? 1
                                                                       : precision;
        tolerance = std::fabs(value) * std::pow(10.0, 1 - significant) * 0.5000001 +
                    std::fabs(value) * 1e-15;
    }
    tolerance += 1e-320;  // subnormal results: the text's own rounding
    return error <= tolerance ? nullptr : "text does not show the value";
}

// "&H"/"0X" (upper-case digits) or "&h"/"0x", then the digits of the value
// rounded half up on its magnitude: the magnitude with a sign in the signed
// form, else the two's complement in 8, 16 or 32 bits.
inline const char* CheckHexadecimal(const char* s, double value, char letter, const Setup& setup) {
    const char* p = s;
    int form = Settings.HexadecimalForm;
    bool negative = value < 0;
    // Values other than the three complement forms are the signed form.
    if (form < HexComplement8 || form > HexComplement32) {
        if (negative) {
            if (*p++ != '-') return "negative value without '-'";
        } else if (setup.sign[0] == '+') {
            if (*p++ != '+') return "'+' missing";
        }
    }
    char prefix = letter == 'H' || letter == 'h' ? '&' : '0';
    if (*p++ != prefix || *p++ != letter) return "bad prefix";
    bool upper = letter == 'H' || letter == 'X';
    const char* start = p;
    uint64_t n = 0;
    for (; *p != '\0'; p++) {
        char c = *p;
        int digit;
        if (IsDigitChar(c)) {
            digit = c - '0';
        } else if (upper && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (!upper && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return "bad digit";
        }
        n = n * 16 + uint64_t(digit);
    }
    if (p == start) return "no digit";
    if (p - start > 8) return "more than 8 digits";
    if (p - start > 1 && *start == '0') return "leading zero";

    // The magnitude rounded half up as m + 0.5 in double arithmetic, the
    // program's rounding ever since (so 0.49999999999999994 gives 1, because
    // the sum rounds to 1.0), with the sign put back.
    double magnitude = std::floor(std::fabs(value) + 0.5);
    if (magnitude > 9e15) return "value far outside the hexadecimal range";
    long long rounded = negative ? -(long long)magnitude : (long long)magnitude;
    uint64_t expected;
    switch (form) {
        case HexComplement8:
            if (rounded < -128 || rounded > 127) return "outside the 8-bit range";
            expected = uint64_t(rounded) & 0xFF;
            break;
        case HexComplement16:
            if (rounded < -32768 || rounded > 32767) return "outside the 16-bit range";
            expected = uint64_t(rounded) & 0xFFFF;
            break;
        case HexComplement32:
            if (rounded < -2147483648LL || rounded > 2147483647LL)
                return "outside the 32-bit range";
            expected = uint64_t(rounded) & 0xFFFFFFFFu;
            break;
        default:
            if (rounded < -4294967295LL || rounded > 4294967295LL)
                return "outside the 32-bit range";
            expected = uint64_t(rounded < 0 ? -rounded : rounded);
            break;
    }
    return n == expected ? nullptr : "digits do not show the value";
}

// The separated copy: no longer than its buffer, the same text once the
// commas are taken out, and commas only between groups of three digits.
inline const char* CheckSeparators(const char* result) {
    // Exactly the size InsertThousandSeparators is promised, on the heap so
    // that AddressSanitizer sees a write past it.
    static char* copy = static_cast<char*>(std::malloc(MaxSeparatedLength + 1));
    std::memset(copy, 0x55, MaxSeparatedLength + 1);
    std::strcpy(copy, result);
    InsertThousandSeparators(copy);
    const void* nul = std::memchr(copy, '\0', MaxSeparatedLength + 1);
    if (nul == nullptr) return "separated text not terminated";
    size_t length = size_t(static_cast<const char*>(nul) - copy);
    if (length > size_t(MaxSeparatedLength)) return "separated text longer than 1024";
    size_t j = 0;
    for (size_t i = 0; i < length; i++) {
        if (copy[i] != ',') {
            if (copy[i] != result[j++]) return "separators changed the text";
            continue;
        }
        if (i == 0 || !IsDigitChar(copy[i - 1])) return "separator after a non-digit";
        for (int k = 1; k <= 3; k++) {
            if (!IsDigitChar(copy[i + size_t(k)])) return "separator not before three digits";
        }
        char after = copy[i + 4];
        if (after != ',' && after != '.' && after != '\0')
            return "separator group longer than three";
    }
    if (result[j] != '\0') return "separators dropped characters";
    return nullptr;
}

// A successful evaluation's text (in a buffer of ResultBufferSize bytes) for
// value, with the FormatLetter it ended with; separators are checked too when
// the settings ask for them.
inline const char* CheckResultText(const char* output, double value, char letter,
                                   const Setup& setup) {
    if (std::memchr(output, '\0', ResultBufferSize) == nullptr) {
        return "output not NUL-terminated within ResultBufferSize";
    }
    size_t length = std::strlen(output);
    const char* reason = nullptr;
    if (length == 0) {
        reason = "empty output";
    } else if (length > size_t(MaxResultLength)) {
        reason = "output longer than MaxResultLength";
    } else if (!IsPrintableAscii(output)) {
        reason = "output not printable ASCII";
    } else if (ContainsNoCase(output, "inf") || ContainsNoCase(output, "nan")) {
        reason = "output shows an infinity or a NaN";
    } else if (letter != 0 && letter != 'H' && letter != 'X' && letter != 'h' && letter != 'x') {
        reason = "FormatLetter is not H, X, h, x or 0";
    } else if (letter != 0) {
        reason = CheckHexadecimal(output, value, letter, setup);
    } else {
        reason = CheckDecimalShape(output, value, setup);
        if (reason == nullptr) reason = CheckDecimalValue(output, value, setup);
    }
    if (reason == nullptr && Settings.InsThousandSep) reason = CheckSeparators(output);
    return reason;
}
