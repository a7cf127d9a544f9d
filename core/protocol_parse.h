#pragma once
// Reading protocol lines back: the inverse of protocol::line(), for the
// checker and for reopening a saved protocol. UTF-8 in, never throws.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace potencor::protocol {

struct ParsedLine {
    std::int32_t number;              // the line's leading number
    std::string x, y, phi;            // the number texts as printed (with the file's separator)
    long double X1_cm, Y1_cm, phi_V;  // their values
    char32_t separator;               // U'.' or U','
    bool exact;                       // false where an 8-bit encoding replaced the Cyrillic units by '?'
};

// One line without its line end. Accepts exactly what protocol::line()
// produces, with either decimal separator (the same one in all three numbers)
// and numbers in fixed3's form, or the same with "см" written as "??" and
// " В" as " ?" (what ASCII and foreign 8-bit code pages make of the units).
// Anything else, free text included, gives nullopt.
std::optional<ParsedLine> parseLine(std::string_view utf8Line);

// Splits a text into lines at CR LF, lone LF or lone CR; the empty piece
// after a final line end is not a line.
std::vector<std::string_view> splitLines(std::string_view text);

// The same lines one at a time, for texts too long to hold a list of them.
template <class F>
void forEachLine(std::string_view text, F&& f)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch != '\r' && ch != '\n')
            continue;
        f(text.substr(start, i - start));
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        f(text.substr(start));
}

} // namespace potencor::protocol
