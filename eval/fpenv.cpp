// Puts the floating-point unit into the state every evaluation starts from.
// The x87 control word matters only for code that still uses the x87 stack
// (the i386 calling convention returns doubles there); the arithmetic itself
// runs on SSE2, whose control register is set as well.
#include "eval/fpenv.h"

#include <cfenv>

void ResetFloatingPoint() {
#if defined(__i386__) || defined(__x86_64__)
    // x87: all six exceptions masked, 53-bit precision, round to nearest.
    const unsigned short x87Control = 0x027F;
    // SSE: all exceptions masked, round to nearest, no flush-to-zero and no
    // denormals-are-zero, flags cleared.
    const unsigned int sseControl = 0x1F80;
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(x87Control));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(sseControl));
#else
    std::fesetenv(FE_DFL_ENV);
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);
#endif
}
