// The text rules of the evaluation cycle that need no window: taking the
// clipboard text into its buffer, trimming it, finding and removing the
// evaluation key, understanding full-width (Shift-JIS) characters, thousands
// separators, and the bytes that go back to the clipboard. They work on plain
// 8-bit text in the cycle's fixed buffers.
#pragma once

#include <cstddef>

// A clipboard text of this many bytes or more is refused.
constexpr int ClipboardTextLimit = 1024;
// A separated result can be up to this long; a longer one is left as it was.
constexpr int MaxSeparatedLength = 1024;
// The clipboard block for a result of n bytes holds 2 * n + 1 bytes.
constexpr int MaxClipboardBlock = 2 * MaxSeparatedLength + 1;

extern char ClipboardText[ClipboardTextLimit + 1];
extern char ResultText[MaxSeparatedLength + 1];
extern int FullWidthKey;  // the key found was a full-width character

// Full-width pairs 0x8140-0x81FF and 0x8200-0x829A to single bytes (0x80 for
// a character without a single-byte counterpart), indexed by
// (lead - 0x81) * 256 + trail - 0x40.
constexpr int FullWidthTableSize = 347;
extern const unsigned char (&FullWidthToAscii)[FullWidthTableSize];
// Bytes 0x20-0x7F to full-width pairs, indexed by c - 0x20.
extern const unsigned char (&AsciiToFullWidthLead)[96];
extern const unsigned char (&AsciiToFullWidthTrail)[96];

// Copies text into ClipboardText up to its NUL or 1024 bytes, whichever comes
// first. Returns false when 1024 bytes were copied: such a text is refused.
bool TakeClipboardText(const char* text);
// The same for a text in a block of the given size, which may lack its NUL:
// nothing past the block is read.
bool TakeClipboardText(const char* text, size_t available);

// Removes every CR and LF from the end of text.
void TrimLineEnds(char* text);

// A lead byte 0x81 with a trail byte of 0x40 or more, or 0x82 with 0x9A or less.
bool IsConvertiblePair(unsigned char lead, unsigned char trail);

// Replaces every convertible pair of text by its single byte, in place.
void ConvertFullWidth(char* text);

// The key steps on ClipboardText, after it has been taken and trimmed: the
// full-width key test and conversion (when ShiftJIS is set), then the plain
// key test and removal at the configured end. Sets FullWidthKey. Returns the
// expression to evaluate, inside ClipboardText, or nullptr when the text does
// not carry the key.
const char* ExtractExpression();

// Puts thousands separators into a plain decimal result ("," between groups
// of three digits before the "."). Texts with an ASCII letter (exponent and
// hexadecimal forms) and texts without a digit before the "." are left alone,
// and so is a text whose separated form would be longer than
// MaxSeparatedLength. text must hold MaxSeparatedLength + 1 bytes.
void InsertThousandSeparators(char* text);

// Size of the clipboard block for result: 2 * length + 1.
size_t ClipboardBlockSize(const char* result);

// Fills a clipboard block (ClipboardBlockSize bytes) with result and its NUL;
// when fullWidth is set, every byte 0x20-0x7F is written as its full-width
// pair. The block's unused tail is left as it was (the caller zeroes it).
void FillClipboardBlock(char* block, const char* result, bool fullWidth);
