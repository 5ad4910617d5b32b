// The evaluation driver: one left-to-right pass over an expression with two
// fixed stacks, reducing operators by precedence as soon as they are due.
// All state is global and of fixed size; an evaluation allocates nothing.
#pragma once

constexpr int StackSlots = 65;  // the 65th slot only ever takes the push that fails
constexpr int StackLimit = 64;
constexpr int MaxExpressionLength = 1024;
constexpr int MaxResultLength = 326;  // "f" form of -DBL_MAX with 15 decimals
constexpr int ResultBufferSize = MaxResultLength + 1;

struct OperatorEntry {
    char Op;       // operator code: ( + - * / ~ ^ f, or bytes 215 and 247
    char Name[9];  // function name of an "f" entry, NUL-terminated
};

struct ValueStackType {
    double Slot[StackSlots];
    int Count;
};

struct OperatorStackType {
    OperatorEntry Entry[StackSlots];
    int Count;
};

extern ValueStackType ValueStack;
extern OperatorStackType OperatorStack;
extern int EvalOk;             // 1 while the evaluation under way has not failed
extern double PreviousResult;  // value of the last successful evaluation, for "?"
extern char FormatLetter;      // H, X, h or x after "@", or 0

// Evaluates the NUL-terminated text (at most MaxExpressionLength characters).
// On success writes the result text into output, which must hold
// ResultBufferSize bytes, and returns 1; on failure returns 0 and leaves
// PreviousResult alone (output is then not to be used).
int Evaluate(const char* input, char* output);
