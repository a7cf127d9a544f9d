#pragma once
// Checked extended-precision arithmetic: floating-point faults raise the
// program's error instead of quietly producing inf or NaN.
#include "core/error.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace potencor::fp {

// Out of line and cold, so the checks below stay a compare and a branch and
// the helpers inline into the hot paths (the potential runs on every mouse move).
[[noreturn]] [[gnu::cold]] void raise(const char* message);
// NaN: "Invalid floating point operation"; infinity: "Floating point overflow".
[[noreturn]] [[gnu::cold]] void raiseNonFinite(long double v);

// One comparison on the hot path: false for NaN and for either infinity.
inline bool isFinite(long double v)
{
    return std::fabs(v) <= std::numeric_limits<long double>::max();
}

// Any NaN or infinity reaching an operation is itself the trace of an earlier
// fault, so operands are checked as strictly as results.
inline void checkOperand(long double v)
{
    if (!isFinite(v)) [[unlikely]]
        raiseNonFinite(v);
}

inline long double checkResult(long double r)
{
    checkOperand(r);
    return r;
}

inline long double div(long double a, long double b)
{
    checkOperand(a);
    checkOperand(b);
    if (b == 0.0L)
        raise(a == 0.0L ? msg::kInvalidFloatOp : msg::kFloatDivByZero);
    return checkResult(a / b);
}

inline long double mul(long double a, long double b)
{
    checkOperand(a);
    checkOperand(b);
    return checkResult(a * b);
}

inline long double add(long double a, long double b)
{
    checkOperand(a);
    checkOperand(b);
    return checkResult(a + b);
}

inline long double sub(long double a, long double b)
{
    checkOperand(a);
    checkOperand(b);
    return checkResult(a - b);
}

inline long double sqrt(long double a)
{
    checkOperand(a);
    if (a < 0.0L)
        raise(msg::kInvalidFloatOp);
    return std::sqrt(a);
}

inline long double ln(long double a)
{
    checkOperand(a);
    if (a == 0.0L)
        raise(msg::kFloatDivByZero);
    if (a < 0.0L)
        raise(msg::kInvalidFloatOp);
    return std::log(a);
}

inline long double roundEven(long double a)
{
    checkOperand(a);
    // Default rounding mode: nearest, ties to even; inexact is silent.
    const long double r = std::rint(a);
    // The rounded value must fit a 64-bit integer: 2^63 is out, -2^63 is in.
    // Tested after rounding, since 2^63 - 0.5 is representable and rounds out.
    constexpr long double kLimit = 9223372036854775808.0L;
    if (r >= kLimit || r < -kLimit)
        raise(msg::kInvalidFloatOp);
    return r;
}

inline std::int32_t subChecked(std::int32_t a, std::int32_t b)
{
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r))
        raise(msg::kIntOverflow);
    return r;
}

inline std::int32_t addChecked(std::int32_t a, std::int32_t b)
{
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r))
        raise(msg::kIntOverflow);
    return r;
}

} // namespace potencor::fp
