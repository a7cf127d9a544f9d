#pragma once
// Checked extended-precision arithmetic: floating-point faults raise the
// program's error instead of quietly producing inf or NaN.
#include "core/error.h"

#include <cmath>
#include <cstdint>

namespace potencor::fp {

// Any NaN or infinity reaching an operation is itself the trace of an earlier
// fault, so operands are checked as strictly as results.
inline void checkOperand(long double v)
{
    if (std::isnan(v))
        throw Error(msg::kInvalidFloatOp);
    if (std::isinf(v))
        throw Error(msg::kFloatOverflow);
}

inline long double checkResult(long double r)
{
    if (std::isnan(r))
        throw Error(msg::kInvalidFloatOp);
    if (std::isinf(r))
        throw Error(msg::kFloatOverflow);
    return r;
}

inline long double div(long double a, long double b)
{
    checkOperand(a);
    checkOperand(b);
    if (b == 0.0L)
        throw Error(a == 0.0L ? msg::kInvalidFloatOp : msg::kFloatDivByZero);
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
        throw Error(msg::kInvalidFloatOp);
    return std::sqrt(a);
}

inline long double ln(long double a)
{
    checkOperand(a);
    if (a == 0.0L)
        throw Error(msg::kFloatDivByZero);
    if (a < 0.0L)
        throw Error(msg::kInvalidFloatOp);
    return std::log(a);
}

inline long double roundEven(long double a)
{
    checkOperand(a);
    // 2^63 itself is already out of range; the lower bound -2^63 is exact.
    constexpr long double kLimit = 9223372036854775808.0L;
    if (a >= kLimit || a < -kLimit)
        throw Error(msg::kInvalidFloatOp);
    return std::nearbyint(a); // default rounding mode: nearest, ties to even
}

inline std::int32_t subChecked(std::int32_t a, std::int32_t b)
{
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r))
        throw Error(msg::kIntOverflow);
    return r;
}

inline std::int32_t addChecked(std::int32_t a, std::int32_t b)
{
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r))
        throw Error(msg::kIntOverflow);
    return r;
}

} // namespace potencor::fp
