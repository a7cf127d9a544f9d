#include "core/protocol.h"

#include "core/fixed3.h"

namespace potencor::protocol {

std::string line(std::int32_t count, long double X1_cm, long double Y1_cm, long double phi_V,
                 char32_t decimalSeparator)
{
    std::string s = std::to_string(count);
    s += ": x=";
    s += fixed3(X1_cm, decimalSeparator);
    s += "см y=";
    s += fixed3(Y1_cm, decimalSeparator);
    s += "см phi=";
    s += fixed3(phi_V, decimalSeparator);
    s += " В";
    return s;
}

} // namespace potencor::protocol
