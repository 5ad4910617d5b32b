// Result texts. Decimal results follow the printf conventions of the format
// built from the settings, but the digits are the program's own: the value is
// taken to 17 correctly rounded significant digits, every later position is
// written as 0, and rounding to the requested digits is half up on those 17.
// The exponent always has a sign and three digits. Hexadecimal results come
// in the four forms chosen by HexadecimalForm.
#include "eval/format.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "eval/decimal.h"
#include "eval/evaluate.h"
#include "settings/settings.h"

char OutFormatString[OutFormatStringSize] = "%.15lg";

void BuildOutFormat(const char* sign, const char* type, int precision) {
    char text[40];
    int n = 0;
    text[n++] = '%';
    if (std::strcmp(sign, "+") == 0) text[n++] = '+';
    text[n++] = '.';
    char number[12];
    int digits = 0;
    unsigned long magnitude = precision < 0 ? 0ul - (unsigned long)precision : precision;
    do {
        number[digits++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (precision < 0) text[n++] = '-';
    while (digits > 0) text[n++] = number[--digits];
    text[n++] = 'l';
    for (const char* t = type; *t != '\0' && n < int(sizeof text) - 1; t++) text[n++] = *t;
    text[n] = '\0';
    // The field holds 7 characters; anything longer than a valid format is cut.
    std::memcpy(OutFormatString, text, OutFormatStringSize - 1);
    OutFormatString[OutFormatStringSize - 1] = '\0';
}

namespace {

// A value rounded to a number of significant digits.
struct Rounded {
    char digit[18];  // significant digits; positions past count read as '0'
    int count;       // 0 when the value rounded to zero
    int exponent;    // decimal exponent of digit[0]
};

char DigitAt(const Rounded& r, int index) {
    return index >= 0 && index < r.count ? r.digit[index] : '0';
}

// Rounds the 17 digits (first at 10^exponent) to n significant digits, half
// up. n may be 0 or negative: the value then rounds to 0 or, for n == 0 and a
// first digit of 5 or more, to one unit at 10^(exponent + 1).
Rounded RoundTo(const char digits[17], int exponent, int n) {
    Rounded r;
    r.exponent = exponent;
    if (n <= 0) {
        r.count = 0;
        if (n == 0 && digits[0] >= '5') {
            r.digit[0] = '1';
            r.count = 1;
            r.exponent = exponent + 1;
        }
        return r;
    }
    int kept = n < 17 ? n : 17;
    std::memcpy(r.digit, digits, kept);
    r.count = n < 17 ? n : 17;
    if (n < 17 && digits[n] >= '5') {
        int i = n - 1;
        while (i >= 0 && r.digit[i] == '9') r.digit[i--] = '0';
        if (i >= 0) {
            r.digit[i]++;
        } else {
            // 99..9 became 100..0: one more integer digit.
            r.digit[0] = '1';
            r.exponent++;
        }
    }
    return r;
}

char* WriteExponent(char* p, char letter, int exponent) {
    *p++ = letter;
    *p++ = exponent < 0 ? '-' : '+';
    int e = exponent < 0 ? -exponent : exponent;
    *p++ = char('0' + e / 100);
    *p++ = char('0' + e / 10 % 10);
    *p++ = char('0' + e % 10);
    return p;
}

// d.ddd (decimals digits after the point) and the exponent.
char* WriteExponentForm(char* p, const Rounded& r, int decimals, char letter) {
    *p++ = DigitAt(r, 0);
    if (decimals > 0) *p++ = '.';
    for (int i = 1; i <= decimals; i++) *p++ = DigitAt(r, i);
    return WriteExponent(p, letter, r.count == 0 ? 0 : r.exponent);
}

// Fixed point with the given number of decimals.
char* WriteFixedForm(char* p, const Rounded& r, int decimals) {
    int top = r.count == 0 || r.exponent < 0 ? 0 : r.exponent;
    for (int k = top; k >= 0; k--) *p++ = DigitAt(r, r.exponent - k);
    if (decimals > 0) *p++ = '.';
    for (int k = -1; k >= -decimals; k--) *p++ = DigitAt(r, r.exponent - k);
    return p;
}

// Drops trailing zeros after the point, and the point when nothing follows.
char* StripFraction(char* start, char* end) {
    char* point = static_cast<char*>(std::memchr(start, '.', end - start));
    if (point == nullptr) return end;
    while (end > point + 1 && end[-1] == '0') end--;
    if (end == point + 1) end--;
    return end;
}

void WriteHexDigits(char* p, uint32_t n, bool upper) {
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[8];
    int count = 0;
    do {
        reversed[count++] = alphabet[n & 15];
        n >>= 4;
    } while (n != 0);
    while (count > 0) *p++ = reversed[--count];
    *p = '\0';
}

bool FormatHexadecimal(double v, char letter, char* out) {
    bool negative = v < 0;  // -0 counts as not negative
    double m = negative ? -v : v;
    uint32_t n;
    switch (Settings.HexadecimalForm) {
        case HexComplement8:
        case HexComplement16: {
            bool eight = Settings.HexadecimalForm == HexComplement8;
            double low = eight ? -128.5 : -32768.5;
            double high = eight ? 127.5 : 32767.5;
            if (!(v > low && v < high)) return false;
            n = uint32_t(m + 0.5);  // m + 0.5 >= 0, so truncation is floor
            if (negative && n > 0) n = (eight ? 256u : 65536u) - n;
            break;
        }
        case HexComplement32:
            if (!(v > -2147483648.5 && v < 2147483647.5)) return false;
            n = uint32_t(m + 0.5);
            if (negative) n = 0u - n;  // the two's complement bit pattern
            break;
        default:
            if (!(m < 4294967295.5)) return false;
            n = uint32_t(m + 0.5);
            break;
    }
    char* p = out;
    if (Settings.HexadecimalForm < HexComplement8 || Settings.HexadecimalForm > HexComplement32) {
        if (negative) {
            *p++ = '-';
        } else if (Settings.OutFormatSign[0] == '+') {
            *p++ = '+';
        }
    }
    bool upper = letter == 'H' || letter == 'X';
    *p++ = letter == 'H' || letter == 'h' ? '&' : '0';
    *p++ = letter;
    WriteHexDigits(p, n, upper);
    return true;
}

bool IsFinite(double v) {
    return v - v == 0.0;
}

}  // namespace

void FormatDecimal(double value, const char* format, char* out) {
    // Read "%[+].<P>[l]<t>"; anything missing takes the printf meaning.
    const char* f = format;
    if (*f == '%') f++;
    bool plus = false;
    if (*f == '+') {
        plus = true;
        f++;
    }
    int precision = 6;
    if (*f == '.') {
        f++;
        precision = 0;
        while (*f >= '0' && *f <= '9') {
            if (precision < 100) precision = precision * 10 + (*f - '0');
            f++;
        }
    }
    // The result buffer is sized for at most 15 decimals.
    if (precision > 15) precision = 15;
    if (*f == 'l') f++;
    char type = *f;
    if (std::strchr("gGeEf", type) == nullptr || type == '\0') type = 'g';

    char* p = out;
    bool negative = std::signbit(value);
    if (negative) {
        *p++ = '-';
    } else if (plus) {
        *p++ = '+';
    }
    char digits[17];
    int exponent;
    SeventeenDigits(value, digits, &exponent);
    bool zero = value == 0;

    switch (type) {
        case 'e':
        case 'E': {
            Rounded r = RoundTo(digits, exponent, precision + 1);
            if (zero) r.exponent = 0;
            p = WriteExponentForm(p, r, precision, type);
            break;
        }
        case 'f': {
            Rounded r = RoundTo(digits, exponent, zero ? precision + 1 : exponent + 1 + precision);
            p = WriteFixedForm(p, r, precision);
            break;
        }
        default: {  // 'g', 'G'
            int significant = precision == 0 ? 1 : precision;
            Rounded r = RoundTo(digits, exponent, significant);
            int x = zero ? 0 : r.exponent;
            char* start = p;
            if (x < -4 || x >= significant) {
                p = WriteExponentForm(p, r, significant - 1, type == 'G' ? 'E' : 'e');
                // Trailing zeros go from the mantissa, before the exponent.
                char* e = p - 5;
                char exponentText[5];
                std::memcpy(exponentText, e, 5);
                p = StripFraction(start, e);
                std::memcpy(p, exponentText, 5);
                p += 5;
            } else {
                p = WriteFixedForm(p, r, significant - 1 - x);
                p = StripFraction(start, p);
            }
            break;
        }
    }
    *p = '\0';
}

bool FormatResult(double value, char letter, char* out) {
    // An infinity or a NaN can only arrive through a user constant pushed
    // without a range check; it is never shown as a result.
    bool ok = IsFinite(value);
    if (ok) {
        if (letter == 0) {
            FormatDecimal(value, OutFormatString, out);
        } else {
            ok = FormatHexadecimal(value, letter, out);
        }
    }
    if (!ok) EvalOk = 0;
    return ok;
}
