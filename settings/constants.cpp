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

static char UpperCase(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

void UpperCaseAscii(char* text) {
    for (; *text != '\0'; text++) *text = UpperCase(*text);
}

TypedName CheckTypedConstantName(char* name) {
    for (int i = 0; name[i] != '\0'; i++) {
        char c = name[i];
        bool digit = c >= '0' && c <= '9';
        if (digit && i == 0) return TypedName::BeginsWithDigit;
        if (!IsNameLetter(c) && !digit) return TypedName::IllegalCharacter;
        name[i] = UpperCase(c);
    }
    return name[0] == '\0' ? TypedName::Empty : TypedName::Accepted;
}

// Copies at most size-1 characters of text up to the end character (or the
// NUL), upper-cased and terminated.
static void CopyUpperCased(const char* text, char end, char* out, size_t size) {
    size_t n = 0;
    for (; text[n] != '\0' && text[n] != end && n + 1 < size; n++) out[n] = UpperCase(text[n]);
    out[n] = '\0';
}

void SetConstantFromEntry(int slot, const char* entry) {
    CopyUpperCased(entry, '=', ConstName[slot], ConstNameSize);
    const char* equals = std::strchr(entry, '=');
    const char* text = equals != nullptr ? equals + 1 : "";
    if (*text == '\0') text = "0";
    CopyUpperCased(text, '\0', ConstText[slot], ConstTextSize);
    ConstValue[slot] = ClassicAtof(ConstText[slot]);
}
