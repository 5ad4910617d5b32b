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
