// Decimal conversions that behave the same on every host: the classic atof
// reading of a text, and the correctly rounded 17 significant digits of a
// double that the result formats are made from.
#pragma once

// Leading blanks, then the longest prefix that forms a decimal number
// (sign, digits with at most one ".", an exponent with at least one digit);
// 0 when there is none. Never reads hexadecimal, "inf" or "nan". A value too
// large for a double gives an infinity, a value too small gives zero.
double ClassicAtof(const char* text);

// The value's 17 significant decimal digits, correctly rounded (ties to
// even), as the characters '0'..'9' in digits[0..16], and the decimal exponent
// of the first digit. Zero gives seventeen '0' and exponent 0. The sign is
// ignored; value must be finite.
void SeventeenDigits(double value, char digits[17], int* exponent);
