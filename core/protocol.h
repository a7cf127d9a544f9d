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

// Appends the line and its CR LF. A text whose last line lost its line end
// (edited by hand) gets one first, so the new line never merges with it.
void append(std::string& protocol, std::string_view line);

// Removes the last line with its line end. Lines are the pieces between line
// ends; the empty piece after a final CR LF is not a line.
void removeLastLine(std::string& protocol);

// Offset where the last line starts (protocol.size() when there is none).
std::size_t lastLineStart(std::string_view protocol);

} // namespace potencor::protocol
