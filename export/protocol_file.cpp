#include "export/protocol_file.h"

#include "core/error.h"
#include "core/protocol.h"
#include "core/text_decode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <memory>
#include <poll.h>
#include <random>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
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

std::string errnoText(int code)
{
    std::string s = std::strerror(code);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// ---- Writing ----

bool unnamedTemporaries = true;

// A FIFO whose reader stops reading must not hold the program for good.
constexpr int kWriteStallMs = 10'000;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

class Saving {
public:
    Saving(const QString& path, const QByteArray& bytes)
        : shown_(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())),
          name_(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString()), bytes_(bytes)
    {
    }

    void run()
    {
        const std::string target = resolveLinks(name_);
        struct stat st{};
        if (::stat(target.c_str(), &st) != 0) {
            if (errno != ENOENT)
                cannotCreate(errno);
            replace(target, nullptr); // a new name
            return;
        }
        if (S_ISDIR(st.st_mode))
            cannotCreate(EISDIR);
        // The old file stays as it is when it may not be written.
        if (::access(target.c_str(), W_OK) != 0)
            cannotCreate(errno);
        if (S_ISREG(st.st_mode) && st.st_nlink == 1 && ::access(folderOf(target).c_str(), W_OK | X_OK) == 0
            && replace(target, &st))
            return;
        writeInPlace(target);
    }

private:
    [[noreturn]] void cannotCreate(int code) const
    {
        throw Error(msg::cannotCreateFile(shown_.toStdString(), errnoText(code)));
    }
    [[noreturn]] static void writeFailed() { throw Error(msg::kStreamWrite); }

    static std::string folderOf(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    // The file a chain of symbolic links ends in, so that the link stays a link.
    std::string resolveLinks(std::string path) const
    {
        for (int hops = 0; hops < 40; ++hops) {
            struct stat st{};
            if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
                return path;
            std::string link(PATH_MAX, '\0');
            const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
            if (n < 0)
                cannotCreate(errno);
            link.resize(static_cast<std::size_t>(n));
            path = link.starts_with('/') ? link : folderOf(path) + "/" + link;
        }
        cannotCreate(ELOOP);
    }

    static bool writeAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, kWriteStallMs) <= 0)
                    return false;
            } else if (n == 0 || errno != EINTR) {
                return false;
            }
        }
        return true;
    }

    // The new content under a temporary name first, renamed over the target
    // once it is on disk. False when the old file's mode or owner cannot be
    // given to the new one: then nothing has changed.
    bool replace(const std::string& target, const struct stat* old)
    {
        const std::string folder = folderOf(target);
        const std::string leaf = target.substr(target.rfind('/') + 1);
        const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0)
            cannotCreate(errno);
        removeStaleTemporaries(dir.get());

        // Readable by no one else until it has the old file's mode.
        const mode_t mode = old ? 0600 : 0666;
        Fd file;
        std::string tempName;
        if (unnamedTemporaries)
            file.reset(::openat(dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (file.get() < 0) {
            if (unnamedTemporaries && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                cannotCreate(errno);
            file.reset(createNamed(dir.get(), mode, tempName));
        }
        const auto discard = [&] {
            if (!tempName.empty())
                ::unlinkat(dir.get(), tempName.c_str(), 0);
        };
        if (!writeAll(file.get(), bytes_.constData(), static_cast<std::size_t>(bytes_.size()))
            || ::fsync(file.get()) != 0) {
            discard();
            writeFailed();
        }
        if (old) {
            const bool ownerKept = (old->st_uid == ::geteuid() && old->st_gid == ::getegid())
                || ::fchown(file.get(), old->st_uid, old->st_gid) == 0;
            if (!ownerKept || ::fchmod(file.get(), old->st_mode & 07777) != 0) {
                discard();
                return false;
            }
        }
        if (tempName.empty()) {
            // An unnamed file gets a name of the program's own first: a link
            // cannot replace the target.
            const std::string self = "/proc/self/fd/" + std::to_string(file.get());
            for (int attempt = 0; attempt < 100 && tempName.empty(); ++attempt) {
                const std::string name = temporaryName();
                if (::linkat(AT_FDCWD, self.c_str(), dir.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    tempName = name;
                else if (errno != EEXIST)
                    cannotCreate(errno);
            }
            if (tempName.empty())
                cannotCreate(EEXIST);
        }
        if (::renameat(dir.get(), tempName.c_str(), dir.get(), leaf.c_str()) != 0) {
            const int code = errno;
            discard();
            cannotCreate(code);
        }
        ::fsync(dir.get()); // the new name on disk too; the content already is
        return true;
    }

    int createNamed(int dir, mode_t mode, std::string& name) const
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string candidate = temporaryName();
            const int fd = ::openat(dir, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                name = candidate;
                return fd;
            }
            if (errno != EEXIST)
                cannotCreate(errno);
        }
        cannotCreate(EEXIST);
    }

    // ".potencor-save.HOST.PID.RANDOM": whose it is, and whether that save
    // may still be running.
    static const std::string& host()
    {
        static const std::string name = [] {
            char buf[HOST_NAME_MAX + 1] = {};
            ::gethostname(buf, sizeof buf - 1);
            std::string s;
            for (const char* c = buf; *c && s.size() < 32; ++c)
                s += std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' ? *c : '_';
            return s.empty() ? std::string("host") : s;
        }();
        return name;
    }
    static constexpr std::string_view kTempPrefix = ".potencor-save.";

    static std::string temporaryName()
    {
        static std::mt19937_64 random{std::random_device{}()};
        char tail[17];
        std::snprintf(tail, sizeof tail, "%016llx", static_cast<unsigned long long>(random()));
        return std::string(kTempPrefix) + host() + "." + std::to_string(::getpid()) + "." + tail;
    }

    // A temporary of a save on this machine whose process has gone, or of
    // any save a day old, was left by a killed program.
    static void removeStaleTemporaries(int dir)
    {
        const int listFd = ::dup(dir);
        if (listFd < 0)
            return;
        DIR* list = ::fdopendir(listFd);
        if (!list) {
            ::close(listFd);
            return;
        }
        ::rewinddir(list);
        const std::string mine = std::string(kTempPrefix) + host() + ".";
        const time_t dayAgo = ::time(nullptr) - 24 * 60 * 60;
        while (const dirent* e = ::readdir(list)) {
            const std::string_view name = e->d_name;
            if (!name.starts_with(kTempPrefix))
                continue;
            bool stale = false;
            if (name.starts_with(mine)) {
                const std::string_view rest = name.substr(mine.size());
                const long pid = std::strtol(std::string(rest.substr(0, rest.find('.'))).c_str(), nullptr, 10);
                stale = pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
            }
            struct stat st{};
            if (!stale && ::fstatat(dir, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                stale = st.st_mtime < dayAgo;
            if (stale)
                ::unlinkat(dir, e->d_name, 0);
        }
        ::closedir(list);
    }

    // What cannot be replaced is written where it is. A regular file gets its
    // whole new size reserved first, so that a full disk or a size limit
    // fails before any of the old content is overwritten.
    void writeInPlace(const std::string& target)
    {
        const Fd file(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (file.get() < 0)
            cannotCreate(errno); // a FIFO without a reader: ENXIO, at once
        struct stat st{};
        if (::fstat(file.get(), &st) != 0)
            writeFailed();
        if (!S_ISREG(st.st_mode)) {
            if (!writeAll(file.get(), bytes_.constData(), static_cast<std::size_t>(bytes_.size())))
                writeFailed();
            return;
        }
        const off_t size = bytes_.size();
        if (size > st.st_size) {
            if (::posix_fallocate(file.get(), 0, size) != 0) {
                if (::ftruncate(file.get(), st.st_size) != 0) {
                } // the reserved tail goes again where it can
                writeFailed();
            }
        }
        off_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(file.get(), bytes_.constData() + done, static_cast<std::size_t>(size - done), done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                writeFailed();
            done += n;
        }
        if (::ftruncate(file.get(), size) != 0 || ::fsync(file.get()) != 0)
            writeFailed();
    }

    const QString shown_;
    const std::string name_;
    const QByteArray& bytes_;
};

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
    Saving(path, bytes).run();
}

void setUnnamedTemporaries(bool enabled) { unnamedTemporaries = enabled; }

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
    const QByteArray bytes = file.read(protocol::kMaxFileBytes + 1);
    if (bytes.size() > protocol::kMaxFileBytes)
        throw fail(QStringLiteral("Файл больше %1 МБ: это не протокол измерений").arg(protocol::kMaxFileBytes >> 20));
    if (file.error() != QFileDevice::NoError)
        throw fail(file.errorString());

    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const text::Decoded decoded = forced ? text::decode(view, *forced) : text::decode(view);
    if (decoded.error == text::DecodeError::Binary)
        throw fail(QStringLiteral("Файл не текстовый"));
    if (decoded.error != text::DecodeError::None)
        throw fail(QStringLiteral("Файл не читается в кодировке %1")
                       .arg(QString::fromUtf8(text::encodingName(decoded.encoding).data(),
                                              static_cast<qsizetype>(text::encodingName(decoded.encoding).size()))));
    Encoding encoding = decoded.encoding;
    // Plain 7-bit text: ANSI writes it back byte for byte, UTF-8 would add a mark.
    if (!forced && encoding == Encoding::Utf8 && !bytes.startsWith("\xEF\xBB\xBF")
        && std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        encoding = Encoding::Ansi;
    return {QString::fromUtf8(decoded.utf8.data(), static_cast<qsizetype>(decoded.utf8.size())), encoding};
}

} // namespace potencor::exporting
