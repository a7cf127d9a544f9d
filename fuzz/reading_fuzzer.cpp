// Reading a protocol file back, on arbitrary bytes: decoding (detected, and
// forced to each encoding), splitting into lines, parsing each line. Besides
// the sanitizers' checks: nothing throws, decoded text is valid UTF-8 free of
// control characters, and every line the parser accepts is exactly the line
// protocol::line() writes for the values it read (with '?' for the units
// where the parser said so).
#include "core/protocol.h"
#include "core/protocol_parse.h"
#include "core/text_decode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace potencor;

[[noreturn]] void fail(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "%s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to)
{
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

void readText(const text::Decoded& d)
{
    if (d.error != text::DecodeError::None)
        return;
    // Decoded text is valid UTF-8 without control characters but TAB, LF, FF, CR.
    const text::Decoded again = text::decode(d.utf8, text::Encoding::Utf8);
    if (again.error != text::DecodeError::None)
        fail("decoded text is not clean UTF-8", d.utf8);
    for (const std::string_view line : protocol::splitLines(d.utf8)) {
        if (line.find_first_of("\r\n") != std::string_view::npos)
            fail("a line holds a line end", line);
        const auto p = protocol::parseLine(line);
        if (!p)
            continue;
        std::string written = protocol::line(p->number, p->X1_cm, p->Y1_cm, p->phi_V, p->separator);
        if (!p->exact)
            written = replaceAll(replaceAll(written, "см", "??"), " В", " ?");
        if (written != line)
            fail("accepted a line the program does not write", std::string(line) + " | " + written);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    readText(text::decode(bytes));
    for (const text::Encoding e : {text::Encoding::Ansi, text::Encoding::Ascii, text::Encoding::Unicode,
                                   text::Encoding::BigEndianUnicode, text::Encoding::Utf8, text::Encoding::Utf7})
        readText(text::decode(bytes, e));
    return 0;
}
