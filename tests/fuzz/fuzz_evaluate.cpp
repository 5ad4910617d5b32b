// Randomized test of the evaluator: a fixed-seed loop over byte strings of
// 0 to 1,024 bytes (random bytes, token soups, random well-formed expressions
// and mutated valid ones) under changing settings, checking the invariants
// every evaluation must keep.
// Built with AddressSanitizer and UndefinedBehaviorSanitizer it also catches
// out-of-bounds accesses and undefined arithmetic anywhere in the evaluator.
//
//   zarl_fuzz [COUNT [SEED]]     COUNT defaults to 1,000,000
//
// Every violation prints the input as hexadecimal, with the settings and the
// previous result it ran under, and ends the program with exit status 1.
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "tests/fuzz/result_checks.h"

namespace {

constexpr uint64_t DefaultSeed = 0x5A41524C2D465A31ull;  // "ZARL-FZ1"
constexpr long DefaultCount = 1000000;

// xoshiro256**, seeded through splitmix64: the same sequence on every host.
struct Random {
    uint64_t s[4];

    explicit Random(uint64_t seed) {
        for (uint64_t& word : s) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }
    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t Next() {
        uint64_t result = Rotl(s[1] * 5, 7) * 9;
        uint64_t t = s[1] << 17;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = Rotl(s[3], 45);
        return result;
    }
    // 0 .. n-1 (n > 0); the tiny modulo bias does not matter here.
    uint32_t Below(uint32_t n) { return uint32_t((Next() >> 32) % n); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
};

// ---------------------------------------------------------------- inputs

// clang-format off
const char* const Tokens[] = {
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "12", "345", "6789",
    "3.14159", "0.5", ".", ".", "e", "E", "e+", "E-", "e308", "e-308", "E999", "e-999",
    "+", "-", "*", "/", "^", "(", ")", "(", ")", "+", "-", "*", "/",
    "\xD7", "\xF7",  // the multiplication and division signs
    "0x", "0X", "&h", "&H", "0xFF", "&hffffffff", "0x7fffffff", "&H80000000", "0x123456789",
    "?", "@H", "@x", "@X", "@h", "@", "@@H", ",", ",000", "1,234",
    "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "SINH", "COSH", "TANH", "ASINH", "ACOSH",
    "ATANH", "EXP", "LOG", "LOGE", "LN", "LOG10", "LOG2", "SQRT", "ABS", "DEG", "RAD", "SGN",
    "FLOOR", "CEIL", "sin", "log10", "Asinh", "FOO", "ABCDEFGHIJ", "_", "x",
    "PI", "E", "BIG", "NEGBIG", "TINY", "MAXD", "LONGNAME", "LONGNAMEX", "neg",
    " ", " ", "  ", "\t", "\r", "\n", "\r\n", "\x01", "\x1F",
    "\x80", "\xA0", "\xD6", "\xF6", "\xFF", "~", "!", "=", "%", "[", "]", "\"",
};
// clang-format on
constexpr int TokenCount = int(sizeof Tokens / sizeof Tokens[0]);

// Valid expressions the mutations start from.
const char* const Seeds[] = {
    "1+2",
    "2*(3+4)-5/6",
    "-2^2",
    "2^-1",
    "(-8)^(1/3)",
    "(-8)^3",
    "1.5e3*2",
    "1E308*10",
    "1e-320/1e10",
    "0x1F+&hFF",
    "0xFFFFFFFF@H",
    "-1@h",
    "255@X",
    "-128@x",
    "32767.5@H",
    "-2147483648@h",
    "?*2+1",
    "(?)",
    "SIN(PI/6)",
    "cos(0)+tan(1)",
    "ASIN(1)*2",
    "acos(-1)",
    "ATAN(1E300)",
    "sinh(710)",
    "cosh(-3)",
    "tanh(20)",
    "ASINH(1e300)",
    "acosh(1e200)",
    "atanh(0.5)",
    "EXP(709)",
    "exp(-745)",
    "LOG(10)",
    "ln(0)",
    "LOG10(1e-300)",
    "log2(1024)",
    "SQRT(2)",
    "sqrt(-1)",
    "ABS(-3)",
    "DEG(PI)",
    "RAD(180)",
    "SGN(-0)",
    "FLOOR(-2.5)+CEIL(2.5)",
    "BIG",
    "SGN(BIG)",
    "ATAN(BIG)",
    "-NEGBIG",
    "TINY",
    "MAXD*2",
    "MAXD+MAXD/1e16",
    "E^2",
    "LONGNAME",
    "1,234,567.891",
    "((((((((1))))))))",
    "1\xD7"
    "2\xF7"
    "3",
    "  1 + 2  \t",
    "123456789012345678901234567890",
    "0.000000000000000000000000001",
    "4.9406564584124654e-324",
    "2.2250738585072011e-308",
    "1.7976931348623157e308",
    "1.7976931348623159e308",
    "9.999999999999999e22",
    "0.49999999999999994@H",
    "2.5@H",
    "-0",
    "1/3",
    "2/3*3",
};
constexpr int SeedCount = int(sizeof Seeds / sizeof Seeds[0]);

constexpr int MaxInput = MaxExpressionLength;  // 1,024 bytes

struct Input {
    char byte[MaxInput];
    int length;

    void Append(const char* text, int n) {
        for (int i = 0; i < n && length < MaxInput; i++) byte[length++] = text[i];
    }
    void Append(const char* text) { Append(text, int(std::strlen(text))); }
};

int PickLength(Random& r) {
    switch (r.Below(8)) {
        case 0: return int(r.Below(MaxInput + 1));
        case 1:
        case 2: return int(r.Below(201));
        default: return int(r.Below(41));
    }
}

void RandomBytes(Random& r, Input& in) {
    int n = PickLength(r);
    in.length = 0;
    // Sometimes only bytes the scanner accepts, so that a string gets further.
    bool printable = r.OneIn(2);
    for (int i = 0; i < n; i++) {
        char c = printable ? char(32 + r.Below(95)) : char(r.Below(256));
        if (c == '\0') c = char(1 + r.Below(255));
        in.byte[in.length++] = c;
    }
}

void AppendToken(Random& r, Input& in) {
    switch (r.Below(40)) {
        case 0: {  // a long run of digits (a literal of up to the whole input)
            int n = 1 + int(r.Below(r.OneIn(4) ? MaxInput : 40));
            for (int i = 0; i < n && in.length < MaxInput; i++)
                in.byte[in.length++] = char('0' + r.Below(10));
            break;
        }
        case 1: {  // a long run of hexadecimal digits
            int n = 1 + int(r.Below(12));
            for (int i = 0; i < n && in.length < MaxInput; i++) {
                in.byte[in.length++] = "0123456789abcdefABCDEF"[r.Below(22)];
            }
            break;
        }
        case 2: {  // deep nesting
            int n = 1 + int(r.Below(80));
            char c = r.OneIn(2) ? '(' : (r.OneIn(2) ? '-' : ')');
            for (int i = 0; i < n && in.length < MaxInput; i++) in.byte[in.length++] = c;
            break;
        }
        case 3: {  // any byte
            char c = char(1 + r.Below(255));
            in.Append(&c, 1);
            break;
        }
        case 4: {  // one short token many times: "(1)(1)(1)...", "1+1+1+...", "---..."
            static const char* const units[] = {"(1)", "(?)", "1+",   "2*", "-",
                                                "(",   "2^",  "SIN(", ")"};
            const char* unit = units[r.Below(sizeof units / sizeof units[0])];
            int n = 1 + int(r.Below(r.OneIn(2) ? 70 : 400));
            for (int i = 0; i < n && in.length < MaxInput; i++) in.Append(unit);
            if (r.OneIn(2)) in.Append("1");
            break;
        }
        default: in.Append(Tokens[r.Below(TokenCount)]); break;
    }
}

void TokenSoup(Random& r, Input& in) {
    int target = PickLength(r);
    in.length = 0;
    while (in.length < target) AppendToken(r, in);
    if (in.length > target) in.length = target;
}

void Mutate(Random& r, Input& in) {
    const char* seed = Seeds[r.Below(SeedCount)];
    in.length = 0;
    in.Append(seed);
    int rounds = 1 + int(r.Below(r.OneIn(8) ? 40 : 4));
    for (int k = 0; k < rounds; k++) {
        int pos = int(r.Below(uint32_t(in.length + 1)));
        switch (r.Below(9)) {
            case 0:  // replace one byte
                if (in.length > 0) in.byte[r.Below(uint32_t(in.length))] = char(1 + r.Below(255));
                break;
            case 1: {  // delete a range
                if (in.length == 0) break;
                int n = 1 + int(r.Below(uint32_t(in.length - pos + 1)));
                if (pos + n > in.length) n = in.length - pos;
                std::memmove(in.byte + pos, in.byte + pos + n, size_t(in.length - pos - n));
                in.length -= n;
                break;
            }
            case 2:
            case 3: {  // insert a token
                Input token;
                token.length = 0;
                AppendToken(r, token);
                int n = token.length;
                if (in.length + n > MaxInput) n = MaxInput - in.length;
                std::memmove(in.byte + pos + n, in.byte + pos, size_t(in.length - pos));
                std::memcpy(in.byte + pos, token.byte, size_t(n));
                in.length += n;
                break;
            }
            case 4: {  // join with another seed through an operator
                in.Append("+-*/^\xD7\xF7" + r.Below(7), 1);
                in.Append(Seeds[r.Below(SeedCount)]);
                break;
            }
            case 5: {  // wrap in a function or in parentheses
                Input wrapped;
                wrapped.length = 0;
                if (r.OneIn(2)) wrapped.Append(Tokens[r.Below(TokenCount)]);
                wrapped.Append("(");
                wrapped.Append(in.byte, in.length);
                wrapped.Append(")");
                in = wrapped;
                break;
            }
            case 6: {  // repeat the whole text (long inputs)
                int n = in.length;
                for (int i = 0; i < n && in.length < MaxInput; i++)
                    in.byte[in.length++] = in.byte[i];
                break;
            }
            case 7: {  // append a format suffix, sometimes with more after it
                const char* const suffixes[] = {"@H", "@X", "@h", "@x", " @H ", "@\t x"};
                in.Append(suffixes[r.Below(6)]);
                if (r.OneIn(3)) in.Append(Tokens[r.Below(TokenCount)]);
                break;
            }
            default:  // flip the letter case of one byte
                if (in.length > 0) in.byte[r.Below(uint32_t(in.length))] ^= 0x20;
                break;
        }
    }
    // A NUL byte ends the text early; keep only what the evaluator sees.
    const void* nul = std::memchr(in.byte, '\0', size_t(in.length));
    if (nul != nullptr) in.length = int(static_cast<const char*>(nul) - in.byte);
}

// A random expression of the language: mostly well formed, so that many
// evaluations get as far as the result text.
void AppendExpression(Random& r, Input& in, int depth) {
    // clang-format off
    static const char* const numbers[] = {
        "0", "1", "2", "7", "10", "0.5", "3.25", "1e3", "2.5E-3", "1e300", "1e-300", "4e-320",
        "123456.789", "99999999999999999", "0.1", "1.7976931348623157e308", "0x10", "&HFF",
        "0xFFFFFFFF", "128", "32768", "2147483648", "4294967295.4", "?", "PI", "E", "BIG", "TINY",
        "MAXD", "neg", "1,000", "65535.5", "0.49999999999999994", "1.5", "2.5", "-0",
        // around the bounds of the hexadecimal forms
        "127", "127.5", "128", "-128", "-128.5", "-129", "255", "255.5", "256", "32767.49",
        "32767.5", "-32768.5", "-32769", "65535", "65536", "2147483647.49", "2147483647.5",
        "-2147483648.49", "-2147483648.5", "4294967295.49", "4294967295.5", "4294967296",
    };
    static const char* const functions[] = {
        "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "SINH", "COSH", "TANH", "ASINH", "ACOSH",
        "ATANH", "EXP", "LOG", "LN", "LOGE", "LOG10", "LOG2", "SQRT", "ABS", "DEG", "RAD",
        "SGN", "FLOOR", "CEIL", "sqrt", "Log",
    };
    static const char* const operators[] = {"+", "-", "*", "/", "^", "\xD7", "\xF7", " + ", " * "};
    // clang-format on
    uint32_t choice = depth > 6 || in.length > MaxInput - 64 ? 0 : r.Below(6);
    switch (choice) {
        case 0:
        case 1: in.Append(numbers[r.Below(sizeof numbers / sizeof numbers[0])]); break;
        case 2:
            in.Append(functions[r.Below(sizeof functions / sizeof functions[0])]);
            in.Append("(");
            AppendExpression(r, in, depth + 1);
            in.Append(")");
            break;
        case 3: {
            bool negation = r.OneIn(2);
            in.Append(negation ? "-" : "(");
            AppendExpression(r, in, depth + 1);
            if (!negation) in.Append(")");
            break;
        }
        default:
            AppendExpression(r, in, depth + 1);
            in.Append(operators[r.Below(sizeof operators / sizeof operators[0])]);
            AppendExpression(r, in, depth + 1);
            break;
    }
}

void WellFormed(Random& r, Input& in) {
    in.length = 0;
    AppendExpression(r, in, 0);
    if (r.OneIn(4)) {
        const char* const suffixes[] = {"@H", "@X", "@h", "@x"};
        in.Append(suffixes[r.Below(4)]);
    }
}

// ---------------------------------------------------------------- settings

void VarySettings(Random& r, Setup& setup) {
    Settings.InsThousandSep = int(r.Below(2));
    Settings.HexadecimalForm = int(r.Below(4));
    SetAngleUnit(r.OneIn(2) ? AngleDegrees : AngleRadians);
    setup.sign[0] = r.OneIn(3) ? '+' : '-';
    setup.sign[1] = '\0';
    setup.type[0] = "gGeEf"[r.Below(5)];
    setup.type[1] = '\0';
    setup.precision = int(r.Below(16));
    std::strcpy(Settings.OutFormatSign, setup.sign);
    std::strcpy(Settings.OutFormatType, setup.type);
    Settings.OutFormatPrecision = setup.precision;
    BuildOutFormat(setup.sign, setup.type, setup.precision);
}

void DefineConstants() {
    struct {
        const char* name;
        const char* text;
    } const table[] = {
        {"PI", "3.14159265358979323846"},
        {"E", "2.718281828459045"},
        {"BIG", "1E999"},      // an infinity: atof overflows
        {"NEGBIG", "-1E999"},  // the negative infinity
        {"TINY", "1E-999"},    // zero
        {"MAXD", "1.7976931348623157e308"},
        {"LONGNAMEX", "42"},  // stored as LONGNAME
        {"neg", "-0.0000000001"},
    };
    for (const auto& c : table) {
        if (!AppendConstant(c.name, c.text)) {
            std::printf("fuzz: cannot define constant %s\n", c.name);
            std::exit(1);
        }
    }
    int big = FindConstant("BIG");
    if (big < 0 || std::isfinite(ConstValue[big])) {
        std::printf("fuzz: constant BIG is not an infinity\n");
        std::exit(1);
    }
}

// ---------------------------------------------------------------- checks

struct Failure {
    char text[200];
};

void PrintFailure(long iteration, const Input& in, double previous, const Setup& setup,
                  const char* reason, const char* output) {
    std::printf("fuzz: FAILURE at input %ld: %s\n", iteration, reason);
    std::printf("  input (%d bytes, hex):", in.length);
    for (int i = 0; i < in.length; i++)
        std::printf(" %02x", static_cast<unsigned char>(in.byte[i]));
    std::printf(
        "\n  settings: format \"%s\" (sign %s type %s precision %d), separators %d, "
        "hex form %d, angle unit %d\n",
        OutFormatString, setup.sign, setup.type, setup.precision, Settings.InsThousandSep,
        Settings.HexadecimalForm, Settings.AngleUnit);
    std::printf("  previous result before: %.17g, after: %.17g\n", previous, PreviousResult);
    if (output != nullptr) {
        std::printf("  output (hex):");
        for (int i = 0; i < ResultBufferSize && output[i] != '\0'; i++) {
            std::printf(" %02x", static_cast<unsigned char>(output[i]));
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    long count = DefaultCount;
    uint64_t seed = DefaultSeed;
    if (argc > 1) count = std::strtol(argv[1], nullptr, 10);
    if (argc > 2) seed = std::strtoull(argv[2], nullptr, 0);
    if (count < 0) count = 0;
    std::printf("fuzz: seed 0x%016" PRIx64 ", %ld inputs\n", seed, count);
    std::fflush(stdout);

    SetDefaultSettings();
    DefineConstants();
    Random r(seed);

    // Heap buffers of the exact sizes the interface promises: the input ends
    // right at its NUL and the output holds ResultBufferSize bytes, so that
    // AddressSanitizer reports any access past either.
    char* inputArea = static_cast<char*>(std::malloc(MaxInput + 1));
    char* output = static_cast<char*>(std::malloc(ResultBufferSize));
    Input in;
    Setup setup{};
    long evaluated = 0;

    for (long iteration = 0; iteration < count; iteration++) {
        VarySettings(r, setup);
        switch (r.Below(8)) {
            case 0: RandomBytes(r, in); break;
            case 1:
            case 2: TokenSoup(r, in); break;
            case 3:
            case 4: WellFormed(r, in); break;
            default: Mutate(r, in); break;
        }
        // A NUL byte is where the evaluator stops reading.
        const void* nul = std::memchr(in.byte, '\0', size_t(in.length));
        if (nul != nullptr) in.length = int(static_cast<const char*>(nul) - in.byte);

        char* input = inputArea + (MaxInput - in.length);
        std::memcpy(input, in.byte, size_t(in.length));
        input[in.length] = '\0';
        std::memset(output, 0xA5, ResultBufferSize);

        double previous = PreviousResult;
        int status = Evaluate(input, output);

        const char* reason = nullptr;
        const char* shown = nullptr;
        if (status != 0 && status != 1) {
            reason = "Evaluate returned neither 0 nor 1";
        } else if (!std::isfinite(PreviousResult)) {
            reason = "PreviousResult is not finite";
        } else if (status == 0) {
            if (std::memcmp(&previous, &PreviousResult, sizeof previous) != 0) {
                reason = "a failed evaluation changed PreviousResult";
            }
        } else {
            evaluated++;
            shown = output;
            reason = CheckResultText(output, PreviousResult, FormatLetter, setup);
        }
        if (reason != nullptr) {
            PrintFailure(iteration, in, previous, setup, reason, shown);
            std::free(output);
            std::free(inputArea);
            return 1;
        }
    }
    std::free(output);
    std::free(inputArea);
    std::printf("fuzz: %ld inputs, %ld evaluated, 0 failures\n", count, evaluated);
    return 0;
}
