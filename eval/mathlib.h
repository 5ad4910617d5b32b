// Portable double-precision elementary functions. The evaluator uses these
// instead of the host's mathematics library so that every build, on every
// host, computes bit-identical results: they use only IEEE double arithmetic
// (+ - * / and sqrt, each correctly rounded) and integer operations on the
// representation. Errors are not reported here; the evaluator's checked
// wrappers test the results.
#pragma once

namespace zmath {

double Sin(double x);
double Cos(double x);
double Tan(double x);
double Asin(double x);  // NaN outside [-1, 1]
double Acos(double x);  // NaN outside [-1, 1]
double Atan(double x);
double Exp(double x);  // +inf on overflow, 0 or subnormal on underflow
double Expm1(double x);
double Log(double x);  // -inf at +-0, NaN below 0
double Log10(double x);
// ln(x * 2^exponent) for x >= 0: the logarithm of a value whose exponent lies
// beyond a double's range, given as a double and an extra power of two.
double LogScaled(double x, int exponent);
double Pow(double x, double y);
double Sinh(double x);
double Cosh(double x);
double Tanh(double x);
double Sqrt(double x);
double Floor(double x);
double Ceil(double x);

}  // namespace zmath
