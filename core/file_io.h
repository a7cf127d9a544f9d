#pragma once
// Writing and reading files with the system's calls, once for the whole
// program: the protocol's save, the recovery journal's writer and the
// checker's reader. No Qt. Reading (file_read.cpp) works on every system,
// through core/platform.h; saving has a POSIX side (file_io.cpp) and a
// Windows one (file_io_win32.cpp, for the checker's report); the journal's
// writing (Fd, writeSynced, replaceVia) is POSIX only so far.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace potencor::files {

// An open file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_;
};

// The system's text for an error number, without a closing full stop.
std::string errorText(int code);

// ---- Saving ----

// A writer that stops taking data (a FIFO's reader) fails the write after this.
inline constexpr int kWriteStallMs = 10'000;

// Writes the file so that a failure loses nothing. A new name, or a regular
// file that only this name points at and that may be replaced keeping its
// mode and owner, is replaced atomically once the new content is completely
// on disk; a symbolic link stays a link to the new content. Anything else
// that can be written (a file with other hard links, a writable file in a
// folder the user cannot write, a device, a FIFO with a reader) is written
// in place, keeping what it is; a regular file gets its new size reserved
// first. A FIFO without a reader is an error at once. Throws potencor::Error:
// msg::cannotCreateFile(shown, reason) when the name cannot be written (the
// old file untouched), msg::kStreamWrite when the writing fails. On
// Windows a file is always replaced; a read-only one is refused.
void save(const std::string& path, std::string_view bytes, const std::string& shown);

// Where the file system has no unnamed temporary files (O_TMPFILE), the new
// content goes to a named one in the same folder,
// ".potencor-save.HOST.PID.RANDOM", so that one left by a killed save is
// recognised and removed at the next save there. Tests use false to take
// that way anywhere.
void setUnnamedTemporaries(bool enabled);

// ---- The journal's writing ----

// fdatasync or fsync: whether the file's times must reach the disk too.
enum class Sync { Data, All };

// Writes all the bytes and syncs them. False when that failed (errno says why).
bool writeSynced(int fd, std::string_view bytes, Sync sync);

// Replaces the file at path by a new one holding the bytes: written under
// path + suffix (emptied first if it is there), synced, renamed over the old
// file, the folder synced. Returns the new file, open for writing at its end;
// an empty Fd when that failed (errno says why), the old file as it was and
// the temporary gone.
Fd replaceVia(const std::string& path, const std::string& suffix, std::string_view bytes, Sync sync);

// ---- Reading ----

struct ReadResult {
    enum class Status {
        Ok,
        CannotOpen, // error: why
        Directory,
        TooLarge,   // more than the limit; size: what the file said, when it was refused unread
        ReadFailed, // error: why
        NotAFile,   // a FIFO or a socket: refused unopened
        WouldWait,  // a device or kernel file with nothing to give at once (a terminal, /proc/kmsg)
    };
    Status status = Status::Ok;
    int error = 0;
    std::optional<std::uint64_t> size;
    std::string bytes; // Ok: the whole file
};

// What a read takes: anything that can be read (a protocol a teacher names
// may be a device or a FIFO), or a regular file alone, reached through no
// symbolic link, its opening never waiting (a FIFO without a writer): for
// files in a folder anyone could have put a link or a FIFO in. There a
// symbolic link is CannotOpen with ELOOP, any other file that is not a
// regular one CannotOpen with ENOTSUP.
enum class Accept { Anything, RegularFile };

// Reads at most maxBytes, whatever the size says: a file may grow, or not be
// a regular file at all (only one byte past the limit is ever read). A regular
// file larger than the limit is refused unread; a directory is refused. It
// never waits: a FIFO or a socket is refused before it is opened (a writer
// waiting for a reader is not woken), and whatever has nothing to give at
// once is refused as soon as a read would wait. Symbolic links are followed,
// unless only a regular file is accepted.
ReadResult readBounded(const std::string& path, std::uint64_t maxBytes, Accept accept = Accept::Anything);

} // namespace potencor::files
