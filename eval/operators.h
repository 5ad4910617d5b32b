// The arithmetic core of the evaluator: precedence classes, the application of
// one pending operator to the value stack, and the hook through which the
// checked mathematical routines fail an evaluation.
#pragma once

#include "eval/evaluate.h"

// The kinds of mathematical error a checked routine reports.
enum MathErrorType {
    MathDomain = 1,
    MathSingularity,
    MathOverflow,
    MathUnderflow,
    MathTotalLoss,
    MathPartialLoss
};

struct MathErrorReport {
    MathErrorType type;
    const char* name;  // the routine that reported
    double arg1;
    double arg2;
    double retval;  // the default result the routine returns
};

// Called once for every error a checked routine reports; clears EvalOk.
int MathErrorHook(MathErrorReport* report);

int PrecedenceClass(char op);
bool ApplyOperator(const OperatorEntry& entry);
