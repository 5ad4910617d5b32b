// The evaluator allocates nothing: thousands of evaluations of every kind
// (all result forms, the hexadecimal forms, failures, 1,000-digit literals,
// constants) under changing settings leave the allocation counter of
// alloc_counter.cpp where it was. The counter's own tests come first, so that
// a counter that sees nothing cannot pass the check unnoticed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"

// Defined in alloc_counter.cpp.
unsigned long AllocationCalls();

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif
#else
constexpr bool SanitizerBuild = false;
#endif

// Calls through volatile pointers, which the compiler cannot drop or merge.
void* (*volatile CallMalloc)(std::size_t) = std::malloc;
void* (*volatile CallCalloc)(std::size_t, std::size_t) = std::calloc;
void* (*volatile CallRealloc)(void*, std::size_t) = std::realloc;
void (*volatile CallFree)(void*) = std::free;

// How many counted calls malloc, calloc, realloc and free (one each) make.
unsigned long CountedCallsOfCFunctions() {
    unsigned long before = AllocationCalls();
    void* a = CallMalloc(24);
    void* b = CallCalloc(3, 8);
    a = CallRealloc(a, 4096);
    CallFree(a);
    CallFree(b);
    return AllocationCalls() - before;
}

TEST(AllocCounter, CountsNewAndDelete) {
    unsigned long before = AllocationCalls();
    {
        std::string text(200, 'x');  // past any small-string buffer
        std::vector<int> numbers(1000, 7);
        numbers.push_back(int(text.size()));
        text += std::to_string(numbers.back());
        ASSERT_EQ(text.size(), 203u);
    }
    unsigned long after = AllocationCalls();
    // Two allocations at least, their releases, and the vector's growth.
    EXPECT_GE(after - before, 4u) << "the replaced operator new/delete do not count";
}

TEST(AllocCounter, CountsMallocCallocReallocFree) {
    unsigned long calls = CountedCallsOfCFunctions();
    if (calls == 0 && SanitizerBuild) {
        GTEST_SKIP() << "the sanitizer runtime serves malloc and friends before the "
                        "--wrap of the link can see them";
    }
    EXPECT_EQ(calls, 5u) << "the --wrap functions of alloc_counter.cpp are not in the link";
}

// ---------------------------------------------------------------- corpus

enum Expect { Evaluates, Fails, Either };

struct Case {
    std::string text;
    Expect expect;  // under every setting below
};

std::string Repeat(const std::string& unit, int times) {
    std::string s;
    for (int i = 0; i < times; i++) s += unit;
    return s;
}

std::vector<Case> BuildCorpus() {
    std::vector<Case> base = {
        // arithmetic and precedence
        {"1+2", Evaluates}, {"2*(3+4)-5/6", Evaluates}, {"-2^2", Evaluates}, {"2^-1", Evaluates},
        {"2^3^2", Evaluates}, {"(-8)^3", Evaluates}, {"(-8)^(1/3)", Fails}, {"0^2", Fails},
        {"1/0", Fails}, {"1.5e3*2", Evaluates}, {"1E308*10", Fails}, {"-1E308*10", Fails},
        {"1e-320/1e10", Evaluates}, {"2\xD7" "3\xF7" "4", Evaluates}, {"5\xF7" "0", Fails},
        {"  1 + 2  \t", Evaluates}, {"((((((((1))))))))", Evaluates}, {"1/3", Evaluates},
        {"2/3*3", Evaluates}, {"-0", Evaluates}, {"--5", Evaluates}, {"+5", Evaluates},
        {"0.1+0.2", Evaluates}, {"123456789012345678901234567890", Evaluates},
        {"0.000000000000000000000000001", Evaluates}, {"4.9406564584124654e-324", Evaluates},
        {"2.2250738585072011e-308", Evaluates}, {"1.7976931348623157e308", Evaluates},
        {"1.7976931348623159e308", Fails}, {"9.999999999999999e22", Evaluates},
        {"99999.99999", Evaluates}, {"0.00001234", Evaluates}, {"1e15", Evaluates},
        {"1e16", Evaluates}, {"1e-5", Evaluates}, {"-1e-5", Evaluates}, {"7", Evaluates},
        // previous result
        {"?", Evaluates}, {"?*2+1", Evaluates}, {"(?)", Evaluates}, {"1?", Fails},
        // functions
        {"SIN(1)", Evaluates}, {"cos(0)+tan(1)", Evaluates}, {"ASIN(1)*2", Evaluates},
        {"acos(-1)", Evaluates}, {"ASIN(2)", Fails}, {"ATAN(1E300)", Evaluates},
        {"sinh(711)", Fails}, {"sinh(2)", Evaluates}, {"cosh(-3)", Evaluates},
        {"tanh(20)", Evaluates}, {"ASINH(1e300)", Evaluates}, {"acosh(1e200)", Evaluates},
        {"atanh(0.5)", Evaluates}, {"atanh(1)", Fails}, {"EXP(709)", Evaluates},
        {"EXP(710)", Fails}, {"exp(-745)", Either}, {"LOG(10)", Evaluates}, {"ln(0)", Fails},
        {"LOG(-1)", Fails}, {"LOGE(2)", Evaluates}, {"LOG10(1e-300)", Evaluates},
        {"log2(1024)", Evaluates}, {"SQRT(2)", Evaluates}, {"sqrt(-1)", Fails},
        {"ABS(-3)", Evaluates}, {"DEG(3)", Evaluates}, {"RAD(180)", Evaluates},
        {"SGN(-0)", Evaluates}, {"FLOOR(-2.5)+CEIL(2.5)", Evaluates}, {"FOO(1)", Fails},
        {"SIN", Fails}, {"SIN()", Fails}, {"sin 1", Fails},
        // hexadecimal input and output
        {"0x1F+&hFF", Evaluates}, {"0xFFFFFFFF", Evaluates}, {"0x100000000", Fails},
        {"&H7fffffff+1", Evaluates}, {"5@H", Evaluates}, {"5@x", Evaluates},
        {"-1@h", Either}, {"255@X", Either}, {"-128@x", Either}, {"32767.5@H", Either},
        {"-2147483648@h", Either}, {"4294967295@H", Either}, {"4294967296@H", Fails},
        {"0.49999999999999994@H", Evaluates}, {"2.5@H", Evaluates}, {"5 @ H", Fails},
        {"5@H 1", Fails}, {"5@Q", Fails}, {"5@H@H", Fails}, {"@H", Fails}, {"5@h  ", Evaluates},
        // thousands separators: numbers only with the setting on
        {"1,234,567.891", Either}, {"1,000", Either},
        // rejected text
        {"", Fails}, {"   ", Fails}, {"\t\r\n", Fails}, {"1+", Fails}, {"*2", Fails},
        {"2 3", Fails}, {"1 ~ 2", Fails}, {"1+\x80", Fails}, {"\xFF", Fails}, {"!", Fails},
        {"(", Either}, {"1e999", Fails}, {"-1e999", Fails}, {"1e-999", Evaluates},
        // constants
        {"ZQA*2", Evaluates}, {"zqa+ZQNEG", Evaluates}, {"ZQBIG", Fails}, {"-ZQBIG", Fails},
        {"SGN(ZQBIG)", Evaluates}, {"ZQBIG-ZQBIG", Fails}, {"ZQTINY", Evaluates},
        {"ZQLONGNA", Evaluates}, {"ZQLONGNAME", Either}, {"ZQNONE", Fails},
        {"ZQA@H", Evaluates},
        // the stacks' bounds
        {Repeat("(", 64) + "1" + Repeat(")", 64), Evaluates},
        {Repeat("(", 65) + "1" + Repeat(")", 65), Fails},
        {Repeat("(", 200) + "1", Fails},
        {Repeat("-", 63) + "1", Evaluates},
        {Repeat("-", 300) + "1", Fails},
        {Repeat("1^", 60) + "2", Evaluates},
        {Repeat("2^", 60) + "1", Fails},  // reduced from the left: 2^(2^59)
        {Repeat("(1)", 70), Either},
        {"1" + Repeat("+1", 511), Evaluates},  // 1,023 characters
        // literals of 1,000 digits
        {"3." + Repeat("1415926535", 99) + "89", Evaluates},
        {"1" + Repeat("0", 299) + "." + Repeat("0", 699) + "1", Evaluates},
        {"0." + Repeat("0", 997) + "1", Evaluates},
        {Repeat("9", 1000), Fails},
        {"1" + Repeat("0", 999), Fails},
        {Repeat("1234567890", 30) + "." + Repeat("0987654321", 70), Evaluates},
        {"1e" + Repeat("0", 997) + "25", Evaluates},
        {"1e-" + Repeat("9", 997), Evaluates},
        {"0x" + Repeat("0", 1000), Fails},
        {"&h" + Repeat("f", 1000), Fails},
        {Repeat("1", 1024), Fails},
        {"1" + Repeat(" ", 1022) + "2", Fails},
    };

    // Each expression also negated and with each kind of hexadecimal result;
    // whether those evaluate depends on the value and the form.
    std::vector<Case> corpus;
    for (const Case& c : base) {
        corpus.push_back(c);
        if (c.text.size() < 900) {
            corpus.push_back({"-(" + c.text + ")", Either});
            corpus.push_back({c.text + "@H", Either});
            corpus.push_back({"(" + c.text + ")*1e3@x", Either});
        }
    }
    return corpus;
}

struct Setup {
    const char* sign;
    const char* type;
    int precision;
    int hexForm;
    int angleUnit;
    int separators;
};

const Setup Setups[] = {
    {"-", "g", 15, HexSigned, AngleRadians, 0},     {"+", "G", 6, HexComplement8, AngleDegrees, 1},
    {"-", "e", 0, HexComplement16, AngleRadians, 1}, {"-", "E", 15, HexComplement32, AngleDegrees, 0},
    {"+", "f", 2, HexSigned, AngleRadians, 1},       {"-", "f", 15, HexComplement8, AngleDegrees, 0},
    {"-", "g", 0, HexComplement16, AngleRadians, 0}, {"+", "e", 9, HexComplement32, AngleRadians, 1},
};
constexpr int SetupCount = int(sizeof Setups / sizeof Setups[0]);

void Apply(const Setup& s) {
    std::strcpy(Settings.OutFormatSign, s.sign);
    std::strcpy(Settings.OutFormatType, s.type);
    Settings.OutFormatPrecision = s.precision;
    Settings.HexadecimalForm = s.hexForm;
    Settings.InsThousandSep = s.separators;
    SetAngleUnit(s.angleUnit);
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
}

// One pass over the corpus under every setup, as the evaluation cycle does
// it: settings, evaluation, separators. Works in memory prepared by the
// caller; allocates nothing itself.
struct Pass {
    std::vector<int> status;      // per evaluation: Evaluate's result
    std::vector<std::string> text;  // per evaluation: the output, filled by the first pass
    int evaluated = 0;
    int failed = 0;
    int hexadecimal = 0;      // results in a hexadecimal form
    int expectationMisses = 0;
    int miss[8] = {};         // the first few evaluations with another outcome
    int differences = 0;      // outputs that differ from the recorded pass
    int firstDifference = -1;
};

void RunCorpus(const std::vector<Case>& corpus, Pass& pass, bool record) {
    static char output[MaxSeparatedLength + 1];
    PreviousResult = 0.0;
    int index = 0;
    for (int s = 0; s < SetupCount; s++) {
        Apply(Setups[s]);
        for (const Case& c : corpus) {
            int status = Evaluate(c.text.c_str(), output);
            if (status == 1) {
                if (Settings.InsThousandSep) InsertThousandSeparators(output);
                pass.evaluated++;
                if (std::strchr(output, '&') != nullptr || std::strchr(output, 'x') != nullptr ||
                    std::strchr(output, 'X') != nullptr) {
                    pass.hexadecimal++;
                }
            } else {
                pass.failed++;
                output[0] = '\0';
            }
            if ((c.expect == Evaluates && status != 1) || (c.expect == Fails && status != 0)) {
                if (pass.expectationMisses < 8) pass.miss[pass.expectationMisses] = index;
                pass.expectationMisses++;
            }
            if (record) {
                pass.status[index] = status;
                pass.text[index].assign(output);  // capacity reserved beforehand
            } else if (pass.status[index] != status || pass.text[index] != output) {
                if (pass.differences++ == 0) pass.firstDifference = index;
            }
            index++;
        }
    }
}

class EvaluateAllocations : public ::testing::Test {
protected:
    void SetUp() override {
        savedSettings = Settings;
        savedConstCount = ConstCount;
        savedPrevious = PreviousResult;
        SetDefaultSettings();
        ASSERT_TRUE(AppendConstant("ZQA", "2.5"));
        ASSERT_TRUE(AppendConstant("ZQNEG", "-7"));
        ASSERT_TRUE(AppendConstant("ZQBIG", "1E999"));  // an infinity
        ASSERT_TRUE(AppendConstant("ZQTINY", "1E-999"));
        ASSERT_TRUE(AppendConstant("ZQLONGNAME", "0.125"));  // stored as ZQLONGNA
    }
    void TearDown() override {
        Settings = savedSettings;
        ConstCount = savedConstCount;
        PreviousResult = savedPrevious;
        SetAngleUnit(Settings.AngleUnit);
        BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    }

    SettingsRecord savedSettings;
    int savedConstCount = 0;
    double savedPrevious = 0.0;
};

TEST_F(EvaluateAllocations, ThousandsOfEvaluationsAllocateNothing) {
    const std::vector<Case> corpus = BuildCorpus();
    const int total = int(corpus.size()) * SetupCount;
    ASSERT_GE(total, 3000);

    Pass pass;
    pass.status.assign(total, -1);
    pass.text.assign(total, std::string());
    for (std::string& t : pass.text) t.reserve(MaxSeparatedLength + 1);

    // Warm-up: the first pass records every output; whatever a first call
    // might set up happens here.
    RunCorpus(corpus, pass, true);
    Pass recorded = pass;
    pass.evaluated = pass.failed = pass.hexadecimal = 0;
    pass.expectationMisses = pass.differences = 0;
    pass.firstDifference = -1;

    unsigned long before = AllocationCalls();
    RunCorpus(corpus, pass, false);
    unsigned long after = AllocationCalls();

    EXPECT_EQ(after - before, 0u) << "allocation calls during " << total << " evaluations";

    // The pass did what it claims: both outcomes, every form, the same
    // outputs as the warm-up, and the expected outcome where it is fixed.
    EXPECT_EQ(pass.evaluated + pass.failed, total);
    EXPECT_GE(pass.evaluated, total / 4);
    EXPECT_GE(pass.failed, total / 4);
    EXPECT_GE(pass.hexadecimal, 8 * SetupCount);
    EXPECT_EQ(pass.differences, 0) << "first difference: evaluation " << pass.firstDifference;
    int n = int(corpus.size());
    for (int i = 0; i < pass.expectationMisses && i < 8; i++) {
        const Case& c = corpus[pass.miss[i] % n];
        ADD_FAILURE() << "\"" << c.text.substr(0, 80) << "\" under setup " << pass.miss[i] / n
                      << (c.expect == Evaluates ? " was not evaluated" : " was evaluated");
    }
    EXPECT_EQ(pass.expectationMisses, 0);
    EXPECT_EQ(recorded.expectationMisses, pass.expectationMisses);
}

// Calls that do allocate, made between the same counter reads, do show up:
// the zero above is a measurement.
TEST_F(EvaluateAllocations, CounterMovesAroundAnAllocatingCall) {
    char output[ResultBufferSize];
    ASSERT_EQ(Evaluate("1+2", output), 1);
    unsigned long before = AllocationCalls();
    ASSERT_EQ(Evaluate("1+2", output), 1);
    std::string copy(output);
    copy.append(100, ' ');  // beyond any small-string buffer
    unsigned long after = AllocationCalls();
    EXPECT_GE(after - before, 1u);
    EXPECT_EQ(copy.size(), std::strlen(output) + 100);
}

}  // namespace
