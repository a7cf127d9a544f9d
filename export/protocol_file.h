#pragma once
// The protocol file: the protocol's exact text in the chosen encoding, no
// header or trailer, no line end added or converted.
#include "core/text_decode.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <string>

namespace potencor::exporting {

// The bytes of the file. "ANSI" is Windows-1251 here (the platform has no ANSI
// code page); characters an 8-bit encoding cannot hold become '?'. Marks:
// FF FE for Unicode, FE FF for Big Endian Unicode, EF BB BF for UTF-8; an empty
// text gives no bytes at all.
QByteArray encodeProtocol(const QString& text, text::Encoding encoding);

// The characters of a text that an encoding cannot hold (lone surrogates in
// every encoding): how many there are, and each different one once, in the
// order of first appearance.
struct LostCharacters {
    qsizetype count = 0;
    QList<char32_t> distinct;
};
LostCharacters lostCharacters(const QString& text, text::Encoding encoding);

// Writes the file as files::save does, so that a failure loses nothing.
// Throws potencor::Error with "Cannot create file "%s". %s" (the absolute
// path) when the name cannot be written, the old file untouched, or "Stream
// write error".
void saveProtocol(const QString& path, const QString& text, text::Encoding encoding);

// A protocol file read back: its text in UTF-8 (line ends as in the file)
// and the encoding it was read in.
struct OpenedProtocol {
    std::string utf8;
    text::Encoding encoding;
};

// Reads a protocol file: the encoding from its byte-order mark or its bytes,
// unless one is forced. Throws potencor::Error with a message for the student
// when the file cannot be read, is too large (protocol::kMaxFileBytes) or is
// not text.
OpenedProtocol readProtocol(const QString& path, std::optional<text::Encoding> forced = std::nullopt);

} // namespace potencor::exporting
