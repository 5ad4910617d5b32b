// The evaluation driver and its scanner. One left-to-right pass: operands go
// onto the value stack, operators onto the operator stack, and a pending
// operator is applied as soon as one of equal or lower precedence follows.
// The result is always the bottom value of the value stack.
#include "eval/evaluate.h"

#include <cstring>

#include "eval/decimal.h"
#include "eval/format.h"
#include "eval/fpenv.h"
#include "eval/operators.h"
#include "settings/constants.h"
#include "settings/settings.h"

ValueStackType ValueStack;
OperatorStackType OperatorStack;
int EvalOk;
double PreviousResult = 0.0;
char FormatLetter;

namespace {

// Scanner state, reset by every evaluation.
const char* ScanCursor;
bool ExpectOperand;
int InputBlank;
// A literal or a name just scanned; a literal can be as long as the input.
char TokenText[MaxExpressionLength + 1];

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void PushValue(double value) {
    ValueStack.Slot[ValueStack.Count++] = value;
    if (ValueStack.Count > StackLimit) EvalOk = 0;
}

// Returns false when the push fails (the stack would hold 65 entries).
bool PushOperator(char op, const char* name) {
    OperatorEntry& entry = OperatorStack.Entry[OperatorStack.Count++];
    entry.Op = op;
    if (name != nullptr) std::memcpy(entry.Name, name, sizeof entry.Name);
    if (OperatorStack.Count > StackLimit) {
        EvalOk = 0;
        return false;
    }
    return true;
}

OperatorEntry& TopOperator() {
    return OperatorStack.Entry[OperatorStack.Count - 1];
}

// Applies the top entry and removes it; false (and EvalOk cleared) when it
// cannot be applied.
bool ReduceTop() {
    if (!ApplyOperator(TopOperator())) {
        EvalOk = 0;
        return false;
    }
    OperatorStack.Count--;
    return true;
}

// Skips bytes 1 to 32 and reports whether a token character follows.
bool SkipBlanks() {
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*ScanCursor);
        if (c >= 1 && c <= 32) {
            ScanCursor++;
        } else if (c == 0) {
            if (InputBlank) EvalOk = 0;  // nothing but blanks
            InputBlank = 0;
            return false;
        } else if (c == '@') {
            return false;
        } else if ((c >= 33 && c <= 126) || c == 215 || c == 247) {
            InputBlank = 0;
            return true;
        } else {
            EvalOk = 0;
            InputBlank = 0;
            return false;
        }
    }
}

void ScanHexLiteral() {
    ScanCursor += 2;
    int length = 0;
    for (; IsHexDigit(*ScanCursor); ScanCursor++) {
        if (length <= 8) TokenText[length] = *ScanCursor;
        length++;
    }
    if (length > 8) {  // leading zeros count too
        EvalOk = 0;
        return;
    }
    unsigned long value = 0;
    for (int i = 0; i < length; i++) {
        char c = TokenText[i];
        unsigned digit = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + digit;
    }
    PushValue(double(value));
    ExpectOperand = false;
}

// Appends to TokenText; a literal longer than any valid input fails.
bool KeepTokenChar(int& length, char c) {
    if (length >= MaxExpressionLength) {
        EvalOk = 0;
        return false;
    }
    TokenText[length++] = c;
    return true;
}

void ScanDecimalLiteral() {
    int length = 0;
    TokenText[length++] = *ScanCursor++;
    for (;;) {
        char c = *ScanCursor;
        if (IsDigit(c) || c == '.') {
            if (!KeepTokenChar(length, c)) return;
        } else if (c == ',' && Settings.InsThousandSep) {
            // a thousands separator: skipped, the literal goes on
        } else {
            break;
        }
        ScanCursor++;
    }
    if (*ScanCursor == 'E' || *ScanCursor == 'e') {
        if (!KeepTokenChar(length, *ScanCursor++)) return;
        if ((*ScanCursor == '+' || *ScanCursor == '-') && !KeepTokenChar(length, *ScanCursor++)) {
            return;
        }
        while (IsDigit(*ScanCursor)) {
            if (!KeepTokenChar(length, *ScanCursor++)) return;
        }
    }
    TokenText[length] = '\0';
    double value = ClassicAtof(TokenText);
    if (!(value - value == 0.0)) {  // an infinity
        EvalOk = 0;
        return;
    }
    PushValue(value);
    ExpectOperand = false;
}

void ScanName() {
    int length = 0;
    for (char c = *ScanCursor; length < 8; c = *++ScanCursor) {
        if (IsUpper(c) || IsDigit(c) || c == '_') {
            TokenText[length++] = c;
        } else if (IsLower(c)) {
            TokenText[length++] = char(c - 'a' + 'A');
        } else {
            break;
        }
    }
    TokenText[length] = '\0';
    int index = FindConstant(TokenText);
    if (index >= 0) {
        PushValue(ConstValue[index]);  // no range check, as stored
    } else {
        char name[9] = {0};
        std::memcpy(name, TokenText, length + 1);
        PushOperator('f', name);
    }
    ExpectOperand = false;
}

void ScanBinaryOperator() {
    char op = *ScanCursor++;
    if (!PushOperator(op, nullptr)) return;
    int rank = PrecedenceClass(op);
    while (OperatorStack.Count >= 2) {
        OperatorEntry& lower = OperatorStack.Entry[OperatorStack.Count - 2];
        if (PrecedenceClass(lower.Op) < rank) break;
        if (!ApplyOperator(lower)) {
            EvalOk = 0;
            return;
        }
        lower = OperatorStack.Entry[OperatorStack.Count - 1];
        OperatorStack.Count--;
    }
    ExpectOperand = true;
}

void ScanClosingParenthesis() {
    while (OperatorStack.Count > 0 && TopOperator().Op != '(') {
        if (!ReduceTop()) return;
    }
    if (OperatorStack.Count > 0) {
        OperatorStack.Count--;  // the "("
        if (OperatorStack.Count > 0 && TopOperator().Op == 'f' && !ReduceTop()) return;
    }
    ScanCursor++;
    ExpectOperand = false;
}

bool StartsHexLiteral(const char* p) {
    return (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) ||
           (p[0] == '&' && (p[1] == 'h' || p[1] == 'H'));
}

// One token at the cursor, by the character and the state.
void ScanToken() {
    char c = *ScanCursor;
    if (ExpectOperand && StartsHexLiteral(ScanCursor)) {
        ScanHexLiteral();
    } else if (IsDigit(c) || c == '.') {
        if (ExpectOperand) {
            ScanDecimalLiteral();
        } else {
            EvalOk = 0;
        }
    } else if (c == '?') {
        if (ExpectOperand) {
            PushValue(PreviousResult);
            ScanCursor++;
            ExpectOperand = false;
        } else {
            EvalOk = 0;
        }
    } else if (c == '+' && ExpectOperand) {
        ScanCursor++;  // unary plus
    } else if (c == '-' && ExpectOperand) {
        ScanCursor++;  // negation, pushed without reduction
        PushOperator('~', nullptr);
    } else if (c == '(') {
        ScanCursor++;
        if (PushOperator('(', nullptr)) ExpectOperand = true;
    } else if (c == ')') {
        ScanClosingParenthesis();
    } else if (c == '+' || c == '-' || c == '*' || c == '/' || c == '^' || c == char(215) ||
               c == char(247)) {
        ScanBinaryOperator();
    } else if (IsUpper(c) || IsLower(c) || c == '_') {
        if (ExpectOperand) {
            ScanName();
        } else {
            EvalOk = 0;
        }
    } else {
        EvalOk = 0;
    }
}

// The "@" suffix: a format letter, then nothing but blanks.
void ScanFormatSuffix() {
    char letter = ScanCursor[1];
    if (letter != 'H' && letter != 'X' && letter != 'h' && letter != 'x') {
        EvalOk = 0;
        return;
    }
    FormatLetter = letter;
    ScanCursor += 2;
    // A token character, a second "@" or a rejected byte after the letter fails.
    if (SkipBlanks() || *ScanCursor != '\0') EvalOk = 0;
}

bool FinishEvaluation(char* output) {
    if (!EvalOk) return false;
    if (*ScanCursor == '@') {
        ScanFormatSuffix();
        if (!EvalOk) return false;
    }
    while (OperatorStack.Count > 0) {
        if (!ReduceTop()) return false;
    }
    if (!EvalOk) return false;
    double value = ValueStack.Slot[0];
    if (!FormatResult(value, FormatLetter, output) || !EvalOk || output[0] == '\0') return false;
    PreviousResult = value;
    return true;
}

}  // namespace

int Evaluate(const char* input, char* output) {
    ScanCursor = input;
    ValueStack.Count = 0;
    ValueStack.Slot[0] = 0.0;
    OperatorStack.Count = 0;
    ResetFloatingPoint();
    EvalOk = 1;
    InputBlank = 1;
    FormatLetter = 0;
    ExpectOperand = true;

    while (SkipBlanks()) {
        ScanToken();
        if (!EvalOk) return 0;
    }
    return FinishEvaluation(output) ? 1 : 0;
}
