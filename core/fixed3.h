#pragma once
#include <string>

namespace potencor {

// The one number format for every coordinate and potential shown to the user:
// fixed point with three decimals, at most 8 significant digits, exponent form
// past 8 integer digits, no thousands separators, no minus on a rounded zero.
// The separator is written as UTF-8.
std::string fixed3(long double value, char32_t decimalSeparator);

} // namespace potencor
