#include "check/escape.h"

#include <cstdint>
#include <cstdio>

namespace potencor::check {
namespace {

// Calls valid(codePoint, bytes) for each UTF-8 character and invalid(byte)
// for each byte that does not start one (overlongs, surrogates and values
// past U+10FFFF included).
template <class Valid, class Invalid>
void forEachCharacter(std::string_view s, Valid valid, Invalid invalid)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        const auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
            return i + k < n && p[i + k] >= lo && p[i + k] <= hi;
        };
        std::size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF && cont(1)) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b == 0xE0 && cont(1, 0xA0) && cont(2)) || (b >= 0xE1 && b <= 0xEC && cont(1) && cont(2))
                   || (b == 0xED && cont(1, 0x80, 0x9F) && cont(2)) || (b >= 0xEE && cont(1) && cont(2) && b <= 0xEF)) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b == 0xF0 && cont(1, 0x90) && cont(2) && cont(3))
                   || (b >= 0xF1 && b <= 0xF3 && cont(1) && cont(2) && cont(3))
                   || (b == 0xF4 && cont(1, 0x80, 0x8F) && cont(2) && cont(3))) {
            len = 4;
            cp = b & 0x07;
        }
        if (len == 0) {
            invalid(b);
            ++i;
            continue;
        }
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        valid(cp, s.substr(i, len));
        i += len;
    }
}

// Characters that act on a terminal or change how the text around them
// reads, rather than being read themselves.
bool isHidden(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) // C0, DEL, C1
           || c == 0x061C || c == 0x200E || c == 0x200F        // bidirectional marks
           || (c >= 0x202A && c <= 0x202E)                     // embeddings and overrides
           || (c >= 0x2066 && c <= 0x2069)                     // isolates
           || c == 0x2028 || c == 0x2029;                      // line and paragraph separators
}

std::string hex(const char* format, unsigned value)
{
    char buf[12];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

} // namespace

std::string visible(std::string_view text, Tabs tabs)
{
    std::string out;
    out.reserve(text.size());
    forEachCharacter(
        text,
        [&](char32_t c, std::string_view bytes) {
            if (!isHidden(c) || (c == '\t' && tabs == Tabs::Keep))
                out += bytes;
            else if (c == '\t')
                out += "\\t";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c < 0x80)
                out += hex("\\x%02x", c);
            else
                out += hex("\\u%04x", c);
        },
        [&](unsigned char b) { out += hex("\\x%02x", b); });
    return out;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    forEachCharacter(
        text,
        [&](char32_t c, std::string_view bytes) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (isHidden(c))
                    out += hex("\\u%04x", c);
                else
                    out += bytes;
            }
        },
        [&](unsigned char) { out += "\xEF\xBF\xBD"; });
    return out + "\"";
}

std::string htmlText(std::string_view text)
{
    const std::string v = visible(text);
    std::string out;
    out.reserve(v.size());
    for (const char c : v) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string csvText(std::string_view text, char separator)
{
    std::string v = visible(text, Tabs::Keep);
    // What a spreadsheet reads as the start of a formula (or of a cell a
    // formula follows) is text once an apostrophe leads it. A carriage
    // return never gets here: visible() has written it out.
    const bool formula = !v.empty() && (v[0] == '=' || v[0] == '+' || v[0] == '-' || v[0] == '@' || v[0] == '\t');
    if (formula)
        v.insert(0, 1, '\'');
    if (!formula && v.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos)
        return v;
    std::string out = "\"";
    for (const char c : v) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace potencor::check
