#pragma once
// Decoding protocol files in any of the encodings the save dialog offers, to
// UTF-8, without Qt: the system's converter (core/platform.h) for
// Windows-1251 and UTF-16, a strict UTF-7 decoder of the core's own.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace potencor::text {

// The six encodings of the save dialog, in its list order.
enum class Encoding { Ansi, Ascii, Unicode, BigEndianUnicode, Utf8, Utf7 };

// "ANSI", "ASCII", "Unicode", "Big Endian Unicode", "UTF-8", "UTF-7".
std::string_view encodingName(Encoding);
// Those names in any case, plus "windows-1251"/"cp1251", "utf-16le",
// "utf-16be", "utf8" and "utf7".
std::optional<Encoding> encodingFromName(std::string_view);

enum class DecodeError { None, Binary, Malformed };

struct Decoded {
    std::string utf8;
    Encoding encoding;
    DecodeError error = DecodeError::None;
    std::size_t errorOffset = 0; // byte offset of the first offending input byte
};

// Detects the encoding: a byte-order mark (EF BB BF, FF FE, FE FF; the mark is
// not part of the text); else valid UTF-8, unless pure 7-bit text holds UTF-7
// shift sequences that decode to non-ASCII (the writer's UTF-7 has no mark and
// a protocol always holds "см"); else Windows-1251 ("ANSI"). A NUL or another
// control character besides TAB, CR, LF and FF makes the input Binary.
Decoded decode(std::string_view bytes);
// Decodes with that encoding (skipping its mark, if it has one and the bytes
// start with it); undecodable bytes make it Malformed.
Decoded decode(std::string_view bytes, Encoding forced);

} // namespace potencor::text
