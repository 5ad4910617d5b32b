// The evaluation cycle's rules on plain text.
#include "app/cycle_text.h"

#include <cstring>

#include "eval/evaluate.h"

char ResultText[MaxSeparatedLength + 1];

// The longest text the separators can make: a result with a comma for every
// three digits, and its NUL.
static char SeparatorScratch[MaxSeparatedLength + MaxSeparatedLength / 3 + 2];

static bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void InsertThousandSeparators(char* text) {
    int n = int(std::strlen(text));
    if (n == 0 || n > MaxSeparatedLength) return;
    for (int i = 0; i < n; i++) {
        if (IsAsciiLetter(text[i])) return;
    }
    const char* point = std::strchr(text, '.');
    int d = point != nullptr ? int(point - text) : n;
    int f = 0;
    while (f < d && !(text[f] >= '0' && text[f] <= '9')) f++;
    if (f == d) return;  // no digit before the point

    int length = 0;
    for (int i = 0; i < n; i++) {
        SeparatorScratch[length++] = text[i];
        if (i >= f && i <= d - 3 && (d - i) % 3 == 1) SeparatorScratch[length++] = ',';
    }
    SeparatorScratch[length] = '\0';
    if (length <= MaxSeparatedLength) std::memcpy(text, SeparatorScratch, length + 1);
}
