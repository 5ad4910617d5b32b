// libFuzzer target: the clipboard text path of the evaluation cycle, as
// app/cycle.cpp runs it: take the clipboard block, trim it, find and remove
// the key (with full-width characters under ShiftJIS), evaluate, insert
// separators and fill the clipboard block; and the text rules on their own,
// on any text.
//
// Input: four option bytes (EvalKey, one of "=?!@#+"; EvalKeyPosition, also
// -1 and 2, which match nothing; flags: bit 0 ShiftJIS, bit 1 separators,
// bit 2 the text handed over NUL-terminated rather than as a block of its
// exact size; the result format), then the clipboard bytes.
#include <cstring>
#include <string>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/result_checks.h"

namespace {

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The pair at text[i] (the NUL counting as the byte after the last).
bool PairAt(const std::string& text, size_t i) {
    unsigned char trail = i + 1 < text.size() ? (unsigned char)text[i + 1] : 0;
    return IsConvertiblePair((unsigned char)text[i], trail);
}

unsigned char PairByte(unsigned char lead, unsigned char trail) {
    return FullWidthToAscii[(lead - 0x81) * 256 + trail - 0x40];
}

// The conversion leaves no convertible pair, never lengthens the text, changes
// nothing in a text without lead bytes, and a second pass changes nothing.
std::string CheckConversion(const std::string& text) {
    HeapText copy(text.data(), text.size());
    ConvertFullWidth(copy.bytes);
    std::string converted(copy.bytes);
    FUZZ_CHECK(converted.size() <= text.size(), "conversion does not lengthen the text");
    for (size_t i = 0; i < converted.size(); i++) {
        FUZZ_CHECK(!PairAt(converted, i), "conversion leaves no convertible pair");
    }
    if (text.find_first_of("\x81\x82") == std::string::npos) {
        FUZZ_CHECK(converted == text, "a text without lead bytes is not converted");
    }
    ConvertFullWidth(copy.bytes);
    FUZZ_CHECK(converted == copy.bytes, "a converted text converts to itself");
    return converted;
}

// Separators on any text: the text stays within its buffer and is the same
// once the commas are taken out; texts with a letter or without a digit
// before the "." are left alone. A plain decimal result must come out with
// commas only between groups of three digits (CheckSeparators).
void CheckAnySeparators(const std::string& text) {
    HeapBuffer copy(MaxSeparatedLength + 1, 0x55);
    std::string input = text.substr(0, MaxSeparatedLength);
    std::memcpy(copy.bytes, input.c_str(), input.size() + 1);
    InsertThousandSeparators(copy.bytes);
    const void* nul = std::memchr(copy.bytes, '\0', MaxSeparatedLength + 1);
    FUZZ_CHECK(nul != nullptr, "the separated text is NUL-terminated in its buffer");
    std::string separated(copy.bytes);
    std::string stripped;
    for (char c : separated) {
        if (c != ',') stripped += c;
    }
    std::string original;
    for (char c : input) {
        if (c != ',') original += c;
    }
    FUZZ_CHECK(stripped == original, "separators change nothing but commas");
    size_t point = input.find('.');
    std::string before = input.substr(0, point);
    bool letter = false;
    for (char c : input) letter = letter || IsLetter(c);
    if (letter || before.find_first_of("0123456789") == std::string::npos) {
        FUZZ_CHECK(separated == input, "a text with a letter or no digit is left alone");
    }
}

// The block for text: exactly ClipboardBlockSize bytes, each byte 0x20-0x7F
// written as the pair that converts back to it when fullWidth is set, the
// NUL, and the rest of the block untouched.
void CheckBlock(const std::string& text, bool fullWidth) {
    size_t size = ClipboardBlockSize(text.c_str());
    FUZZ_CHECK(size == 2 * text.size() + 1, "the block holds 2 * n + 1 bytes");
    HeapBuffer block(size, 0xEE);
    FillClipboardBlock(block.bytes, text.c_str(), fullWidth);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(block.bytes);
    size_t j = 0;
    for (unsigned char c : text) {
        if (fullWidth && c >= 0x20 && c <= 0x7F) {
            unsigned char lead = b[j], trail = b[j + 1];
            if (c == 0x7F) {
                FUZZ_CHECK(lead == 0 && trail == 0, "0x7F is written as 00 00");
            } else {
                FUZZ_CHECK(IsConvertiblePair(lead, trail) && PairByte(lead, trail) == c,
                           "a full-width pair converts back to its byte");
            }
            j += 2;
        } else {
            FUZZ_CHECK(b[j] == c, "a byte without a pair is copied");
            j++;
        }
    }
    FUZZ_CHECK(b[j] == 0, "the block ends the text with its NUL");
    for (j++; j < size; j++) FUZZ_CHECK(b[j] == 0xEE, "the block's tail is left alone");
}

// ExtractExpression on ClipboardText, which holds the trimmed text.
const char* CheckExtraction(const std::string& text) {
    const char* expression = ExtractExpression();
    const char key = Settings.EvalKey;
    const int position = Settings.EvalKeyPosition;
    FUZZ_CHECK(FullWidthKey == 0 || FullWidthKey == 1, "FullWidthKey is 0 or 1");
    if (position != KeyPrefix && position != KeySuffix) {
        FUZZ_CHECK(expression == nullptr && text == ClipboardText,
                   "another key position matches nothing and changes nothing");
        FUZZ_CHECK(FullWidthKey == 0, "another key position finds no full-width key");
        return nullptr;
    }
    std::string expected = text;
    bool fullWidthKey = false;
    if (Settings.ShiftJIS && text.size() >= 2) {
        size_t first = position == KeyPrefix ? 0 : text.size() - 2;
        unsigned char lead = text[first], trail = text[first + 1];
        fullWidthKey =
            IsConvertiblePair(lead, trail) && PairByte(lead, trail) == (unsigned char)key;
        char plain = position == KeyPrefix ? text[0] : text.back();
        if (fullWidthKey || plain == key) expected = CheckConversion(text);
    }
    FUZZ_CHECK(FullWidthKey == int(fullWidthKey), "FullWidthKey tells the full-width key");
    bool carries =
        !expected.empty() && (position == KeyPrefix ? expected[0] : expected.back()) == key;
    if (!carries) {
        FUZZ_CHECK(expression == nullptr, "a text without the key is not evaluated");
        FUZZ_CHECK(expected == ClipboardText, "the text is converted only as the rules say");
        return nullptr;
    }
    FUZZ_CHECK(expression != nullptr, "a text with the key is evaluated");
    if (position == KeyPrefix) {
        FUZZ_CHECK(expression == ClipboardText + 1 && expected == ClipboardText,
                   "a prefix key is passed over");
    } else {
        expected.pop_back();
        FUZZ_CHECK(expression == ClipboardText && expected == ClipboardText,
                   "a suffix key is removed");
    }
    return expression;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetDefaultSettings();
    PreviousResult = 0.0;
    FuzzInput in{data, size};
    Settings.EvalKey = EvalKeyChoices[in.Byte() % 6];
    Settings.EvalKeyPosition = int(in.Byte() % 4) - 1;
    uint8_t flags = in.Byte();
    uint8_t format = in.Byte();
    Settings.ShiftJIS = flags & 1;
    Settings.InsThousandSep = (flags >> 1) & 1;
    Setup setup{{'-', 0}, {"gGeEf"[format % 5], 0}, format / 5 % 16};
    std::strcpy(Settings.OutFormatType, setup.type);
    Settings.OutFormatPrecision = setup.precision;
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);

    // The clipboard's data: up to its NUL or the end of its block.
    const char* bytes = reinterpret_cast<const char*>(in.data);
    const char* nul = static_cast<const char*>(std::memchr(bytes, '\0', in.size));
    size_t length = nul != nullptr ? size_t(nul - bytes) : in.size;
    bool taken;
    if (flags & 4) {
        HeapText text(bytes, length);
        taken = TakeClipboardText(text.bytes);
    } else {
        HeapBuffer block(in.size, 0);
        std::memcpy(block.bytes, bytes, in.size);
        taken = TakeClipboardText(block.bytes, in.size);
    }
    size_t kept = length < size_t(ClipboardTextLimit) ? length : size_t(ClipboardTextLimit);
    FUZZ_CHECK(taken == (length < size_t(ClipboardTextLimit)), "a text of 1024 bytes is refused");
    FUZZ_CHECK(std::memcmp(ClipboardText, bytes, kept) == 0 && ClipboardText[kept] == '\0',
               "the text is taken up to its NUL or 1024 bytes");

    TrimLineEnds(ClipboardText);
    std::string text(ClipboardText);
    FUZZ_CHECK(std::string(bytes, kept).compare(0, text.size(), text) == 0,
               "trimming cuts the end");
    for (size_t i = text.size(); i < kept; i++) {
        FUZZ_CHECK(bytes[i] == '\r' || bytes[i] == '\n', "trimming removes only CR and LF");
    }
    FUZZ_CHECK(text.empty() || (text.back() != '\r' && text.back() != '\n'),
               "trimming removes every CR and LF at the end");

    // The rules on the text as it is.
    CheckConversion(text);
    CheckAnySeparators(text);
    CheckBlock(text, false);
    CheckBlock(text, true);
    if (!taken) return 0;  // Not Evaluated

    const char* expression = CheckExtraction(text);
    if (expression == nullptr) return 0;
    double previous = PreviousResult;
    int status = Evaluate(expression, ResultText);
    FUZZ_CHECK(status == 0 || status == 1, "Evaluate answers 0 or 1");
    if (status == 0) {
        FUZZ_CHECK(std::memcmp(&previous, &PreviousResult, sizeof previous) == 0,
                   "a failure keeps the previous result");
        return 0;
    }
    const char* reason = CheckResultText(ResultText, PreviousResult, FormatLetter, setup);
    if (reason != nullptr) FuzzFail(reason, ResultText);
    if (Settings.InsThousandSep) InsertThousandSeparators(ResultText);
    CheckBlock(ResultText, FullWidthKey != 0);
    if (FullWidthKey) {
        // What a Shift-JIS reader of the clipboard gets back.
        HeapBuffer block(ClipboardBlockSize(ResultText), 0);
        FillClipboardBlock(block.bytes, ResultText, true);
        ConvertFullWidth(block.bytes);
        FUZZ_CHECK(std::strcmp(block.bytes, ResultText) == 0, "a full-width result reads back");
    }
    return 0;
}
