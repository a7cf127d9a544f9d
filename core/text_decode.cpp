#include "core/text_decode.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>

namespace potencor::text {
namespace {

struct NameRow {
    std::string_view name;
    Encoding encoding;
};

constexpr std::array<NameRow, 6> kNames{{
    {"ANSI", Encoding::Ansi},
    {"ASCII", Encoding::Ascii},
    {"Unicode", Encoding::Unicode},
    {"Big Endian Unicode", Encoding::BigEndianUnicode},
    {"UTF-8", Encoding::Utf8},
    {"UTF-7", Encoding::Utf7},
}};

constexpr std::array<NameRow, 7> kAliases{{
    {"windows-1251", Encoding::Ansi},
    {"cp1251", Encoding::Ansi},
    {"utf-16le", Encoding::Unicode},
    {"utf-16be", Encoding::BigEndianUnicode},
    {"utf8", Encoding::Utf8},
    {"utf7", Encoding::Utf7},
    {"us-ascii", Encoding::Ascii},
}};

constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
constexpr std::string_view kBomUtf16LE = "\xFF\xFE";
constexpr std::string_view kBomUtf16BE = "\xFE\xFF";

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch; };
               return lower(x) == lower(y);
           });
}

// Control characters that no text the program writes holds.
bool isBinaryByte(unsigned char b)
{
    return (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') || b == 0x7F;
}

// In UTF-8 the C0 controls and DEL are their own bytes, never part of a
// multi-byte sequence, so one scan serves every encoding's output.
std::size_t findBinary(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i)
        if (isBinaryByte(static_cast<unsigned char>(s[i])))
            return i;
    return std::string_view::npos;
}

// Length of the valid UTF-8 prefix (overlongs, surrogates and values past
// U+10FFFF are invalid, as in the standard's table 3-7).
std::size_t validUtf8Prefix(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
            return i + k < n && p[i + k] >= lo && p[i + k] <= hi;
        };
        if (b >= 0xC2 && b <= 0xDF && cont(1)) {
            i += 2;
        } else if (b == 0xE0 && cont(1, 0xA0) && cont(2)) {
            i += 3;
        } else if (((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) && cont(1) && cont(2)) {
            i += 3;
        } else if (b == 0xED && cont(1, 0x80, 0x9F) && cont(2)) {
            i += 3;
        } else if (b == 0xF0 && cont(1, 0x90) && cont(2) && cont(3)) {
            i += 4;
        } else if (b >= 0xF1 && b <= 0xF3 && cont(1) && cont(2) && cont(3)) {
            i += 4;
        } else if (b == 0xF4 && cont(1, 0x80, 0x8F) && cont(2) && cont(3)) {
            i += 4;
        } else {
            return i;
        }
    }
    return n;
}

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

const char* iconvName(Encoding e)
{
    switch (e) {
    case Encoding::Ansi: return "WINDOWS-1251";
    case Encoding::Ascii: return "ASCII";
    case Encoding::Unicode: return "UTF-16LE";
    case Encoding::BigEndianUnicode: return "UTF-16BE";
    case Encoding::Utf8: return "UTF-8";
    case Encoding::Utf7: return "UTF-7";
    }
    return "UTF-8";
}

// iconv to UTF-8. The output grows as it needs: sized for the worst case
// (three bytes a byte) it would take three times a large file's size.
Decoded viaIconv(std::string_view bytes, Encoding e, std::size_t offset)
{
    Decoded d{{}, e};
    // Opening a conversion loads and sets up its module: once per thread and
    // encoding is enough.
    struct Cache {
        std::array<iconv_t, 6> cd;
        Cache() { cd.fill(reinterpret_cast<iconv_t>(-1)); }
        ~Cache()
        {
            for (iconv_t c : cd)
                if (c != reinterpret_cast<iconv_t>(-1))
                    iconv_close(c);
        }
    };
    thread_local Cache cache;
    iconv_t& cd = cache.cd[static_cast<std::size_t>(e)];
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", iconvName(e));
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        d.error = DecodeError::Malformed;
        return d;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    d.utf8.resize(bytes.size() + bytes.size() / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0; // bytes of output
    bool ok = false;
    for (;;) {
        char* out = d.utf8.data() + done;
        std::size_t outLeft = d.utf8.size() - done;
        // Once all the input is in, a call without input flushes (a pending
        // UTF-7 shift), and fails on an input that ends inside a sequence.
        const bool flushing = inLeft == 0;
        const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &out, &outLeft)
                                       : iconv(cd, &in, &inLeft, &out, &outLeft);
        const bool failed = r == static_cast<std::size_t>(-1);
        const int error = errno;
        done = static_cast<std::size_t>(out - d.utf8.data());
        if (failed && error == E2BIG) {
            d.utf8.resize(d.utf8.size() + d.utf8.size() / 2 + 16);
            continue;
        }
        if (failed || (!flushing && inLeft > 0))
            break;
        if (flushing) {
            ok = true;
            break;
        }
    }
    d.utf8.resize(done);
    if (!ok) {
        d.error = DecodeError::Malformed;
        d.errorOffset = offset + static_cast<std::size_t>(in - bytes.data());
    }
    return d;
}

void checkBinary(Decoded& d, std::string_view bytes, std::size_t offset)
{
    if (d.error != DecodeError::None)
        return;
    const std::size_t at = findBinary(d.utf8);
    if (at == std::string_view::npos)
        return;
    d.error = DecodeError::Binary;
    const std::string_view body = bytes.substr(offset);
    if (d.encoding == Encoding::Unicode || d.encoding == Encoding::BigEndianUnicode) {
        // Look for the code unit; its bytes alone say nothing.
        const bool le = d.encoding == Encoding::Unicode;
        for (std::size_t k = 0; k + 1 < body.size(); k += 2) {
            const auto lo = static_cast<unsigned char>(body[k + (le ? 0 : 1)]);
            const auto hi = static_cast<unsigned char>(body[k + (le ? 1 : 0)]);
            if (hi == 0 && isBinaryByte(lo)) {
                d.errorOffset = offset + k;
                return;
            }
        }
        d.errorOffset = offset;
        return;
    }
    // Byte-wide encodings keep their offsets; in UTF-7 a control character
    // is written directly, unless it hides in a shifted run.
    const std::size_t raw = findBinary(body);
    d.errorOffset = offset + (raw != std::string_view::npos ? raw : 0);
}

Decoded decodeWith(std::string_view bytes, Encoding e, std::size_t offset)
{
    const std::string_view body = bytes.substr(offset);
    Decoded d{{}, e};
    switch (e) {
    case Encoding::Utf8: {
        const std::size_t valid = validUtf8Prefix(body);
        if (valid != body.size()) {
            d.error = DecodeError::Malformed;
            d.errorOffset = offset + valid;
        } else {
            d.utf8.assign(body);
        }
        break;
    }
    case Encoding::Ascii:
        if (auto it = std::find_if(body.begin(), body.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
            it != body.end()) {
            d.error = DecodeError::Malformed;
            d.errorOffset = offset + static_cast<std::size_t>(it - body.begin());
        } else {
            d.utf8.assign(body);
        }
        break;
    case Encoding::Unicode:
    case Encoding::BigEndianUnicode:
        // iconv leaves a dangling last byte unconsumed without saying where.
        if (body.size() % 2 != 0) {
            d.error = DecodeError::Malformed;
            d.errorOffset = offset + body.size() - 1;
            break;
        }
        d = viaIconv(body, e, offset);
        break;
    default:
        d = viaIconv(body, e, offset);
        break;
    }
    checkBinary(d, bytes, offset);
    return d;
}

} // namespace

std::string_view encodingName(Encoding e)
{
    for (const auto& row : kNames)
        if (row.encoding == e)
            return row.name;
    return "UTF-8";
}

std::optional<Encoding> encodingFromName(std::string_view name)
{
    for (const auto& row : kNames)
        if (equalsIgnoreCase(row.name, name))
            return row.encoding;
    for (const auto& row : kAliases)
        if (equalsIgnoreCase(row.name, name))
            return row.encoding;
    return std::nullopt;
}

Decoded decode(std::string_view bytes)
{
    if (bytes.starts_with(kBomUtf8))
        return decodeWith(bytes, Encoding::Utf8, kBomUtf8.size());
    if (bytes.starts_with(kBomUtf16LE))
        return decodeWith(bytes, Encoding::Unicode, kBomUtf16LE.size());
    if (bytes.starts_with(kBomUtf16BE))
        return decodeWith(bytes, Encoding::BigEndianUnicode, kBomUtf16BE.size());

    // Without a mark the bytes themselves must be text in any encoding.
    if (const std::size_t at = findBinary(bytes); at != std::string_view::npos)
        return {{}, Encoding::Utf8, DecodeError::Binary, at};
    const std::size_t valid = validUtf8Prefix(bytes);
    if (valid != bytes.size())
        return decodeWith(bytes, Encoding::Ansi, 0);
    if (isAscii(bytes) && bytes.find('+') != std::string_view::npos) {
        Decoded utf7 = decodeWith(bytes, Encoding::Utf7, 0);
        if (utf7.error == DecodeError::None && !isAscii(utf7.utf8))
            return utf7;
    }
    return {std::string(bytes), Encoding::Utf8};
}

Decoded decode(std::string_view bytes, Encoding forced)
{
    std::size_t offset = 0;
    if (forced == Encoding::Utf8 && bytes.starts_with(kBomUtf8))
        offset = kBomUtf8.size();
    else if (forced == Encoding::Unicode && bytes.starts_with(kBomUtf16LE))
        offset = kBomUtf16LE.size();
    else if (forced == Encoding::BigEndianUnicode && bytes.starts_with(kBomUtf16BE))
        offset = kBomUtf16BE.size();
    return decodeWith(bytes, forced, offset);
}

} // namespace potencor::text
