#include "core/file_io.h"

#include "core/error.h"

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
#include <poll.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace potencor::files {

void Fd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::string errorText(int code)
{
    std::string s = std::strerror(code);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

namespace {

bool unnamedTemporaries = true;

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string leafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Everything, or false. A descriptor that takes no more for now (a FIFO
// opened without blocking) is given kWriteStallMs to take more.
bool writeAll(int fd, std::string_view bytes)
{
    const char* data = bytes.data();
    std::size_t size = bytes.size();
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

bool sync(int fd, Sync how) { return (how == Sync::Data ? ::fdatasync(fd) : ::fsync(fd)) == 0; }

// ---- Temporaries ----

// ".potencor-save.HOST.PID.RANDOM": whose it is, and whether that save may
// still be running.
constexpr std::string_view kTempPrefix = ".potencor-save.";

const std::string& host()
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

std::string temporaryName()
{
    static std::mt19937_64 random{std::random_device{}()};
    char tail[17];
    std::snprintf(tail, sizeof tail, "%016llx", static_cast<unsigned long long>(random()));
    return std::string(kTempPrefix) + host() + "." + std::to_string(::getpid()) + "." + tail;
}

// A temporary of a save on this machine whose process has gone, or of any
// save a day old, was left by a killed program.
void removeStaleTemporaries(int dir)
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

// ---- Replacing ----

// Why a replacement failed: the name could not be written, or the content;
// or the old file's mode and owner could not be given to the new one.
enum class Fault { None, CannotCreate, WriteFailed, NotKept };

struct Outcome {
    Fault fault = Fault::None;
    int error = 0; // errno
};

struct Replacement {
    // Empty: an unnamed temporary file where the file system has them, else
    // a fresh ".potencor-save.*" one (stale ones removed first). Otherwise
    // the target's name with this added, emptied if it is there.
    std::string suffix;
    mode_t mode = 0666;                  // less the umask, until it has the old file's
    const struct stat* old = nullptr;    // whose mode and owner the new file takes
    Sync sync = Sync::All;
};

// The new content under a temporary name in the target's folder first,
// renamed over the target once it is on disk: the target is always either
// the old file or the new one, whole. Nothing changes on a failure. keep,
// when given, gets the new file, open at its end.
Outcome replace(const std::string& target, std::string_view bytes, const Replacement& how, Fd* keep = nullptr)
{
    const auto failed = [](Fault fault) { return Outcome{fault, errno}; };
    const std::string leaf = leafOf(target);
    const Fd dir(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return failed(Fault::CannotCreate);

    Fd file;
    std::string tempName;
    if (!how.suffix.empty()) {
        tempName = leaf + how.suffix;
        file.reset(::openat(dir.get(), tempName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, how.mode));
        if (file.get() < 0)
            return failed(Fault::CannotCreate);
    } else {
        removeStaleTemporaries(dir.get());
        if (unnamedTemporaries)
            file.reset(::openat(dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, how.mode));
        if (file.get() < 0) {
            if (unnamedTemporaries && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return failed(Fault::CannotCreate);
            for (int attempt = 0; attempt < 100 && file.get() < 0; ++attempt) {
                const std::string candidate = temporaryName();
                file.reset(::openat(dir.get(), candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, how.mode));
                if (file.get() >= 0)
                    tempName = candidate;
                else if (errno != EEXIST)
                    return failed(Fault::CannotCreate);
            }
            if (file.get() < 0)
                return Outcome{Fault::CannotCreate, EEXIST};
        }
    }
    // Gives up the named temporary, keeping the error that made it go.
    const auto discard = [&](Outcome outcome) {
        if (!tempName.empty())
            ::unlinkat(dir.get(), tempName.c_str(), 0);
        return outcome;
    };
    if (!writeAll(file.get(), bytes) || !sync(file.get(), how.sync))
        return discard(failed(Fault::WriteFailed));
    if (const struct stat* old = how.old) {
        const bool ownerKept = (old->st_uid == ::geteuid() && old->st_gid == ::getegid())
            || ::fchown(file.get(), old->st_uid, old->st_gid) == 0;
        if (!ownerKept || ::fchmod(file.get(), old->st_mode & 07777) != 0)
            return discard(failed(Fault::NotKept));
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
                return failed(Fault::CannotCreate);
        }
        if (tempName.empty())
            return Outcome{Fault::CannotCreate, EEXIST};
    }
    if (::renameat(dir.get(), tempName.c_str(), dir.get(), leaf.c_str()) != 0)
        return discard(failed(Fault::CannotCreate));
    ::fsync(dir.get()); // the new name on disk too; the content already is
    if (keep)
        *keep = std::move(file);
    return {};
}

// ---- Saving ----

class Saving {
public:
    Saving(const std::string& path, std::string_view bytes, const std::string& shown)
        : path_(path), bytes_(bytes), shown_(shown)
    {
    }

    void run()
    {
        const std::string target = resolveLinks(path_);
        struct stat st{};
        if (::stat(target.c_str(), &st) != 0) {
            if (errno != ENOENT)
                cannotCreate(errno);
            replaceOrThrow(target, nullptr); // a new name
            return;
        }
        if (S_ISDIR(st.st_mode))
            cannotCreate(EISDIR);
        // The old file stays as it is when it may not be written.
        if (::access(target.c_str(), W_OK) != 0)
            cannotCreate(errno);
        if (S_ISREG(st.st_mode) && st.st_nlink == 1 && ::access(folderOf(target).c_str(), W_OK | X_OK) == 0
            && replaceOrThrow(target, &st))
            return;
        writeInPlace(target);
    }

private:
    [[noreturn]] void cannotCreate(int code) const { throw Error(msg::cannotCreateFile(shown_, errorText(code))); }
    [[noreturn]] static void writeFailed() { throw Error(msg::kStreamWrite); }

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

    // False when the old file's mode or owner cannot be given to the new
    // one: then nothing has changed.
    bool replaceOrThrow(const std::string& target, const struct stat* old) const
    {
        // Readable by no one else until it has the old file's mode.
        const Outcome outcome = replace(target, bytes_, {.suffix = {}, .mode = mode_t(old ? 0600 : 0666), .old = old, .sync = Sync::All});
        switch (outcome.fault) {
        case Fault::None:
            return true;
        case Fault::NotKept:
            return false;
        case Fault::WriteFailed:
            writeFailed();
        case Fault::CannotCreate:
            break;
        }
        cannotCreate(outcome.error);
    }

    // What cannot be replaced is written where it is. A regular file gets its
    // whole new size reserved first, so that a full disk or a size limit
    // fails before any of the old content is overwritten.
    void writeInPlace(const std::string& target) const
    {
        const Fd file(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (file.get() < 0)
            cannotCreate(errno); // a FIFO without a reader: ENXIO, at once
        struct stat st{};
        if (::fstat(file.get(), &st) != 0)
            writeFailed();
        if (!S_ISREG(st.st_mode)) {
            if (!writeAll(file.get(), bytes_))
                writeFailed();
            return;
        }
        const off_t size = static_cast<off_t>(bytes_.size());
        if (size > st.st_size) {
            if (::posix_fallocate(file.get(), 0, size) != 0) {
                if (::ftruncate(file.get(), st.st_size) != 0) {
                } // the reserved tail goes again where it can
                writeFailed();
            }
        }
        off_t done = 0;
        while (done < size) {
            const ssize_t n =
                ::pwrite(file.get(), bytes_.data() + done, static_cast<std::size_t>(size - done), done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                writeFailed();
            done += n;
        }
        if (::ftruncate(file.get(), size) != 0 || ::fsync(file.get()) != 0)
            writeFailed();
    }

    const std::string& path_;
    const std::string_view bytes_;
    const std::string& shown_;
};

} // namespace

void save(const std::string& path, std::string_view bytes, const std::string& shown)
{
    Saving(path, bytes, shown).run();
}

void setUnnamedTemporaries(bool enabled) { unnamedTemporaries = enabled; }

bool writeSynced(int fd, std::string_view bytes, Sync how) { return writeAll(fd, bytes) && sync(fd, how); }

Fd replaceVia(const std::string& path, const std::string& suffix, std::string_view bytes, Sync how)
{
    Fd file;
    const Outcome outcome = replace(path, bytes, {.suffix = suffix, .mode = 0600, .old = nullptr, .sync = how}, &file);
    errno = outcome.error;
    return file;
}

// ---- Reading ----

ReadResult readBounded(const std::string& path, std::uint64_t maxBytes)
{
    ReadResult r;
    const auto fail = [&](ReadResult::Status status, int error = 0) {
        r.status = status;
        r.error = error;
        r.bytes.clear();
        return std::move(r);
    };
    // What the name is decides before opening: opening a FIFO would wait for
    // a writer, or wake one that waits for a reader.
    const auto refused = [&](const struct stat& st) -> std::optional<ReadResult::Status> {
        if (S_ISDIR(st.st_mode))
            return ReadResult::Status::Directory;
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
            return ReadResult::Status::NotAFile;
        return std::nullopt;
    };
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return fail(ReadResult::Status::CannotOpen, errno);
    if (const auto status = refused(st))
        return fail(*status);
    // Without blocking: a device may wait on opening (a serial line) or on
    // reading (a terminal, /proc/kmsg).
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return fail(ReadResult::Status::CannotOpen, errno);
    // The name may have been given to something else in between.
    if (::fstat(fd.get(), &st) != 0)
        return fail(ReadResult::Status::CannotOpen, errno);
    if (const auto status = refused(st))
        return fail(*status);
    if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        r.size = static_cast<std::uint64_t>(st.st_size);
        return fail(ReadResult::Status::TooLarge);
    }

    const std::uint64_t cap = maxBytes + 1;
    std::string& bytes = r.bytes;
    bytes.resize(static_cast<std::size_t>(
        std::min<std::uint64_t>(S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) + 1 : 1 << 16, cap)));
    std::size_t len = 0;
    for (;;) {
        if (len == bytes.size()) {
            if (len >= cap)
                return fail(ReadResult::Status::TooLarge);
            bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(2 * len, cap)));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + len, bytes.size() - len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return fail(ReadResult::Status::WouldWait, errno);
            return fail(ReadResult::Status::ReadFailed, errno);
        }
        if (n == 0)
            break;
        len += static_cast<std::size_t>(n);
    }
    bytes.resize(len);
    return r;
}

} // namespace potencor::files
