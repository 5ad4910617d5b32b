// Runs tests/cli/table.txt through Evaluate. The same table is run through the
// zarl-eval command by the cli_table test, so a difference between the two
// paths (a wiring fault that neither shows alone) fails one of them.
//
// The build passes the table's path as a string literal in ZARL_CLI_TABLE.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "eval/evaluate.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Eval;
using zarl_test::kFails;

class CliTable : public zarl_test::EvaluatorTest {};

#ifndef ZARL_CLI_TABLE
#error "the build must define ZARL_CLI_TABLE, the path of tests/cli/table.txt"
#endif

TEST_F(CliTable, EveryLineGivesItsResultThroughEvaluate) {
    const char* const path = ZARL_CLI_TABLE;
    std::ifstream table(path);
    ASSERT_TRUE(table.is_open()) << "cannot open " << path;
    std::string line;
    int number = 0;
    int rows = 0;
    // Lines run in order and share the previous result, as in one zarl-eval run.
    while (std::getline(table, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::string::size_type tab = line.find('\t');
        if (tab == std::string::npos || line.find('\t', tab + 1) != std::string::npos) {
            ADD_FAILURE() << path << ":" << number << ": not expression<TAB>expected: " << line;
            continue;
        }
        const std::string expression = line.substr(0, tab);
        const std::string expected = line.substr(tab + 1);
        ++rows;
        EXPECT_EQ(Eval(expression), expected == "FAIL" ? std::string(kFails) : expected)
            << path << ":" << number << ": " << expression;
    }
    EXPECT_GT(rows, 0) << path << " holds no cases";
}

}  // namespace
