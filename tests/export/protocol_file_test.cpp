#include "tests/core/error_of.h"
#include "core/error.h"
#include "export/protocol_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <iconv.h>

using potencor::Error;
using potencor::text::Encoding;
using potencor::exporting::encodeProtocol;
using potencor::exporting::saveProtocol;

namespace {

const QString kLine = QStringLiteral("0: x=21.425см y=15.000см phi=6.300 В\r\n");

QByteArray hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced).replace(' ', "")); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

using potencor::test::errorOf;

struct EncodingCase {
    const char* name;
    QString text;
    Encoding encoding;
    QByteArray bytes;
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

class EncodeProtocol : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(EncodeProtocol, GivesExactBytes)
{
    const EncodingCase& c = GetParam();
    EXPECT_EQ(encodeProtocol(c.text, c.encoding).toHex(' '), c.bytes.toHex(' '));
}

const QByteArray kLine1251 = hex("30 3a 20 78 3d 32 31 2e 34 32 35 f1 ec 20 79 3d 31 35 2e 30 30 30 f1 ec"
                                 " 20 70 68 69 3d 36 2e 33 30 30 20 c2 0d 0a");

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeProtocol,
    ::testing::Values(
        EncodingCase{"AnsiLineIsWindows1251", kLine, Encoding::Ansi, kLine1251},
        EncodingCase{"AnsiTwoLines", kLine + kLine, Encoding::Ansi, kLine1251 + kLine1251},
        EncodingCase{"AnsiNoFinalBreakStaysSo", QStringLiteral("1: см"), Encoding::Ansi, hex("31 3a 20 f1 ec")},
        EncodingCase{"AnsiUnrepresentableIsQuestionMark", QStringLiteral("aß中😀b"), Encoding::Ansi, "a???b"},
        EncodingCase{"AnsiLongLineStaysOneLine", QString(300, QLatin1Char('x')), Encoding::Ansi, QByteArray(300, 'x')},
        EncodingCase{"AsciiCyrillicIsQuestionMark", QStringLiteral("см В\r\n"), Encoding::Ascii, "?? ?\r\n"},
        EncodingCase{"AsciiSurrogatePairIsOneMark", QStringLiteral("a😀b"), Encoding::Ascii, "a?b"},
        EncodingCase{"UnicodeLittleEndianWithMark", QStringLiteral("1 см\r\n"), Encoding::Unicode,
                     hex("ff fe 31 00 20 00 41 04 3c 04 0d 00 0a 00")},
        EncodingCase{"BigEndianUnicodeWithMark", QStringLiteral("1 В"), Encoding::BigEndianUnicode,
                     hex("fe ff 00 31 00 20 04 12")},
        EncodingCase{"Utf8WithMark", QStringLiteral("см В\r\n"), Encoding::Utf8,
                     hex("ef bb bf d1 81 d0 bc 20 d0 92 0d 0a")},
        EncodingCase{"EmptyAnsiIsZeroBytes", QString(), Encoding::Ansi, QByteArray()},
        EncodingCase{"EmptyUnicodeIsZeroBytes", QString(), Encoding::Unicode, QByteArray()},
        EncodingCase{"EmptyUtf8IsZeroBytes", QString(), Encoding::Utf8, QByteArray()},
        EncodingCase{"EmptyUtf7IsZeroBytes", QString(), Encoding::Utf7, QByteArray()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeProtocolUtf7, IsSevenBitWithoutMarkAndDecodesBack)
{
    const QByteArray bytes = encodeProtocol(kLine + QStringLiteral("1: x=-0.500см"), Encoding::Utf7);
    for (char b : bytes)
        EXPECT_LT(static_cast<unsigned char>(b), 0x80);
    EXPECT_TRUE(bytes.startsWith("0: x"));
    EXPECT_TRUE(bytes.contains("\r\n"));

    iconv_t cd = iconv_open("UTF-8", "UTF-7");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    QByteArray in = bytes;
    QByteArray out(in.size() * 4, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(op - out.data());
    EXPECT_EQ(QString::fromUtf8(out), kLine + QStringLiteral("1: x=-0.500см"));
}

// The writing itself, and each way it fails, is the file module's
// (tests/core/file_io_test.cpp); here, what the protocol's save adds to it.
class SaveProtocol : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }
};

TEST_F(SaveProtocol, ReplacesLongerFileWholly)
{
    const QString file = path(QStringLiteral("data.txt"));
    writeFile(file, QByteArray(5000, 'z'));
    saveProtocol(file, kLine, Encoding::Ansi);
    EXPECT_EQ(readAll(file), kLine1251);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("data.txt")});
}

TEST_F(SaveProtocol, NameWithoutExtensionIsUsedAsTyped)
{
    saveProtocol(path(QStringLiteral("protocol")), kLine, Encoding::Ansi);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("protocol")});
}

// "Cannot create file" with the absolute path and the system's text, and
// nothing in the folder touched.
TEST_F(SaveProtocol, RelativeNameIsReportedAbsolute)
{
    const QString file = QStringLiteral("nodir/x.txt");
    const QString absolute = QDir(dir.path()).filePath(file);
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const std::string message = errorOf([&] { saveProtocol(file, kLine, Encoding::Ansi); });
    QDir::setCurrent(old);
    const std::string prefix = "Cannot create file \"" + absolute.toStdString() + "\". ";
    ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
    EXPECT_EQ(message.substr(prefix.size()), "No such file or directory") << message;
    EXPECT_EQ(entries(), QStringList{});
}

} // namespace
