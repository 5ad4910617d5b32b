// libFuzzer target: the settings codec's reading of stored texts and numbers,
// and the text rules of the user constants, on any text.
//
// Input: a 32-bit registry number, a 32-bit INI number, a slot byte, then the
// stored text (up to its NUL; the registry data is all of it, NULs included).
//
// Every reader must give one of its documented values, chosen by the exact
// text (letter case counts); every writer's text must read back as the value
// it was written for; every output stays within its buffer, NUL-terminated,
// and the constant table changes only in the slot written.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eval/decimal.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "settings/settings_codec.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool IsNameChar(char c, size_t position) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (c >= '0' && c <= '9' && position > 0);
}

std::string Upper(std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    return text;
}

void CheckTextReaders(const char* text) {
    const std::string t(text);
    FUZZ_CHECK(FlagFromText(text) == (t == "Yes"), "a flag is 1 for exactly \"Yes\"");
    char key = EvalKeyFromText(text);
    char expectedKey = !t.empty() && std::strchr(EvalKeyChoices, t[0]) ? t[0] : '=';
    FUZZ_CHECK(key == expectedKey, "EvalKey is the first character when it is a key, else =");
    FUZZ_CHECK(EvalKeyPositionFromText(text) == (t == "PREFIX" ? KeyPrefix : KeySuffix),
               "EvalKeyPosition is prefix for exactly \"PREFIX\"");
    FUZZ_CHECK(AngleUnitFromText(text) == (t == "Deg" ? AngleDegrees : AngleRadians),
               "AngleUnit is degrees for exactly \"Deg\"");
    const char* sign = OutFormatSignFromText(text);
    FUZZ_CHECK(sign != text && std::string(sign) == (t == "+" ? "+" : "-"),
               "OutFormatSign is a constant \"+\" for exactly \"+\", else \"-\"");
    const char* type = OutFormatTypeFromText(text);
    bool known = t == "g" || t == "G" || t == "e" || t == "E" || t == "f";
    FUZZ_CHECK(type != text && std::string(type) == (known ? t : "g"),
               "OutFormatType is a constant copy of a known type, else \"g\"");
    int form = HexadecimalFormFromText(text);
    int expectedForm = t == "COMPLEMENT_8BIT"    ? HexComplement8
                       : t == "COMPLEMENT_16BIT" ? HexComplement16
                       : t == "COMPLEMENT_32BIT" ? HexComplement32
                                                 : HexSigned;
    FUZZ_CHECK(form == expectedForm, "HexadecimalForm is read from its exact texts");

    // The version and the constants' values are read as the classic atof
    // does: on a text of decimal characters only, that is strtod's reading.
    double value = ClassicAtof(text);
    FUZZ_CHECK(IniVersionIsImported(text) == (value >= 2.0), "version 2.0 or more is imported");
    if (t.find_first_not_of(" \t\n\v\f\r+-.0123456789eE") == std::string::npos) {
        double reference = std::strtod(text, nullptr);
        if (!SameBits(value, reference)) FuzzFail("ClassicAtof reads as strtod does", text);
    }
}

void CheckWriters(uint32_t stored, int number) {
    for (int flag : {0, 1, number}) {
        FUZZ_CHECK(FlagFromText(FlagText(flag)) == (flag != 0), "a flag reads back");
    }
    HeapBuffer keyText(2, 0x55);
    for (const char* k = EvalKeyChoices; *k != '\0'; k++) {
        EvalKeyText(*k, keyText.bytes);
        FUZZ_CHECK(keyText.bytes[1] == '\0' && EvalKeyFromText(keyText.bytes) == *k,
                   "EvalKey reads back");
    }
    for (int value : {-1, 0, 1, 2, 3, 4, number}) {
        FUZZ_CHECK(EvalKeyPositionFromText(EvalKeyPositionText(value)) ==
                       (value == KeyPrefix ? KeyPrefix : KeySuffix),
                   "EvalKeyPosition reads back");
        FUZZ_CHECK(AngleUnitFromText(AngleUnitText(value)) ==
                       (value == AngleDegrees ? AngleDegrees : AngleRadians),
                   "AngleUnit reads back");
        FUZZ_CHECK(HexadecimalFormFromText(HexadecimalFormText(value)) ==
                       (value >= HexComplement8 && value <= HexComplement32 ? value : HexSigned),
                   "HexadecimalForm reads back");
    }

    unsigned short delay = DelayFromRegistry(stored);
    FUZZ_CHECK(delay == 0 || delay == 1 || delay == 10 || delay == 100,
               "a registry delay is offered");
    FUZZ_CHECK(delay <= stored && (delay == 100 || stored < (delay == 0 ? 1u : delay * 10u)),
               "a registry delay is the largest offered one not above it");
    FUZZ_CHECK(DelayFromIni(number) == (uint32_t(number) & 0xFFFF), "an INI delay keeps 16 bits");
    int precision = PrecisionFromRegistry(stored);
    FUZZ_CHECK(precision == (stored > 15 ? 15 : int(stored)), "a registry precision is at most 15");
    precision = PrecisionFromIni(number);
    FUZZ_CHECK(precision == (number < 0    ? 0
                             : number > 15 ? 15
                                           : number),
               "an INI precision is limited to 0..15");

    HeapBuffer key(IniConstKeySize, 0x55);
    IniConstantKey(number, key.bytes);
    FUZZ_CHECK(std::string(key.bytes) == "C" + std::to_string(number), "the INI key is C<n>");
}

// The name scan: at most 8 upper-cased name characters, every character
// consumed a name character, and the one after them none.
std::string CheckNameScan(const char* text) {
    HeapBuffer name(ConstNameSize, 0x55);
    int read = ScanConstantName(text, name.bytes);
    FUZZ_CHECK(read >= 0 && size_t(read) <= std::strlen(text), "the scan stays in the text");
    for (int i = 0; i < read; i++) FUZZ_CHECK(IsNameChar(text[i], i), "the scan reads names");
    FUZZ_CHECK(!IsNameChar(text[read], read), "the scan reads the whole name");
    std::string expected = Upper(std::string(text, read).substr(0, ConstNameSize - 1));
    FUZZ_CHECK(std::memchr(name.bytes, '\0', ConstNameSize) && expected == name.bytes,
               "the stored name is the first 8 characters, upper-cased");
    return expected;
}

// An INI entry: the loader's value text lies one separator after the name
// and is at most 40 characters; an entry written from a name and a text
// reads back as them, through the loader's AppendConstant.
void CheckIniEntry(const char* text) {
    std::string name = CheckNameScan(text);
    const char* value = IniConstantValueText(text);
    size_t length = std::strlen(text);
    if (value[0] != '\0') {
        FUZZ_CHECK(value == text + name.size() + 1 && std::strlen(value) < size_t(ConstTextSize),
                   "the value text follows the name and one separator");
    } else {
        FUZZ_CHECK(length < name.size() + 2 || std::strlen(text + name.size() + 1) >= ConstTextSize,
                   "only a short entry or a long value text gives \"\"");
    }

    std::string valueText = std::string(text).substr(0, ConstTextSize - 1);
    HeapBuffer entry(ConstEntrySize, 0x55);
    IniConstantEntry(name.c_str(), valueText.c_str(), entry.bytes);
    FUZZ_CHECK(std::memchr(entry.bytes, '\0', ConstEntrySize), "the entry fits its buffer");
    ConstCount = 0;
    FUZZ_CHECK(AppendConstant(entry.bytes, IniConstantValueText(entry.bytes)),
               "a written entry loads");
    FUZZ_CHECK(ConstCount == 1 && name == ConstName[0] && valueText == ConstText[0] &&
                   SameBits(ConstValue[0], ClassicAtof(valueText.c_str())),
               "a written entry loads as its name and text");
    FUZZ_CHECK(FindConstant(ConstName[0]) == 0 && FindConstant((name + "_").c_str()) == -1,
               "a loaded name is found, and only that name");
    FUZZ_CHECK(AppendConstant(text, text) == (length < size_t(ConstTextSize)),
               "a stored text over 40 characters is refused");
}

void CheckRegistryData(const char* data, size_t size) {
    HeapBuffer copy(size, 0);
    std::memcpy(copy.bytes, data, size);
    HeapBuffer out(ConstTextSize, 0x55);
    RegistryConstantText(copy.bytes, size, out.bytes);
    size_t n = 0;
    while (n < size && n < size_t(ConstTextSize - 1) && data[n] != '\0') n++;
    FUZZ_CHECK(std::memcmp(out.bytes, data, n) == 0 && out.bytes[n] == '\0',
               "registry data gives its first 40 characters up to its NUL");
}

// The dialog's rules: a typed name, and an entry NAME=TEXT into its slot,
// with the neighbouring slots untouched.
void CheckDialogRules(const char* text, int slot) {
    HeapText typed(text);
    TypedName answer = CheckTypedConstantName(typed.bytes);
    size_t bad = 0;
    while (text[bad] != '\0' && IsNameChar(text[bad], bad)) bad++;
    TypedName expected = text[0] == '\0'     ? TypedName::Empty
                         : text[bad] == '\0' ? TypedName::Accepted
                         : bad == 0 && text[0] >= '0' && text[0] <= '9'
                             ? TypedName::BeginsWithDigit
                             : TypedName::IllegalCharacter;
    FUZZ_CHECK(answer == expected, "a typed name is judged by its first non-name character");
    FUZZ_CHECK(Upper(std::string(text, bad)) + (text + bad) == typed.bytes,
               "a typed name is upper-cased up to that character");

    HeapText upper(text);
    UpperCaseAscii(upper.bytes);
    FUZZ_CHECK(Upper(text) == upper.bytes, "UpperCaseAscii changes only a-z");

    std::memset(ConstName, 0x55, sizeof ConstName);
    std::memset(ConstText, 0x55, sizeof ConstText);
    SetConstantFromEntry(slot, text);
    const char* equals = std::strchr(text, '=');
    std::string name = Upper(std::string(text, equals ? size_t(equals - text) : std::strlen(text)));
    std::string value = Upper(equals && equals[1] ? equals + 1 : "0");
    FUZZ_CHECK(name.substr(0, ConstNameSize - 1) == ConstName[slot], "the entry's name is taken");
    FUZZ_CHECK(value.substr(0, ConstTextSize - 1) == ConstText[slot], "the entry's text is taken");
    FUZZ_CHECK(SameBits(ConstValue[slot], ClassicAtof(ConstText[slot])), "the value is atof's");
    for (int other : {slot - 1, slot + 1}) {
        if (other < 0 || other >= MaxConstants) continue;
        for (int i = 0; i < ConstNameSize; i++) {
            FUZZ_CHECK(ConstName[other][i] == 0x55, "a neighbouring name is left alone");
        }
        for (int i = 0; i < ConstTextSize; i++) {
            FUZZ_CHECK(ConstText[other][i] == 0x55, "a neighbouring text is left alone");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    uint32_t stored = in.Word();
    int number = int(in.Word());
    int slot = in.Byte() % MaxConstants;
    const char* bytes = reinterpret_cast<const char*>(in.data);
    HeapText text(bytes, strnlen(bytes, in.size));

    CheckTextReaders(text.bytes);
    CheckWriters(stored, number);
    CheckIniEntry(text.bytes);
    CheckRegistryData(bytes, in.size);
    CheckDialogRules(text.bytes, slot);
    return 0;
}
