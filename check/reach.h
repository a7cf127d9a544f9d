#pragma once
// Which printed coordinates the program can produce at a display scale of
// 100 %: those of a whole screen pixel under the default calibration, and the
// 0.5 cm snap grid.
#include <string_view>

namespace potencor::check {

// x (cm, as printed by fixed3 with the given separator) of some whole pixel,
// or on the snap grid.
bool reachableX(std::string_view text, long double value_cm, char32_t separator);
bool reachableY(std::string_view text, long double value_cm, char32_t separator);

} // namespace potencor::check
