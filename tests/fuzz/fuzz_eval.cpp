// libFuzzer target: Evaluate and the result formats under fuzzed settings and
// user constants, with the previous result carried from one expression to
// the next.
//
// Input: four option bytes (format type, precision, flags: bit 0 sign "+",
// bit 1 degrees, bit 2 thousands separators; hexadecimal form, also values
// outside 0..3), then chunks separated by NUL bytes. A chunk is an
// expression, or starts with 1 (an INI constant entry NAME,TEXT), 2 (a
// Settings-dialog entry NAME=TEXT) or 3 (four new option bytes).
//
// Checked after every evaluation: the answer is 0 or 1; the settings, the
// output format and the constants are as they were; a failure leaves the
// previous result and the output buffer alone; a success gives a text that
// fits its buffer, shows the value in the chosen form, and leaves no operator
// pending; "?" then gives the same value and text again (after the last
// chunk also through a stack of parentheses). Then a table of known
// expressions must still give its results under the default settings.
#include <cmath>
#include <cstring>

#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "settings/settings_codec.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/result_checks.h"

namespace {

constexpr int MaxChunks = 64;

Setup CurrentSetup;
// The text of the last success, and of the last decimal one under the
// current settings.
char ShownText[ResultBufferSize];
char LastText[ResultBufferSize];
bool LastTextValid;

void ApplyOptions(FuzzInput& in) {
    uint8_t type = in.Byte();
    uint8_t precision = in.Byte();
    uint8_t flags = in.Byte();
    uint8_t form = in.Byte();
    CurrentSetup.sign[0] = flags & 1 ? '+' : '-';
    CurrentSetup.sign[1] = '\0';
    CurrentSetup.type[0] = "gGeEf"[type % 5];
    CurrentSetup.type[1] = '\0';
    CurrentSetup.precision = precision % 16;
    std::strcpy(Settings.OutFormatSign, CurrentSetup.sign);
    std::strcpy(Settings.OutFormatType, CurrentSetup.type);
    Settings.OutFormatPrecision = CurrentSetup.precision;
    SetAngleUnit(flags & 2 ? AngleDegrees : AngleRadians);
    Settings.InsThousandSep = (flags >> 2) & 1;
    Settings.HexadecimalForm = int(form % 8) - 2;
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    LastTextValid = false;
}

// Everything an evaluation only reads: the settings, the output format, the
// angle factors and the constants in use.
struct ReadOnlyState {
    SettingsRecord settings;
    char format[OutFormatStringSize];
    double angleIn, angleOut;
    int count;
    char names[MaxConstants][ConstNameSize];
    char texts[MaxConstants][ConstTextSize];
    double values[MaxConstants];

    void Take() {
        settings = Settings;
        std::memcpy(format, OutFormatString, sizeof format);
        angleIn = AngleInFactor;
        angleOut = AngleOutFactor;
        count = ConstCount;
        std::memcpy(names, ConstName, count * sizeof names[0]);
        std::memcpy(texts, ConstText, count * sizeof texts[0]);
        std::memcpy(values, ConstValue, count * sizeof values[0]);
    }
    bool Unchanged() const {
        return std::memcmp(&settings, &Settings, sizeof settings) == 0 &&
               std::memcmp(format, OutFormatString, sizeof format) == 0 &&
               std::memcmp(&angleIn, &AngleInFactor, sizeof angleIn) == 0 &&
               std::memcmp(&angleOut, &AngleOutFactor, sizeof angleOut) == 0 &&
               count == ConstCount && std::memcmp(names, ConstName, count * sizeof names[0]) == 0 &&
               std::memcmp(texts, ConstText, count * sizeof texts[0]) == 0 &&
               std::memcmp(values, ConstValue, count * sizeof values[0]) == 0;
    }
};

ReadOnlyState Before;

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Evaluates text (at most MaxExpressionLength bytes, copied to end at its NUL
// at the end of a heap buffer) into a heap buffer of exactly ResultBufferSize
// bytes and checks every promise of Evaluate.
// Returns the answer; the text of a success is left in ShownText.
int EvaluateChecked(const char* text, size_t length) {
    // Allocated once: an allocation per evaluation would cost more than the
    // evaluation under AddressSanitizer.
    static HeapBuffer inputArea(MaxExpressionLength + 1, 0);
    static HeapBuffer output(ResultBufferSize, 0);
    char* input = inputArea.bytes + MaxExpressionLength - length;
    std::memcpy(input, text, length);
    input[length] = '\0';
    std::memset(output.bytes, 0xA5, ResultBufferSize);
    double previous = PreviousResult;
    int status = Evaluate(input, output.bytes);
    FUZZ_CHECK(status == 0 || status == 1, "Evaluate answers 0 or 1");
    FUZZ_CHECK(Before.Unchanged(), "an evaluation leaves settings and constants alone");
    FUZZ_CHECK(std::isfinite(PreviousResult), "the previous result is finite");
    if (status == 0) {
        FUZZ_CHECK(SameBits(previous, PreviousResult), "a failure keeps the previous result");
        for (int i = 0; i < ResultBufferSize; i++) {
            FUZZ_CHECK(output.bytes[i] == char(0xA5), "a failure writes no output");
        }
        return 0;
    }
    FUZZ_CHECK(OperatorStack.Count == 0, "a success leaves no operator pending");
    const char* reason = CheckResultText(output.bytes, PreviousResult, FormatLetter, CurrentSetup);
    if (reason != nullptr) FuzzFail(reason, output.bytes);
    std::memcpy(ShownText, output.bytes, ResultBufferSize);
    // A hexadecimal result changes the previous value but not the decimal text.
    LastTextValid = FormatLetter == 0;
    if (LastTextValid) std::memcpy(LastText, output.bytes, ResultBufferSize);
    return 1;
}

// "?" recalls the previous result unchanged, with the text it had; also
// through a stack of parentheses and negations, when asked.
void CheckRecall(bool throughStacks) {
    static const char* const recalls[] = {"?", "-(-((((((((?))))))))*1)"};
    double previous = PreviousResult;
    bool hadText = LastTextValid;
    char text[ResultBufferSize];
    std::memcpy(text, LastText, sizeof text);
    for (const char* recall : recalls) {
        if (recall != recalls[0] && !throughStacks) break;
        FUZZ_CHECK(EvaluateChecked(recall, std::strlen(recall)) == 1, "\"?\" is evaluated");
        FUZZ_CHECK(SameBits(previous, PreviousResult), "\"?\" keeps the previous result");
        if (hadText) FUZZ_CHECK(std::strcmp(text, LastText) == 0, "\"?\" gives the same text");
    }
}

// Results that must hold after any input, under the default settings.
void CheckKnownResults() {
    SetDefaultSettings();
    ConstCount = 0;
    CurrentSetup = Setup{{'-', 0}, {'g', 0}, 15};
    Before.Take();
    static const struct {
        const char* expression;
        const char* result;  // nullptr: not evaluated
    } known[] = {
        {"2+3*4", "14"},
        {"SIN(30", "-0.988031624092862"},
        {"?*2", "-1.97606324818572"},
        {"255@H", "&HFF"},
        {"1,234", nullptr},
        {"((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1", "1"},
    };
    for (const auto& k : known) {
        int status = EvaluateChecked(k.expression, std::strlen(k.expression));
        if (k.result == nullptr) {
            FUZZ_CHECK(status == 0, "a known failure still fails");
        } else {
            FUZZ_CHECK(status == 1, "a known expression is still evaluated");
            if (std::strcmp(ShownText, k.result) != 0) {
                FuzzFail("a known expression gives another text", k.expression);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Each input starts as the program does.
    SetDefaultSettings();
    ConstCount = 0;
    PreviousResult = 0.0;
    FuzzInput in{data, size};
    ApplyOptions(in);
    Before.Take();

    const char* text = reinterpret_cast<const char*>(in.data);
    size_t rest = in.size;
    for (int chunk = 0; chunk < MaxChunks && rest > 0; chunk++) {
        const char* nul = static_cast<const char*>(std::memchr(text, '\0', rest));
        size_t length = nul != nullptr ? size_t(nul - text) : rest;
        if (length > 0 && (text[0] == 1 || text[0] == 2) && ConstCount < MaxConstants) {
            // The INI loader reads an entry into IniConstEntrySize bytes.
            size_t cut = length - 1 < size_t(IniConstEntrySize - 1) ? length - 1
                                                                    : size_t(IniConstEntrySize - 1);
            HeapText entry(text + 1, cut);
            if (text[0] == 1) {
                AppendConstant(entry.bytes, IniConstantValueText(entry.bytes));
            } else {
                SetConstantFromEntry(ConstCount++, entry.bytes);
            }
            Before.Take();
        } else if (length > 0 && text[0] == 3) {
            FuzzInput options{reinterpret_cast<const uint8_t*>(text + 1), length - 1};
            ApplyOptions(options);
            Before.Take();
        } else {
            // The callers hand over at most MaxExpressionLength characters.
            EvaluateChecked(
                text, length < size_t(MaxExpressionLength) ? length : size_t(MaxExpressionLength));
            CheckRecall(false);
        }
        if (nul == nullptr) break;
        text = nul + 1;
        rest -= length + 1;
    }
    CheckRecall(true);
    CheckKnownResults();
    return 0;
}
