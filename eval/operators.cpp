// Operators and functions of the expression language. Every computation
// works on the top of the value stack and succeeds only with a finite result.
// Of the routines used, acos, asin, sinh, cosh, tanh, pow, floor and ceil are
// "checked": they report math errors through MathErrorHook, which fails the
// whole evaluation even when the operation itself goes on with a default.
#include "eval/operators.h"

#include <cfloat>
#include <cstring>

#include "eval/mathlib.h"
#include "settings/settings.h"

int MathErrorHook(MathErrorReport* /*report*/) {
    EvalOk = 0;
    return 0;  // go on with the routine's default result
}

namespace {

bool IsFinite(double v) {
    return v - v == 0.0;
}
double Magnitude(double v) {
    return v < 0 ? -v : v;
}

double Report(MathErrorType type, const char* name, double arg1, double arg2, double retval) {
    MathErrorReport report = {type, name, arg1, arg2, retval};
    MathErrorHook(&report);
    return retval;
}

// pow, sinh and cosh test their own result: an infinity or NaN is an
// overflow, a result that rounds to zero or to a subnormal an underflow.
double CheckResult(const char* name, double arg1, double arg2, double result, bool zeroIsExact) {
    if (!IsFinite(result)) return Report(MathOverflow, name, arg1, arg2, result);
    if (Magnitude(result) < DBL_MIN && !zeroIsExact) {
        return Report(MathUnderflow, name, arg1, arg2, result);
    }
    return result;
}

double CheckedPow(double x, double y) {
    return CheckResult("pow", x, y, zmath::Pow(x, y), x == 0);
}

double CheckedSinh(double x) {
    // sinh of a zero is that zero: only a nonzero argument can underflow.
    return CheckResult("sinh", x, 0, zmath::Sinh(x), x == 0);
}

double CheckedCosh(double x) {
    return CheckResult("cosh", x, 0, zmath::Cosh(x), false);
}

double CheckedAcos(double x) {
    if (x > 1 || x < -1) return Report(MathDomain, "acos", x, 0, zmath::Acos(x));
    return zmath::Acos(x);
}

double CheckedAsin(double x) {
    if (x > 1 || x < -1) return Report(MathDomain, "asin", x, 0, zmath::Asin(x));
    return zmath::Asin(x);
}

// tanh, floor and ceil report nothing for finite arguments, and the stack
// holds nothing else they could be given.

// x * x +- 1 and its square root as 53-bit operations whose intermediate
// exponent cannot overflow, then ln(x + root). Beyond 2^511 the square would
// leave the double range, so the operands are scaled by 2^-513 first: powers
// of two commute with every rounding here, and the 1 is then far below the
// last bit of x * x, exactly as it is unscaled.
double LogOfHyperbolicSum(double x, double one) {
    const double threshold = 0x1p511;
    if (Magnitude(x) < threshold) {
        return zmath::Log(x + zmath::Sqrt(x * x + one));
    }
    double xs = x * 0x1p-513;
    double scaledOne = one * 0x1p-1026;  // exact: a power of two
    return zmath::LogScaled(xs + zmath::Sqrt(xs * xs + scaledOne), 513);
}

enum FunctionId {
    FnAbs,
    FnAcos,
    FnAsin,
    FnAtan,
    FnCos,
    FnSin,
    FnTan,
    FnCosh,
    FnSinh,
    FnTanh,
    FnAcosh,
    FnAsinh,
    FnAtanh,
    FnExp,
    FnLog,
    FnLog10,
    FnLog2,
    FnSqrt,
    FnDeg,
    FnRad,
    FnSgn,
    FnFloor,
    FnCeil
};

struct FunctionName {
    const char* name;
    FunctionId id;
};

const FunctionName FunctionTable[] = {
    {"ABS", FnAbs},     {"ACOS", FnAcos},   {"ASIN", FnAsin},   {"ATAN", FnAtan},
    {"COS", FnCos},     {"SIN", FnSin},     {"TAN", FnTan},     {"COSH", FnCosh},
    {"SINH", FnSinh},   {"TANH", FnTanh},   {"ACOSH", FnAcosh}, {"ASINH", FnAsinh},
    {"ATANH", FnAtanh}, {"EXP", FnExp},     {"LOG", FnLog},     {"LOGE", FnLog},
    {"LN", FnLog},      {"LOG10", FnLog10}, {"LOG2", FnLog2},   {"SQRT", FnSqrt},
    {"DEG", FnDeg},     {"RAD", FnRad},     {"SGN", FnSgn},     {"FLOOR", FnFloor},
    {"CEIL", FnCeil},
};

// An inverse trigonometric result in radians, converted to the angle unit;
// false when the conversion would overflow.
bool ConvertAngle(double radians, double* result) {
    double limit = DBL_MAX / AngleOutFactor;
    if (radians < -limit || radians > limit) return false;
    *result = radians * AngleOutFactor;
    return true;
}

bool ComputeFunction(FunctionId id, double x, double* result) {
    switch (id) {
        case FnAbs: *result = x < 0 ? -x : x; return true;
        case FnAcos:
            if (x > 1 || x < -1) return false;
            return ConvertAngle(CheckedAcos(x), result);
        case FnAsin:
            if (x > 1 || x < -1) return false;
            return ConvertAngle(CheckedAsin(x), result);
        case FnAtan: return ConvertAngle(zmath::Atan(x), result);
        case FnCos: *result = zmath::Cos(x * AngleInFactor); return true;
        case FnSin: *result = zmath::Sin(x * AngleInFactor); return true;
        case FnTan: *result = zmath::Tan(x * AngleInFactor); return true;
        case FnCosh: *result = CheckedCosh(x); return true;
        case FnSinh: *result = CheckedSinh(x); return true;
        case FnTanh: *result = zmath::Tanh(x); return true;
        case FnAcosh: *result = LogOfHyperbolicSum(x, -1.0); return true;
        case FnAsinh: *result = LogOfHyperbolicSum(x, 1.0); return true;
        case FnAtanh: *result = 0.5 * zmath::Log((1.0 + x) / (1.0 - x)); return true;
        case FnExp: *result = zmath::Exp(x); return true;
        case FnLog: *result = zmath::Log(x); return true;
        case FnLog10: *result = zmath::Log10(x); return true;
        case FnLog2: *result = zmath::Log(x) / zmath::Log(2.0); return true;
        case FnSqrt:
            if (x < 0) return false;
            *result = zmath::Sqrt(x);
            return true;
        case FnDeg: *result = x * RadiansToDegrees; return true;
        case FnRad: *result = x * DegreesToRadians; return true;
        case FnSgn: *result = x < 0 ? -1.0 : (x == 0 ? 0.0 : 1.0); return true;
        case FnFloor: *result = zmath::Floor(x); return true;
        case FnCeil: *result = zmath::Ceil(x); return true;
    }
    return false;
}

bool ApplyFunction(const char* name) {
    if (ValueStack.Count < 1) return false;
    for (const FunctionName& f : FunctionTable) {
        if (std::strcmp(f.name, name) != 0) continue;
        double result;
        if (!ComputeFunction(f.id, ValueStack.Slot[ValueStack.Count - 1], &result)) return false;
        if (!IsFinite(result)) return false;
        ValueStack.Slot[ValueStack.Count - 1] = result;
        return true;
    }
    return false;
}

bool ApplyBinary(char op) {
    if (ValueStack.Count < 2) return false;
    double right = ValueStack.Slot[--ValueStack.Count];
    double left = ValueStack.Slot[ValueStack.Count - 1];
    double result;
    switch (op) {
        case '+': result = left + right; break;
        case '-': result = left - right; break;
        case '*':
        case char(215): result = left * right; break;
        case '/':
        case char(247):
            if (right == 0) return false;
            result = left / right;
            break;
        default:  // '^'
            if (left == 0) return false;
            if (left < 0 && zmath::Floor(right) != right) return false;
            result = CheckedPow(left, right);
            break;
    }
    if (!IsFinite(result)) return false;
    ValueStack.Slot[ValueStack.Count - 1] = result;
    return true;
}

}  // namespace

int PrecedenceClass(char op) {
    switch (op) {
        case '+':
        case '-': return 1;
        case '*':
        case '/':
        case char(215):
        case char(247): return 2;
        case '~': return 3;
        case '^': return 4;
        case 'f': return 5;
        default: return 0;
    }
}

bool ApplyOperator(const OperatorEntry& entry) {
    switch (entry.Op) {
        case '(': return true;
        case '~': {
            if (ValueStack.Count < 1) return false;
            double result = -ValueStack.Slot[ValueStack.Count - 1];
            if (!IsFinite(result)) return false;
            ValueStack.Slot[ValueStack.Count - 1] = result;
            return true;
        }
        case '+':
        case '-':
        case '*':
        case '/':
        case '^':
        case char(215):
        case char(247): return ApplyBinary(entry.Op);
        case 'f': return ApplyFunction(entry.Name);
        default: return false;
    }
}
