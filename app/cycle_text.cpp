// The evaluation cycle's rules on plain text. Everything works in place in
// fixed global buffers; nothing is allocated.
#include "app/cycle_text.h"

#include <cstring>

#include "settings/settings.h"

char ClipboardText[ClipboardTextLimit + 1];
char ResultText[MaxSeparatedLength + 1];
int FullWidthKey;

// The longest text the separators can make: a result with a comma for every
// three digits, and its NUL.
static char SeparatorScratch[MaxSeparatedLength + MaxSeparatedLength / 3 + 2];

namespace {

// The full-width characters that have a single-byte counterpart, as
// (Shift-JIS pair, byte). Both conversion tables are made from this list.
struct FullWidthRow {
    unsigned short pair;
    unsigned char byte;
};

constexpr FullWidthRow FullWidthSymbols[] = {
    {0x8140, 0x20},  // ideographic space
    {0x8143, 0x2C},  // comma
    {0x8144, 0x2E},  // full stop
    {0x8146, 0x3A},  // colon
    {0x8147, 0x3B},  // semicolon
    {0x8148, 0x3F},  // question mark
    {0x8149, 0x21},  // exclamation mark
    {0x814D, 0x60},  // grave accent
    {0x814F, 0x5E},  // circumflex
    {0x8150, 0x7E},  // macron (overline)
    {0x8151, 0x5F},  // low line
    {0x815E, 0x2F},  // solidus
    {0x8162, 0x7C},  // vertical line
    {0x8166, 0x27},  // right single quotation mark
    {0x8168, 0x22},  // right double quotation mark
    {0x8169, 0x28},  // left parenthesis
    {0x816A, 0x29},  // right parenthesis
    {0x816D, 0x5B},  // left square bracket
    {0x816E, 0x5D},  // right square bracket
    {0x816F, 0x7B},  // left curly bracket
    {0x8170, 0x7D},  // right curly bracket
    {0x817B, 0x2B},  // plus sign
    {0x817C, 0x2D},  // minus sign
    {0x817E, 0xD7},  // multiplication sign: the evaluator's byte 215
    {0x8180, 0xF7},  // division sign: the evaluator's byte 247
    {0x8181, 0x3D},  // equals sign
    {0x8183, 0x3C},  // less-than sign
    {0x8184, 0x3E},  // greater-than sign
    {0x818F, 0x5C},  // yen sign
    {0x8190, 0x24},  // dollar sign
    {0x8193, 0x25},  // percent sign
    {0x8194, 0x23},  // number sign
    {0x8195, 0x26},  // ampersand
    {0x8196, 0x2A},  // asterisk
    {0x8197, 0x40},  // commercial at
};

// Runs of consecutive pairs that map to consecutive bytes.
struct FullWidthRun {
    unsigned short firstPair;
    unsigned char firstByte;
    int count;
};

constexpr FullWidthRun FullWidthRuns[] = {
    {0x824F, '0', 10},  // digits
    {0x8260, 'A', 26},  // capitals
    {0x8281, 'a', 26},  // small letters
};

constexpr int TableIndex(unsigned lead, unsigned trail) {
    return int((lead - 0x81) * 256 + trail - 0x40);
}

struct FullWidthTables {
    unsigned char toAscii[FullWidthTableSize];
    unsigned char lead[96];
    unsigned char trail[96];
};

constexpr void AddRow(FullWidthTables& t, unsigned pair, unsigned char byte) {
    t.toAscii[TableIndex(pair >> 8, pair & 0xFF)] = byte;
    if (byte >= 0x20 && byte <= 0x7E) {
        t.lead[byte - 0x20] = (unsigned char)(pair >> 8);
        t.trail[byte - 0x20] = (unsigned char)(pair & 0xFF);
    }
}

constexpr FullWidthTables MakeTables() {
    FullWidthTables t{};
    for (unsigned char& entry : t.toAscii) entry = 0x80;  // no single-byte counterpart
    for (const FullWidthRow& row : FullWidthSymbols) AddRow(t, row.pair, row.byte);
    for (const FullWidthRun& run : FullWidthRuns) {
        for (int i = 0; i < run.count; i++) {
            AddRow(t, unsigned(run.firstPair + i), (unsigned char)(run.firstByte + i));
        }
    }
    return t;  // 0x7F keeps the pair 00 00
}

constexpr FullWidthTables Tables = MakeTables();

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

unsigned char ToAscii(unsigned char lead, unsigned char trail) {
    return FullWidthToAscii[TableIndex(lead, trail)];
}

// The byte of the key at the configured end of a text of the given length,
// or -1 when the position is neither prefix nor suffix or the text is empty.
int KeyIndex(int length) {
    if (length < 1) return -1;
    if (Settings.EvalKeyPosition == KeyPrefix) return 0;
    if (Settings.EvalKeyPosition == KeySuffix) return length - 1;
    return -1;
}

// The full-width key test: the pair at the configured end maps to the key.
bool HasFullWidthKey(const unsigned char* text, int length) {
    int first;
    if (Settings.EvalKeyPosition == KeyPrefix) {
        first = 0;
    } else if (Settings.EvalKeyPosition == KeySuffix) {
        first = length - 2;
    } else {
        return false;
    }
    unsigned char lead = text[first];
    unsigned char trail = text[first + 1];
    return IsConvertiblePair(lead, trail) &&
           ToAscii(lead, trail) == (unsigned char)Settings.EvalKey;
}

}  // namespace

const unsigned char (&FullWidthToAscii)[FullWidthTableSize] = Tables.toAscii;
const unsigned char (&AsciiToFullWidthLead)[96] = Tables.lead;
const unsigned char (&AsciiToFullWidthTrail)[96] = Tables.trail;

bool TakeClipboardText(const char* text) {
    return TakeClipboardText(text, ClipboardTextLimit);
}

bool TakeClipboardText(const char* text, size_t available) {
    int n = 0;
    while (n < ClipboardTextLimit && size_t(n) < available && text[n] != '\0') {
        ClipboardText[n] = text[n];
        n++;
    }
    ClipboardText[n] = '\0';
    return n < ClipboardTextLimit;
}

void TrimLineEnds(char* text) {
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) text[--n] = '\0';
}

bool IsConvertiblePair(unsigned char lead, unsigned char trail) {
    return (lead == 0x81 && trail >= 0x40) || (lead == 0x82 && trail <= 0x9A);
}

void ConvertFullWidth(char* text) {
    unsigned char* p = reinterpret_cast<unsigned char*>(text);
    size_t length = std::strlen(text);
    size_t read = 0;
    size_t write = 0;
    while (read < length) {
        // The terminating NUL counts as the byte after the last: a lone lead
        // byte 0x82 at the end pairs with it.
        if (IsConvertiblePair(p[read], p[read + 1])) {
            p[write++] = ToAscii(p[read], p[read + 1]);
            read += 2;
        } else {
            p[write++] = p[read++];
        }
    }
    p[write] = '\0';
}

const char* ExtractExpression() {
    FullWidthKey = 0;
    int length = int(std::strlen(ClipboardText));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(ClipboardText);
    if (Settings.ShiftJIS && length >= 2) {
        FullWidthKey = HasFullWidthKey(bytes, length);
        int plain = KeyIndex(length);
        if (FullWidthKey || (plain >= 0 && ClipboardText[plain] == Settings.EvalKey)) {
            ConvertFullWidth(ClipboardText);
            length = int(std::strlen(ClipboardText));
        }
    }
    int key = KeyIndex(length);
    if (key < 0 || ClipboardText[key] != Settings.EvalKey) return nullptr;
    if (Settings.EvalKeyPosition == KeyPrefix) return ClipboardText + 1;
    ClipboardText[key] = '\0';
    return ClipboardText;
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

size_t ClipboardBlockSize(const char* result) {
    return 2 * std::strlen(result) + 1;
}

void FillClipboardBlock(char* block, const char* result, bool fullWidth) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(result);
    for (;; p++) {
        unsigned char c = *p;
        if (fullWidth && c >= 0x20 && c <= 0x7F) {
            *block++ = char(AsciiToFullWidthLead[c - 0x20]);
            *block++ = char(AsciiToFullWidthTrail[c - 0x20]);
        } else {
            *block++ = char(c);
        }
        if (c == '\0') break;
    }
}
