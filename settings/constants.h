// The user constants: names and values the evaluator looks up. The table's
// storage and editing live beside the settings persistence and dialog.
#pragma once

constexpr int MaxConstants = 256;
constexpr int ConstNameSize = 9;   // 8 characters and NUL
constexpr int ConstTextSize = 41;  // 40 characters and NUL

extern int ConstCount;
extern char ConstName[MaxConstants][ConstNameSize];
extern char ConstText[MaxConstants][ConstTextSize];
extern double ConstValue[MaxConstants];

// Index of the first constant whose name equals name, or -1.
int FindConstant(const char* name);

// The name scan of stored names: letters, "_" and (after the first
// character) digits form the name; the first 8 are stored upper-cased, later
// ones passed over. Writes the NUL-terminated name into out (ConstNameSize
// bytes) and returns the number of characters consumed from text.
int ScanConstantName(const char* text, char* out);

// Appends a constant from a stored name and value text (name through the name
// scan, value through atof). Returns false when the table is full or the text
// is longer than 40 characters.
bool AppendConstant(const char* name, const char* text);

// What the Settings dialog makes of a name typed for a new constant.
enum class TypedName { Accepted, Empty, BeginsWithDigit, IllegalCharacter };

// Checks a typed name character by character as the name scan reads names,
// upper-casing its lower-case letters in place; the first character that is
// no name character decides the answer.
TypedName CheckTypedConstantName(char* name);

// Upper-cases the lower-case ASCII letters of text in place.
void UpperCaseAscii(char* text);

// Fills a slot of the table from an entry of the dialog's list, NAME=TEXT:
// the name is what precedes the first "=", the value text what follows it,
// "0" when nothing does; both upper-cased and cut to their slot sizes.
void SetConstantFromEntry(int slot, const char* entry);
