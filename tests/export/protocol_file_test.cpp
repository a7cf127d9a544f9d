#include "core/error.h"
#include "export/protocol_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <iconv.h>
#include <sys/resource.h>

using potencor::Error;
using potencor::exporting::Encoding;
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

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

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

TEST_F(SaveProtocol, EmptyProtocolTruncatesToZeroBytes)
{
    const QString file = path(QStringLiteral("data.txt"));
    writeFile(file, "old content");
    saveProtocol(file, QString(), Encoding::Ansi);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(readAll(file).size(), 0);
}

TEST_F(SaveProtocol, NameWithoutExtensionIsUsedAsTyped)
{
    saveProtocol(path(QStringLiteral("protocol")), kLine, Encoding::Ansi);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("protocol")});
}

TEST_F(SaveProtocol, MissingFolderIsCannotCreateWithSystemText)
{
    const QString file = path(QStringLiteral("no/such/folder/data.txt"));
    EXPECT_EQ(errorOf([&] { saveProtocol(file, kLine, Encoding::Ansi); }),
              "Cannot create file \"" + file.toStdString() + "\". No such file or directory");
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(SaveProtocol, RelativeNameIsReportedAbsolute)
{
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const std::string message = errorOf([&] { saveProtocol(QStringLiteral("nodir/x.txt"), kLine, Encoding::Ansi); });
    QDir::setCurrent(old);
    EXPECT_EQ(message, "Cannot create file \"" + QDir(dir.path()).filePath("nodir/x.txt").toStdString()
                           + "\". No such file or directory");
}

TEST_F(SaveProtocol, PathInsideProcIsCannotCreate)
{
    const std::string message = errorOf([&] { saveProtocol(QStringLiteral("/proc/potencor.txt"), kLine, Encoding::Ansi); });
    EXPECT_EQ(message.rfind("Cannot create file \"/proc/potencor.txt\". ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("Cannot create file \"/proc/potencor.txt\". ").size()) << message;
    EXPECT_NE(message.back(), '.');
}

TEST_F(SaveProtocol, WriteFailingMidwayKeepsOldFileAndLeavesNoStray)
{
    const QString file = path(QStringLiteral("data.txt"));
    const QByteArray old = "old protocol\r\n";
    writeFile(file, old);

    QString big;
    for (int i = 0; i < 2000; ++i)
        big += kLine;

    // A file-size limit makes the write fail part-way, as a full disk would;
    // the program ignores SIGXFSZ as this test does (keep_work.py file_size_limit).
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string message = errorOf([&] { saveProtocol(file, big, Encoding::Ansi); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Stream write error");
    EXPECT_EQ(readAll(file), old);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("data.txt")});
}

} // namespace
