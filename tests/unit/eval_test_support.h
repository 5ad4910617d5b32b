// Shared fixture and helpers of the evaluator tests. Every test starts from the
// default settings, an empty constant table and a previous result of zero, and
// reads each evaluation back as its result text, so that tables can compare
// exact strings.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"

namespace zarl_test {

// Stands for "the evaluation fails" in the tables; no result text looks like it.
constexpr const char kFails[] = "<fails>";

struct Case {
    const char* input;
    const char* expected;   // result text, or kFails
};

inline void ResetEvaluatorState() {
    SetDefaultSettings();
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    ConstCount = 0;
    PreviousResult = 0;
}

// Sets the three format settings and rebuilds the format string from them, as
// the settings dialog does on OK.
inline void UseFormat(const char* sign, const char* type, int precision) {
    std::snprintf(Settings.OutFormatSign, sizeof Settings.OutFormatSign, "%s", sign);
    std::snprintf(Settings.OutFormatType, sizeof Settings.OutFormatType, "%s", type);
    Settings.OutFormatPrecision = precision;
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
}

// The input with control bytes and bytes above 126 written as \xNN, for
// failure messages.
inline std::string Printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return "\"" + shown + "\"";
}

// Evaluates input and returns its result text, or kFails. Checks on the way
// that the return value is 0 or 1 and agrees with EvalOk, and that a result
// text is terminated inside the result buffer.
inline std::string Eval(const std::string& input) {
    char out[ResultBufferSize];
    std::memset(out, 'Z', sizeof out);
    const int rc = Evaluate(input.c_str(), out);
    EXPECT_TRUE(rc == 0 || rc == 1) << "Evaluate returned " << rc << " for " << Printable(input);
    EXPECT_EQ(EvalOk, rc) << "EvalOk disagrees with the return value for " << Printable(input);
    if (rc != 1) return kFails;
    const void* end = std::memchr(out, '\0', sizeof out);
    EXPECT_NE(end, nullptr) << "result text not terminated for " << Printable(input);
    if (end == nullptr) return kFails;
    return std::string(out);
}

// Runs every row of a table in order; the input goes into the failure message.
template <size_t N>
void ExpectResults(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        EXPECT_EQ(Eval(c.input), c.expected) << "input: " << Printable(c.input);
    }
}

inline std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

class EvaluatorTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEvaluatorState(); }
};

}  // namespace zarl_test
