#include "core/error.h"
#include "export/protocol_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// ---- What a save does to what is already at the name ----

struct stat statOf(const QString& path)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        st.st_mode = 0;
    return st;
}

// ---- A name that cannot be created ----

struct PathErrorRow {
    const char* name;
    QString file;            // in a fresh folder, unless absolute
    bool relative;           // given as it is, with that folder the current one
    QStringList systemTexts; // the system's text for the error, after the path
    std::function<void(const QString& folder)> prepare = {};
};

void PrintTo(const PathErrorRow& r, std::ostream* os) { *os << r.name; }

class SaveProtocolPathError : public SaveProtocol, public ::testing::WithParamInterface<PathErrorRow> {
protected:
    // Every entry of the folder with what it is: a link and its target, or a size.
    QStringList folder() const
    {
        QStringList state;
        for (const QString& name : entries()) {
            const QFileInfo info(path(name));
            state << name + (info.isSymLink() ? " -> " + info.symLinkTarget() : " " + QString::number(info.size()));
        }
        return state;
    }
};

// "Cannot create file" with the absolute path and the system's text, and
// nothing in the folder touched.
TEST_P(SaveProtocolPathError, IsCannotCreateAndChangesNothing)
{
    const PathErrorRow& r = GetParam();
    if (r.prepare)
        r.prepare(dir.path());
    const QStringList before = folder();
    const QString absolute = QDir(dir.path()).filePath(r.file);
    std::string message;
    if (r.relative) {
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        message = errorOf([&] { saveProtocol(r.file, kLine, Encoding::Ansi); });
        QDir::setCurrent(old);
    } else {
        message = errorOf([&] { saveProtocol(absolute, kLine, Encoding::Ansi); });
    }
    const std::string prefix = "Cannot create file \"" + absolute.toStdString() + "\". ";
    ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
    EXPECT_TRUE(r.systemTexts.contains(QString::fromStdString(message.substr(prefix.size())))) << message;
    EXPECT_EQ(folder(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveProtocolPathError,
    ::testing::Values(
        PathErrorRow{"MissingFolder", QStringLiteral("no/such/folder/data.txt"), false,
                     {QStringLiteral("No such file or directory")}},
        PathErrorRow{"RelativeNameReportedAbsolute", QStringLiteral("nodir/x.txt"), true,
                     {QStringLiteral("No such file or directory")}},
        // Root may look for the name and finds none; anyone else may not.
        PathErrorRow{"InsideProc", QStringLiteral("/proc/potencor.txt"), false,
                     {QStringLiteral("No such file or directory"), QStringLiteral("Permission denied")}},
        PathErrorRow{"NameTooLong", QString(200, QChar(0x0436)) + QStringLiteral(".txt"), false, // 404 bytes
                     {QStringLiteral("File name too long")}},
        PathErrorRow{"SymlinkLoop", QStringLiteral("a.txt"), false, {QStringLiteral("Too many levels of symbolic links")},
                     [](const QString& folder) {
                         const QDir d(folder);
                         ASSERT_EQ(::symlink("b.txt", QFile::encodeName(d.filePath("a.txt")).constData()), 0);
                         ASSERT_EQ(::symlink("a.txt", QFile::encodeName(d.filePath("b.txt")).constData()), 0);
                     }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveProtocol, LinksStayLinksToTheNewContent)
{
    const QString real = path(QStringLiteral("real.txt"));
    const QString hard = path(QStringLiteral("hard.txt"));
    const QString soft = path(QStringLiteral("soft.txt"));
    writeFile(real, QByteArray(5000, 'z'));
    ASSERT_EQ(::link(QFile::encodeName(real).constData(), QFile::encodeName(hard).constData()), 0);
    ASSERT_EQ(::symlink("real.txt", QFile::encodeName(soft).constData()), 0);
    const ino_t inode = statOf(real).st_ino;

    saveProtocol(soft, kLine, Encoding::Ansi);
    EXPECT_TRUE(S_ISLNK(statOf(soft).st_mode));
    EXPECT_EQ(readAll(hard), kLine1251);
    saveProtocol(hard, kLine + kLine, Encoding::Ansi);
    EXPECT_EQ(readAll(real), kLine1251 + kLine1251);
    EXPECT_EQ(statOf(real).st_ino, inode);
    EXPECT_EQ(statOf(real).st_nlink, 2u);
    EXPECT_EQ(entries().size(), 3);
}

TEST_F(SaveProtocol, DevicesAndFifosAreWrittenNotReplaced)
{
    const QString null = path(QStringLiteral("null"));
    const QString full = path(QStringLiteral("full"));
    const QString fifo = path(QStringLiteral("fifo"));
    if (::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0
        || ::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "no mknod here: " << std::strerror(errno);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);

    EXPECT_EQ(errorOf([&] { saveProtocol(null, kLine, Encoding::Ansi); }), "<no error>");
    EXPECT_EQ(errorOf([&] { saveProtocol(full, kLine, Encoding::Ansi); }), "Stream write error");
    // Without a reader a FIFO would block the program until one came.
    EXPECT_EQ(errorOf([&] { saveProtocol(fifo, kLine, Encoding::Ansi); }),
              "Cannot create file \"" + fifo.toStdString() + "\". No such device or address");
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(errorOf([&] { saveProtocol(fifo, kLine, Encoding::Ansi); }), "<no error>");
    QByteArray got(1000, '\0');
    got.resize(std::max<ssize_t>(0, ::read(reader, got.data(), got.size())));
    ::close(reader);
    EXPECT_EQ(got, kLine1251);

    EXPECT_TRUE(S_ISCHR(statOf(null).st_mode));
    EXPECT_TRUE(S_ISCHR(statOf(full).st_mode));
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_EQ(entries().size(), 3);
}

TEST_F(SaveProtocol, RootKeepsModeAndOwnerOfAnotherUsersReadOnlyFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const QString file = path(QStringLiteral("theirs.txt"));
    writeFile(file, "old protocol");
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    saveProtocol(file, kLine, Encoding::Ansi);
    EXPECT_EQ(readAll(file), kLine1251);
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

// Runs a save in a child process as nobody; returns its error text.
std::string saveAsNobody(const QString& file)
{
    int out[2];
    if (::pipe(out) != 0)
        return "<no pipe>";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        std::string result = "<cannot become nobody>";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            result = errorOf([&] { saveProtocol(file, kLine, Encoding::Ansi); });
        if (::write(out[1], result.data(), result.size())) {
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

struct UserCase {
    const char* name;
    uid_t owner;
    mode_t mode; // 0: no file there yet
    const char* error; // the text after the path, or null for none
};

void PrintTo(const UserCase& c, std::ostream* os) { *os << c.name; }

class SaveProtocolAsUser : public ::testing::TestWithParam<UserCase> {};

// In a folder only root may write: what a user may write is written in place.
TEST_P(SaveProtocolAsUser, WritesWhatTheUserMayWriteInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const UserCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString file = dir.filePath(QStringLiteral("data.txt"));
    const QByteArray old = "old protocol, longer than the new one: " + QByteArray(200, 'z');
    ino_t inode = 0;
    if (c.mode != 0) {
        writeFile(file, old);
        ASSERT_EQ(::chown(QFile::encodeName(file).constData(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), c.mode), 0);
        inode = statOf(file).st_ino;
    }
    const std::string message = saveAsNobody(file);
    if (c.error) {
        EXPECT_EQ(message, "Cannot create file \"" + file.toStdString() + "\". " + c.error);
        EXPECT_EQ(readAll(file), c.mode != 0 ? old : QByteArray("<missing>"));
        return;
    }
    EXPECT_EQ(message, "<no error>");
    EXPECT_EQ(readAll(file), kLine1251);
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveProtocolAsUser,
    ::testing::Values(UserCase{"OwnFile", 65534, 0644, nullptr},
                      UserCase{"RootsWritableFile", 0, 0666, nullptr},
                      UserCase{"RootsReadOnlyFile", 0, 0644, "Permission denied"},
                      UserCase{"NewName", 0, 0, "Permission denied"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the file system has no unnamed temporaries: a save killed mid-way
// leaves its named one, which the next save in that folder removes, but
// never one of a save still running.
TEST_F(SaveProtocol, TemporaryOfAKilledSaveGoesAtTheNextSave)
{
    potencor::exporting::setUnnamedTemporaries(false);
    const QString file = path(QStringLiteral("data.txt"));
    QString big;
    for (int i = 0; i < 100'000; ++i)
        big += kLine;
    const auto temporaries = [&] {
        QStringList found;
        for (const QString& name : entries())
            if (name != QStringLiteral("data.txt"))
                found << name;
        return found;
    };
    const pid_t saver = ::fork();
    if (saver == 0) {
        for (;;)
            saveProtocol(file, big, Encoding::Ansi);
    }
    ASSERT_GT(saver, 0);
    bool ended = false;
    const auto end = [&] {
        if (!std::exchange(ended, true)) {
            ::kill(saver, SIGKILL);
            ::waitpid(saver, nullptr, 0);
            potencor::exporting::setUnnamedTemporaries(true);
        }
    };
    const auto cleanup = qScopeGuard(end);
    // Stop the saver while its temporary is there.
    QStringList left;
    for (int tries = 0; tries < 100'000 && left.isEmpty(); ++tries) {
        if (temporaries().isEmpty())
            continue;
        ::kill(saver, SIGSTOP);
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(saver), &info, WSTOPPED);
        left = temporaries();
        if (left.isEmpty())
            ::kill(saver, SIGCONT);
    }
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].startsWith(QStringLiteral(".potencor-save."))) << left[0].toStdString();

    saveProtocol(file, kLine, Encoding::Ansi); // the stopped save may still go on
    EXPECT_EQ(temporaries(), left);
    end(); // killed: its temporary is stale now
    saveProtocol(file, kLine, Encoding::Ansi);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("data.txt")});
    EXPECT_EQ(readAll(file), kLine1251);
}

} // namespace
