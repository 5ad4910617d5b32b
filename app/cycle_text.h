// The text rules of the evaluation cycle that need no window: they work on
// plain 8-bit text in the cycle's fixed buffers.
#pragma once

// A separated result can be up to this long; a longer one is left as it was.
constexpr int MaxSeparatedLength = 1024;

extern char ResultText[MaxSeparatedLength + 1];

// Puts "," between groups of three digits before the "." of a plain decimal
// result. Texts with an ASCII letter (exponent and hexadecimal forms) and
// texts without a digit before the "." are left alone, and so is a text whose
// separated form would be longer than MaxSeparatedLength. text must hold
// MaxSeparatedLength + 1 bytes.
void InsertThousandSeparators(char* text);
