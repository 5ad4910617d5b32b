// Evaluation speed on typical calculator input: about fifty expressions of
// some thirty characters (decimals, parentheses, functions, hexadecimal input
// and results, "?"), evaluated in turn. Reports evaluations per second as
// items_per_second. Linked with benchmark_main, which supplies main().
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/settings.h"

namespace {

const char* const Corpus[] = {
    "12.5*(3.75+4.125)-6.0625/2.5",
    "SQRT(2)*SIN(0.5)+COS(1.25)/3",
    "(1.5+2.25)*(3.125-0.875)/4.5",
    "0x1F+0xFF*3-&h10/2+125.75",
    "255*16+15+0x7F*2-&H3A@H",
    "?*0.5+100-(25.5/5.1)*2",
    "LOG(123.456)+LOG10(9876.5)-1",
    "EXP(2.5)-EXP(-1.25)*3.3+0.7",
    "(17.25-3.5)*(2.75+1.125)^2",
    "ATAN(1)*4-3.14159265358979",
    "1234.5678*9.87654321-0.0001",
    "ABS(-45.25)+FLOOR(7.8)*CEIL(2.1)",
    "TAN(0.75)/SINH(1.5)+COSH(0.5)",
    "((2.5+3.5)*(4.5-1.5))/(7-2.25)",
    "&hFFFF-0x1234+512*3-77@x",
    "SQRT(144.0625)+2^10-1000.5",
    "(?+1)/2+SQRT(ABS(?))*0.01",
    "100/7+200/11-300/13+400/17",
    "ASIN(0.5)+ACOS(0.25)-ATAN(2.5)",
    "LN(2.718281828)*1.5+LOG2(64)",
    "3.5e3*2.25e-2+1.125E2/4.5",
    "DEG(1.25)+RAD(90)*2-45.75",
    "-(12.75-3.25)*(-2.5+0.125)",
    "SGN(-3.7)*ABS(-8.125)+TANH(0.4)",
    "0.1+0.2+0.3+0.4+0.5+0.6+0.75",
    "(1+0.05/12)^(12*30)*1000",
    "2^0.5*3^0.25-5^0.125+1.0625",
    "ASINH(2.5)+ACOSH(3.5)-ATANH(0.25)",
    "1024*768*3/1048576+0.004",
    "0x400+0x3FF*2-&h100+1.5@H",
    "(45.5*1.08-12.99)/3+?*0.001",
    "COS(3.14159/3)*SIN(3.14159/6)",
    "987654.321/123.456+0.5*7.25",
    "LOG10(0.00123)+EXP(1.5)*2.125",
    "(((1.25+2.5)*3.75)-4.125)/5.5",
    "SQRT(3.5^2+4.25^2)-5.5/1.1",
    "60*60*24*365.25/1000000+0.5",
    "FLOOR(123.456*100+0.5)/100",
    "&HABCD/16+0xEF*2.5-3000@H",
    "(9.81*2.5^2)/2+0.75*3.125",
    "1/(1+EXP(-0.75))-0.25+0.125",
    "12.34*56.78-90.12/34.56+7.8",
    "SIN(1.1)^2+COS(1.1)^2-0.5+2",
    "(?-?/3)*1.5+12.25-SQRT(6.25)",
    "2.5*(1.75+(3.5*(2.25-0.5)))",
    "LOG(1000)/LOG(10)+LOG2(1.5)",
    "0.000125*8000+1.5e-3*2000",
    "CEIL(17.3)-FLOOR(-17.3)+0.35",
    "4*ATAN(1/5)-ATAN(1/239)*1.5",
    "(3.25+4.75)*0x10-&h20/4+0.5",
};
constexpr int CorpusSize = int(sizeof Corpus / sizeof Corpus[0]);

// Every expression of the corpus must evaluate: a benchmark of failures
// would measure how fast the evaluator gives up.
bool CheckCorpus(benchmark::State& state) {
    char output[ResultBufferSize];
    PreviousResult = 0.0;
    for (const char* expression : Corpus) {
        if (Evaluate(expression, output) != 1) {
            state.SkipWithError((std::string("not evaluated: ") + expression).c_str());
            return false;
        }
    }
    return true;
}

void BM_Evaluate(benchmark::State& state) {
    SetDefaultSettings();
    if (!CheckCorpus(state)) return;
    char output[ResultBufferSize];
    size_t characters = 0;
    for (const char* expression : Corpus) characters += std::strlen(expression);
    int i = 0;
    for (auto _ : state) {
        int ok = Evaluate(Corpus[i], output);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(output);
        if (++i == CorpusSize) i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(characters) / CorpusSize);
}
BENCHMARK(BM_Evaluate);

// The same corpus as the program's cycle treats it under other settings:
// each result form in turn, with thousands separators.
void BM_EvaluateFormats(benchmark::State& state) {
    SetDefaultSettings();
    if (!CheckCorpus(state)) return;
    static const char* const types[] = {"g", "e", "f", "G", "E"};
    static char output[MaxSeparatedLength + 1];
    Settings.InsThousandSep = 1;
    int i = 0;
    int form = 0;
    for (auto _ : state) {
        if (i == 0) {
            BuildOutFormat(form % 2 == 0 ? "-" : "+", types[form], 6 + form);
            form = (form + 1) % 5;
        }
        if (Evaluate(Corpus[i], output) == 1) InsertThousandSeparators(output);
        benchmark::DoNotOptimize(output);
        if (++i == CorpusSize) i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    SetDefaultSettings();
}
BENCHMARK(BM_EvaluateFormats);

}  // namespace
