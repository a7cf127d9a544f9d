#include "export/protocol_file.h"

#include "core/error.h"
#include "core/file_io.h"
#include "core/protocol.h"
#include "core/text_decode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace potencor::exporting {

using text::Encoding;

namespace {

// An 8-bit encoding as a table of the byte for each UTF-16 unit, '?' for one
// it cannot hold, so that converting is one lookup a character. Windows-1251
// is read once from iconv: iconv's own way through UCS-4, a character at a
// time, took half a second for a protocol of a million lines.
class ByteTable {
public:
    static const ByteTable& ascii()
    {
        static const ByteTable table = [] {
            ByteTable t;
            for (char16_t u = 0; u < 0x80; ++u)
                t.bytes_[u] = static_cast<char>(u);
            return t;
        }();
        return table;
    }

    static const ByteTable& windows1251()
    {
        static const ByteTable table = [] {
            ByteTable t;
            t.bytes_[0] = '\0';
            iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1251");
            if (cd == reinterpret_cast<iconv_t>(-1))
                throw Error("Encoding not available: WINDOWS-1251");
            for (int b = 1; b < 0x100; ++b) {
                char in = static_cast<char>(b);
                char out[4];
                char* ip = &in;
                char* op = out;
                std::size_t il = 1, ol = sizeof out;
                if (iconv(cd, &ip, &il, &op, &ol) == 0 && op - out == 2)
                    t.bytes_[static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8] =
                        static_cast<char>(b);
            }
            iconv_close(cd);
            return t;
        }();
        return table;
    }

    QByteArray encode(const QString& text) const
    {
        QByteArray out(text.size(), Qt::Uninitialized);
        char* o = out.data();
        const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = p[i];
            *o++ = bytes_[u];
            if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1]))
                ++i; // one '?' for the pair
        }
        out.truncate(o - out.constData());
        return out;
    }

    // Whether the character (a UTF-16 unit, or the first of a pair) is held.
    bool holds(char16_t u) const { return bytes_[u] != '?' || u == u'?'; }

private:
    ByteTable() : bytes_(0x10000, '?') {}
    std::vector<char> bytes_;
};

// Calls f(code point, is a lone surrogate) for each character of the text.
template <class F>
void forEachCodePoint(const QString& text, F&& f)
{
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1].unicode())) {
            f(QChar::surrogateToUcs4(u, p[i + 1].unicode()), false);
            ++i;
        } else {
            f(char32_t{u}, QChar::isSurrogate(u));
        }
    }
}

// UTF-7 through iconv, one character at a time on failure, so that a character
// it cannot take becomes '?' and the rest stays intact.
QByteArray iconvEncode(const QString& text, const char* target)
{
    iconv_t cd = iconv_open(target, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Error(std::string("Encoding not available: ") + target);
    const std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);

    QByteArray in = text.toUtf8();
    char* inPtr = in.data();
    std::size_t inLeft = static_cast<std::size_t>(in.size());
    QByteArray out;
    out.resize(in.size() * 5 + 16);
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            throw Error(msg::kStreamWrite);
        // Skip one UTF-8 character and stand '?' in for it.
        std::size_t len = 1;
        while (len < inLeft && (static_cast<unsigned char>(inPtr[len]) & 0xC0) == 0x80)
            ++len;
        inPtr += len;
        inLeft -= len;
        *outPtr++ = '?';
        --outLeft;
    }
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft); // flush a pending UTF-7 shift
    out.resize(static_cast<qsizetype>(outPtr - out.data()));
    return out;
}

QByteArray withMark(QStringConverter::Encoding encoding, const QString& text)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

QByteArray encodeProtocol(const QString& text, Encoding encoding)
{
    if (text.isEmpty())
        return {};
    switch (encoding) {
    case Encoding::Ansi:
        return ByteTable::windows1251().encode(text);
    case Encoding::Ascii:
        return ByteTable::ascii().encode(text);
    case Encoding::Unicode:
        return withMark(QStringConverter::Utf16LE, text);
    case Encoding::BigEndianUnicode:
        return withMark(QStringConverter::Utf16BE, text);
    case Encoding::Utf8:
        return withMark(QStringConverter::Utf8, text);
    case Encoding::Utf7:
        return iconvEncode(text, "UTF-7");
    }
    return {};
}

LostCharacters lostCharacters(const QString& text, Encoding encoding)
{
    LostCharacters lost;
    std::unordered_set<char32_t> seen;
    const auto note = [&](char32_t c) {
        ++lost.count;
        if (seen.insert(c).second)
            lost.distinct.push_back(c);
    };
    if (encoding == Encoding::Ansi || encoding == Encoding::Ascii) {
        const ByteTable& table = encoding == Encoding::Ansi ? ByteTable::windows1251() : ByteTable::ascii();
        forEachCodePoint(text, [&](char32_t c, bool) {
            if (c >= 0x10000 || !table.holds(static_cast<char16_t>(c)))
                note(c);
        });
    } else {
        forEachCodePoint(text, [&](char32_t c, bool lone) {
            if (lone)
                note(c);
        });
    }
    return lost;
}

void saveProtocol(const QString& path, const QString& text, Encoding encoding)
{
    const QByteArray bytes = encodeProtocol(text, encoding);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files::save(QFile::encodeName(absolute).toStdString(),
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                QDir::toNativeSeparators(absolute).toStdString());
}

} // namespace potencor::exporting

namespace potencor::exporting {

OpenedProtocol readProtocol(const QString& path, std::optional<Encoding> forced)
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const auto fail = [&](const QString& why) -> Error {
        return Error(QStringLiteral("Не удаётся открыть протокол \"%1\". %2").arg(shown, why).toStdString());
    };
    const files::ReadResult read = files::readBounded(QFile::encodeName(path).toStdString(), protocol::kMaxFileBytes);
    switch (read.status) {
    case files::ReadResult::Status::Ok:
        break;
    case files::ReadResult::Status::Directory:
        throw fail(QStringLiteral("Это папка, а не файл"));
    case files::ReadResult::Status::NotAFile:
        throw fail(QStringLiteral("Это канал или сокет, а не файл"));
    case files::ReadResult::Status::WouldWait:
        throw fail(QStringLiteral("Это устройство, а не файл: из него нельзя читать без ожидания"));
    case files::ReadResult::Status::TooLarge:
        throw fail(QStringLiteral("Файл больше %1 МБ: это не протокол измерений").arg(protocol::kMaxFileBytes >> 20));
    case files::ReadResult::Status::CannotOpen:
    case files::ReadResult::Status::ReadFailed:
        throw fail(QString::fromStdString(files::errorText(read.error)));
    }
    const std::string& bytes = read.bytes;

    text::Decoded decoded = forced ? text::decode(bytes, *forced) : text::decode(bytes);
    if (decoded.error == text::DecodeError::Binary)
        throw fail(QStringLiteral("Файл не текстовый"));
    if (decoded.error != text::DecodeError::None)
        throw fail(QStringLiteral("Файл не читается в кодировке %1")
                       .arg(QString::fromUtf8(text::encodingName(decoded.encoding).data(),
                                              static_cast<qsizetype>(text::encodingName(decoded.encoding).size()))));
    Encoding encoding = decoded.encoding;
    // Plain 7-bit text: ANSI writes it back byte for byte, UTF-8 would add a mark.
    if (!forced && encoding == Encoding::Utf8 && !bytes.starts_with("\xEF\xBB\xBF")
        && std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        encoding = Encoding::Ansi;
    return {std::move(decoded.utf8), encoding};
}

} // namespace potencor::exporting
