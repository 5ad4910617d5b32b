// The user constant table and the lookup the evaluator makes in it.
#include "settings/constants.h"

#include <cstring>

#include "eval/decimal.h"

int ConstCount = 0;
char ConstName[MaxConstants][ConstNameSize];
char ConstText[MaxConstants][ConstTextSize];
double ConstValue[MaxConstants];

int FindConstant(const char* name) {
    for (int i = 0; i < ConstCount; i++) {
        if (std::strcmp(ConstName[i], name) == 0) return i;
    }
    return -1;
}

static bool IsNameLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

int ScanConstantName(const char* text, char* out) {
    int read = 0;
    int stored = 0;
    for (;; read++) {
        char c = text[read];
        bool digit = c >= '0' && c <= '9';
        if (!IsNameLetter(c) && !(digit && read > 0)) break;
        if (stored < ConstNameSize - 1) {
            out[stored++] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        }
    }
    out[stored] = '\0';
    return read;
}

bool AppendConstant(const char* name, const char* text) {
    if (ConstCount >= MaxConstants) return false;
    size_t length = std::strlen(text);
    if (length >= size_t(ConstTextSize)) return false;
    ScanConstantName(name, ConstName[ConstCount]);
    std::memcpy(ConstText[ConstCount], text, length + 1);
    ConstValue[ConstCount] = ClassicAtof(text);
    ConstCount++;
    return true;
}
