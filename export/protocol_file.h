#pragma once
// The protocol file: the protocol's exact text in the chosen encoding, no
// header or trailer, no line end added or converted.
#include <QByteArray>
#include <QString>

#include <optional>

namespace potencor::exporting {

// In the order of the save dialog's "Encoding:" list.
enum class Encoding { Ansi, Ascii, Unicode, BigEndianUnicode, Utf8, Utf7 };

// The bytes of the file. "ANSI" is Windows-1251 here (the platform has no ANSI
// code page); characters an 8-bit encoding cannot hold become '?'. Marks:
// FF FE for Unicode, FE FF for Big Endian Unicode, EF BB BF for UTF-8; an empty
// text gives no bytes at all.
QByteArray encodeProtocol(const QString& text, Encoding encoding);

// Writes the file so that a failure loses nothing: the old file is replaced
// only once the new content is completely written. Throws potencor::Error
// with "Cannot create file "%s". %s" or "Stream write error".
void saveProtocol(const QString& path, const QString& text, Encoding encoding);

// A protocol file read back: its text (line ends as in the file) and the
// encoding it was read in.
struct OpenedProtocol {
    QString text;
    Encoding encoding;
};

// Larger files are no protocol a student made.
inline constexpr qint64 kMaxProtocolBytes = 50 * 1024 * 1024;

// Reads a protocol file: the encoding from its byte-order mark or its bytes,
// unless one is forced. Throws potencor::Error with a message for the student
// when the file cannot be read, is too large or is not text.
OpenedProtocol readProtocol(const QString& path, std::optional<Encoding> forced = std::nullopt);

} // namespace potencor::exporting
