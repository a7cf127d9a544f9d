#pragma once
// The measurement protocol: numbered lines ended by CR LF. Text is UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace potencor::protocol {

inline constexpr std::string_view kLineEnd = "\r\n";

// A larger file is no protocol a student made: the program and the checker
// refuse it.
inline constexpr std::int64_t kMaxFileBytes = std::int64_t{50} << 20;

// "<count>: x=<X1>см y=<Y1>см phi=<phi> В", numbers in fixed3, no line end.
std::string line(std::int32_t count, long double X1_cm, long double Y1_cm, long double phi_V,
                 char32_t decimalSeparator);

} // namespace potencor::protocol
