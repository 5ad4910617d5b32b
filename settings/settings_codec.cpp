// The text and number rules of the stored settings and constants. Every
// comparison is exact, letter case included: "yes" is not "Yes".
#include "settings/settings_codec.h"

#include <cstdio>
#include <cstring>

#include "eval/decimal.h"
#include "settings/settings.h"

namespace {

bool Is(const char* text, const char* stored) {
    return std::strcmp(text, stored) == 0;
}

// The delays the Settings dialog offers, largest first.
constexpr unsigned short OfferedDelays[] = {100, 10, 1, 0};

constexpr const char* OutFormatTypes[] = {"g", "G", "e", "E", "f"};
constexpr int MaxPrecision = 15;

}  // namespace

int FlagFromText(const char* text) {
    return Is(text, TextYes) ? 1 : 0;
}

const char* FlagText(int flag) {
    return flag != 0 ? TextYes : TextNo;
}

char EvalKeyFromText(const char* text) {
    // strchr would also find the terminating NUL of the choices.
    if (text[0] != '\0' && std::strchr(EvalKeyChoices, text[0]) != nullptr) return text[0];
    return '=';
}

void EvalKeyText(char key, char* out) {
    out[0] = key;
    out[1] = '\0';
}

int EvalKeyPositionFromText(const char* text) {
    return Is(text, TextPrefix) ? KeyPrefix : KeySuffix;
}

const char* EvalKeyPositionText(int position) {
    return position == KeyPrefix ? TextPrefix : TextSuffix;
}

int AngleUnitFromText(const char* text) {
    return Is(text, TextDegrees) ? AngleDegrees : AngleRadians;
}

const char* AngleUnitText(int unit) {
    return unit == AngleDegrees ? TextDegrees : TextRadians;
}

const char* OutFormatSignFromText(const char* text) {
    return Is(text, "+") ? "+" : "-";
}

const char* OutFormatTypeFromText(const char* text) {
    for (const char* type : OutFormatTypes) {
        if (Is(text, type)) return type;
    }
    return OutFormatTypes[0];
}

int HexadecimalFormFromText(const char* text) {
    if (Is(text, TextComplement8)) return HexComplement8;
    if (Is(text, TextComplement16)) return HexComplement16;
    if (Is(text, TextComplement32)) return HexComplement32;
    return HexSigned;
}

const char* HexadecimalFormText(int form) {
    switch (form) {
        case HexComplement8: return TextComplement8;
        case HexComplement16: return TextComplement16;
        case HexComplement32: return TextComplement32;
        default: return TextSigned;
    }
}

unsigned short DelayFromRegistry(uint32_t stored) {
    for (unsigned short delay : OfferedDelays) {
        if (stored >= delay) return delay;
    }
    return 0;
}

unsigned short DelayFromIni(int number) {
    return static_cast<unsigned short>(static_cast<unsigned>(number) & 0xFFFFu);
}

int PrecisionFromRegistry(uint32_t stored) {
    return stored > uint32_t(MaxPrecision) ? MaxPrecision : int(stored);
}

int PrecisionFromIni(int number) {
    if (number > MaxPrecision) return MaxPrecision;
    if (number < 0) return 0;
    return number;
}

bool IniVersionIsImported(const char* text) {
    return ClassicAtof(text) >= 2.0;
}

void IniConstantKey(int slot, char* out) {
    std::snprintf(out, IniConstKeySize, "C%d", slot);
}

void IniConstantEntry(const char* name, const char* text, char* out) {
    std::snprintf(out, ConstEntrySize, "%s,%s", name, text);
}

const char* IniConstantValueText(const char* entry) {
    char name[ConstNameSize];
    ScanConstantName(entry, name);
    size_t nameLength = std::strlen(name);
    size_t entryLength = std::strlen(entry);
    if (entryLength < nameLength + 2) return "";
    const char* text = entry + nameLength + 1;
    if (std::strlen(text) > size_t(ConstTextSize - 1)) return "";
    return text;
}

void RegistryConstantText(const char* data, size_t size, char* out) {
    size_t limit = size < size_t(ConstTextSize - 1) ? size : size_t(ConstTextSize - 1);
    size_t length = 0;
    for (; length < limit && data[length] != '\0'; length++) out[length] = data[length];
    out[length] = '\0';
}
