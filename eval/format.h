// Result formatting: the printf-style format built from the settings, and the
// decimal and hexadecimal result texts. The decimal digits are produced here,
// never by the host's printf, so every build writes the same text.
#pragma once

constexpr int OutFormatStringSize = 8;
extern char OutFormatString[OutFormatStringSize];  // e.g. "%.15lg"

// Composes OutFormatString from the sign text, the type text and the precision.
void BuildOutFormat(const char* sign, const char* type, int precision);

// Writes value through a format of the form built by BuildOutFormat
// ("%[+].<P>l<t>"). out must hold ResultBufferSize bytes. Never fails.
void FormatDecimal(double value, const char* format, char* out);

// Writes the result text for value: decimal through OutFormatString when
// letter is 0, otherwise the hexadecimal form chosen by HexadecimalForm with
// the prefix and digit case of letter (H, X, h or x). Returns false, clears
// EvalOk and leaves out untouched when the value cannot be shown.
bool FormatResult(double value, char letter, char* out);
