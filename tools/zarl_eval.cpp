// zarl-eval: the calculator's evaluator on the command line. Each expression
// (an argument, or a line of standard input) gives one line of output: the
// result text exactly as the program would put it on the clipboard, or
// "Not Evaluated". "?" carries the last result from line to line. With
// --clipboard each line is taken as a copied text and goes through the same
// rules as the clipboard (key, full-width characters, separators).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

bool ClipboardMode = false;

const char Usage[] =
    "Usage: zarl-eval [OPTION...] [EXPRESSION...]\n"
    "Evaluates each EXPRESSION, or each line of standard input when there is none,\n"
    "and prints one line per expression: the result, or \"Not Evaluated\".\n"
    "\n"
    "  --degrees           angles in degrees (default radians)\n"
    "  --format=T          result form: g, G (general), e, E (exponent), f (fixed)\n"
    "  --precision=N       digits, 0 to 15 (default 15)\n"
    "  --plus              a \"+\" before results that are not negative\n"
    "  --hex=F             form of @H/@X/@h/@x results: signed, 8, 16 or 32\n"
    "  --separators        \",\" allowed inside numbers, and put into results\n"
    "  --const=NAME=VALUE  define a constant (repeatable)\n"
    "  --clipboard         take each line as copied text: it must carry the key,\n"
    "                      and the output is the bytes put on the clipboard\n"
    "  --key=C             the evaluation key, one of =?!@#+ (default =)\n"
    "  --prefix            the key comes first (default: last)\n"
    "  --shiftjis          understand full-width (Shift-JIS) characters\n"
    "  --help              show this text\n"
    "  --                  end of options (for an expression such as --3)\n"
    "\n"
    "Exit status: 0 when every expression was evaluated, 1 when one was not,\n"
    "2 for a bad option.\n";

bool ParsePrecision(const char* text, int* precision) {
    if (*text == '\0' || std::strlen(text) > 2) return false;
    int value = 0;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
    }
    if (value > 15) return false;
    *precision = value;
    return true;
}

bool ParseConstant(const char* text) {
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr) return false;
    // The name goes through the same scan as the stored names, which stops at
    // the "=" and keeps at most 8 characters, however long the name given.
    char name[ConstNameSize];
    ScanConstantName(text, name);
    if (name[0] == '\0') return false;
    const char* value = equals + 1;
    if (std::strlen(value) > ConstTextSize - 1) return false;
    return AppendConstant(text, value);
}

// Applies one option; false for an unknown option or a bad value.
bool ApplyOption(const char* arg) {
    auto value = [arg](const char* prefix) -> const char* {
        size_t n = std::strlen(prefix);
        return std::strncmp(arg, prefix, n) == 0 ? arg + n : nullptr;
    };
    const char* v;
    if (std::strcmp(arg, "--degrees") == 0) {
        SetAngleUnit(AngleDegrees);
    } else if (std::strcmp(arg, "--plus") == 0) {
        std::strcpy(Settings.OutFormatSign, "+");
    } else if (std::strcmp(arg, "--separators") == 0) {
        Settings.InsThousandSep = 1;
    } else if (std::strcmp(arg, "--clipboard") == 0) {
        ClipboardMode = true;
    } else if (std::strcmp(arg, "--prefix") == 0) {
        Settings.EvalKeyPosition = KeyPrefix;
    } else if (std::strcmp(arg, "--shiftjis") == 0) {
        Settings.ShiftJIS = 1;
    } else if ((v = value("--key=")) != nullptr) {
        if (std::strlen(v) != 1 || std::strchr(EvalKeyChoices, v[0]) == nullptr) return false;
        Settings.EvalKey = v[0];
    } else if ((v = value("--format=")) != nullptr) {
        if (std::strlen(v) != 1 || std::strchr("gGeEf", v[0]) == nullptr) return false;
        std::strcpy(Settings.OutFormatType, v);
    } else if ((v = value("--precision=")) != nullptr) {
        return ParsePrecision(v, &Settings.OutFormatPrecision);
    } else if ((v = value("--hex=")) != nullptr) {
        static const char* const forms[] = {"signed", "8", "16", "32"};
        for (int i = 0; i < 4; i++) {
            if (std::strcmp(v, forms[i]) == 0) {
                Settings.HexadecimalForm = i;
                return true;
            }
        }
        return false;
    } else if ((v = value("--const=")) != nullptr) {
        return ParseConstant(v);
    } else {
        return false;
    }
    return true;
}

// The clipboard rules on one copied text: the bound, the trim and the key,
// then the evaluation. On success the bytes for the clipboard are in block.
bool EvaluateCopiedText(const char* text, char* block) {
    FullWidthKey = 0;
    if (!TakeClipboardText(text)) return false;
    TrimLineEnds(ClipboardText);
    const char* expression = ExtractExpression();
    if (expression == nullptr || Evaluate(expression, ResultText) == 0) return false;
    if (Settings.InsThousandSep) InsertThousandSeparators(ResultText);
    FillClipboardBlock(block, ResultText, FullWidthKey != 0);
    return true;
}

// Evaluates one expression and writes its output line; false when the
// expression was not evaluated.
bool EvaluateLine(const char* expression, size_t length) {
    static char block[MaxClipboardBlock];
    bool ok;
    const char* output = ResultText;
    if (ClipboardMode) {
        // A line of the clipboard's bound or more is refused like such a text.
        ok = length < size_t(ClipboardTextLimit) && EvaluateCopiedText(expression, block);
        output = block;
    } else {
        ok = length <= size_t(MaxExpressionLength) && Evaluate(expression, ResultText) != 0;
        if (ok && Settings.InsThousandSep) InsertThousandSeparators(ResultText);
    }
    if (ok) {
        std::fputs(output, stdout);
        std::fputc('\n', stdout);
    } else {
        std::fputs("Not Evaluated\n", stdout);
    }
    return ok;
}

// Reads standard input line by line; the LF and a CR before it are removed.
// A line longer than the bound is consumed without being kept.
bool EvaluateStandardInput() {
    static char chunk[1 << 16];
    static char line[MaxExpressionLength + 2];
    bool all = true;
    size_t length = 0;  // the whole line's length, kept or not
    auto finishLine = [&]() {
        size_t kept = length < sizeof line - 1 ? length : sizeof line - 1;
        if (length == kept && kept > 0 && line[kept - 1] == '\r') length = --kept;
        line[kept] = '\0';
        all = EvaluateLine(line, length) && all;
        length = 0;
    };
    size_t got;
    bool pending = false;  // bytes of an unfinished line have been read
    while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
        for (size_t i = 0; i < got; i++) {
            char c = chunk[i];
            if (c == '\n') {
                finishLine();
                pending = false;
                continue;
            }
            if (length < sizeof line - 1) line[length] = c;
            length++;
            pending = true;
        }
    }
    if (pending) finishLine();
    return all;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The output is the raw bytes: no CR added before LF, none removed on input.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    SetDefaultSettings();
    int first = 1;
    for (; first < argc; first++) {
        const char* arg = argv[first];
        if (std::strcmp(arg, "--") == 0) {
            first++;
            break;
        }
        if (std::strncmp(arg, "--", 2) != 0) break;
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (!ApplyOption(arg)) {
            std::fprintf(stderr, "zarl-eval: bad option '%s'\nTry 'zarl-eval --help'.\n", arg);
            return 2;
        }
    }
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);

    bool all = true;
    if (first < argc) {
        for (int i = first; i < argc; i++) all = EvaluateLine(argv[i], std::strlen(argv[i])) && all;
    } else {
        all = EvaluateStandardInput();
    }
    std::fflush(stdout);
    return all ? 0 : 1;
}
