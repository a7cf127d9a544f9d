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

void append(std::string& protocol, std::string_view text)
{
    if (!protocol.empty() && !protocol.ends_with(kLineEnd))
        protocol += kLineEnd;
    protocol += text;
    protocol += kLineEnd;
}

std::size_t lastLineStart(std::string_view protocol)
{
    std::string_view body = protocol;
    if (body.ends_with(kLineEnd))
        body.remove_suffix(kLineEnd.size());
    const std::size_t brk = body.rfind(kLineEnd);
    return brk == std::string_view::npos ? 0 : brk + kLineEnd.size();
}

void removeLastLine(std::string& protocol)
{
    protocol.resize(lastLineStart(protocol));
}

} // namespace potencor::protocol
