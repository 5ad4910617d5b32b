// The floating-point environment every evaluation starts from.
#pragma once

// Clears the exception flags, masks every floating-point exception (overflow
// gives an infinity, an invalid operation a NaN), rounds to nearest, 53-bit
// precision, and turns off flush-to-zero.
void ResetFloatingPoint();
