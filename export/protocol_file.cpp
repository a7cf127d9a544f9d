#include "export/protocol_file.h"

#include "core/error.h"
#include "core/text_decode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace potencor::exporting {
namespace {

// 8-bit and UTF-7 through iconv, one character at a time on failure, so that
// a character the target cannot hold becomes '?' and the rest stays intact.
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

QByteArray ascii(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out += c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?';
    }
    return out;
}

QByteArray withMark(QStringConverter::Encoding encoding, const QString& text)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

std::string errnoText(int code)
{
    std::string s = std::strerror(code);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

} // namespace

QByteArray encodeProtocol(const QString& text, Encoding encoding)
{
    if (text.isEmpty())
        return {};
    switch (encoding) {
    case Encoding::Ansi:
        return iconvEncode(text, "WINDOWS-1251");
    case Encoding::Ascii:
        return ascii(text);
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

void saveProtocol(const QString& path, const QString& text, Encoding encoding)
{
    const QByteArray bytes = encodeProtocol(text, encoding);
    const QString absolute = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());

    QSaveFile file(path);
    // Never fall back to writing in place: that would truncate the old file.
    file.setDirectWriteFallback(false);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int code = errno != 0 ? errno : EACCES;
        throw Error(msg::cannotCreateFile(absolute.toStdString(), errnoText(code)));
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(msg::kStreamWrite); // QSaveFile discards its temporary file
}

} // namespace potencor::exporting

namespace potencor::exporting {

OpenedProtocol readProtocol(const QString& path, std::optional<Encoding> forced)
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const auto fail = [&](const QString& why) -> Error {
        return Error(QStringLiteral("Не удаётся открыть протокол \"%1\". %2").arg(shown, why).toStdString());
    };
    const QFileInfo info(path);
    if (info.isDir())
        throw fail(QStringLiteral("Это папка, а не файл"));
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw fail(QString::fromStdString(errnoText(errno != 0 ? errno : EACCES)));
    // Read one byte past the limit: a device or a growing file has no size to trust.
    const QByteArray bytes = file.read(kMaxProtocolBytes + 1);
    if (bytes.size() > kMaxProtocolBytes)
        throw fail(QStringLiteral("Файл больше 50 МБ: это не протокол измерений"));
    if (file.error() != QFileDevice::NoError)
        throw fail(file.errorString());

    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const text::Decoded decoded =
        forced ? text::decode(view, static_cast<text::Encoding>(*forced)) : text::decode(view);
    if (decoded.error == text::DecodeError::Binary)
        throw fail(QStringLiteral("Файл не текстовый"));
    if (decoded.error != text::DecodeError::None)
        throw fail(QStringLiteral("Файл не читается в кодировке %1")
                       .arg(QString::fromUtf8(text::encodingName(decoded.encoding).data(),
                                              static_cast<qsizetype>(text::encodingName(decoded.encoding).size()))));
    Encoding encoding = static_cast<Encoding>(decoded.encoding);
    // Plain 7-bit text: ANSI writes it back byte for byte, UTF-8 would add a mark.
    if (!forced && encoding == Encoding::Utf8 && !bytes.startsWith("\xEF\xBB\xBF")
        && std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        encoding = Encoding::Ansi;
    return {QString::fromUtf8(decoded.utf8.data(), static_cast<qsizetype>(decoded.utf8.size())), encoding};
}

} // namespace potencor::exporting
