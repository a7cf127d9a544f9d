// Writing and reading files: what a save does to what is at the name, each
// way it can fail, the journal's replacing and appending, the checker's
// bounded reading. The tests run as root, which no file mode stops: where a
// permission matters, the call runs in a child process as nobody.
#include "tests/core/error_of.h"
#include "core/error.h"
#include "core/file_io.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <optional>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace potencor {
namespace {

using files::ReadResult;

// A protocol line as the writer makes it in Windows-1251.
const std::string kLine = "0: x=21.425\xF1\xEC y=15.000\xF1\xEC phi=6.300 \xC2\r\n";

std::string many(int lines)
{
    std::string s;
    for (int i = 0; i < lines; ++i)
        s += kLine;
    return s;
}

std::string readAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return "<missing>";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(f) << path;
    f << bytes;
}

using test::errorOf;

// A save as the program makes one: the error names the path as given.
void save(const std::string& path, const std::string& bytes) { files::save(path, bytes, path); }

struct stat statOf(const std::string& path)
{
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0)
        st.st_mode = 0;
    return st;
}

// Runs f in a child process as nobody; returns what it returned.
std::string asNobody(const std::function<std::string()>& f)
{
    int out[2];
    if (::pipe(out) != 0)
        return "<no pipe>";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        std::string result = "<cannot become nobody>";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            result = f();
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

class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/potencor-files-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        if (mounted_)
            ::umount2(dir_.c_str(), MNT_DETACH);
        std::filesystem::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Every entry of the folder, hidden ones too, sorted.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A 64 KiB disk of its own at the folder: false where none can be made.
    bool smallDisk()
    {
        mounted_ = ::mount("none", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
        return mounted_;
    }

    std::string dir_;
    bool mounted_ = false;
};

// While it lives, files grow to at most this size; SIGXFSZ is ignored, as the
// program ignores it, so that the write fails instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*handler_)(int) = nullptr;
};

// Named temporaries in place of unnamed ones while it lives.
struct NamedTemporaries {
    NamedTemporaries() { files::setUnnamedTemporaries(false); }
    ~NamedTemporaries() { files::setUnnamedTemporaries(true); }
};

// ---- What a save does to what is at the name ----

using Save = TempDir;

TEST_F(Save, EmptyContentTruncatesToZeroBytes)
{
    const std::string file = path("data.txt");
    writeFile(file, "old content");
    save(file, "");
    EXPECT_EQ(statOf(file).st_mode & S_IFMT, S_IFREG);
    EXPECT_EQ(readAll(file).size(), 0u);
}

TEST_F(Save, LinksStayLinksToTheNewContent)
{
    const std::string real = path("real.txt");
    const std::string hard = path("hard.txt");
    const std::string soft = path("soft.txt");
    writeFile(real, std::string(5000, 'z'));
    ASSERT_EQ(::link(real.c_str(), hard.c_str()), 0);
    ASSERT_EQ(::symlink("real.txt", soft.c_str()), 0);
    const ino_t inode = statOf(real).st_ino;

    save(soft, kLine);
    EXPECT_TRUE(S_ISLNK(statOf(soft).st_mode));
    EXPECT_EQ(readAll(hard), kLine);
    save(hard, kLine + kLine);
    EXPECT_EQ(readAll(real), kLine + kLine);
    EXPECT_EQ(statOf(real).st_ino, inode);
    EXPECT_EQ(statOf(real).st_nlink, 2u);
    EXPECT_EQ(entries().size(), 3u);
}

TEST_F(Save, DevicesAndFifosAreWrittenNotReplaced)
{
    const std::string null = path("null");
    const std::string full = path("full");
    const std::string fifo = path("fifo");
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0
        || ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "no mknod here: " << std::strerror(errno);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    EXPECT_EQ(errorOf([&] { save(null, kLine); }), "<no error>");
    EXPECT_EQ(errorOf([&] { save(full, kLine); }), "Stream write error");
    // Without a reader a FIFO would block the program until one came.
    EXPECT_EQ(errorOf([&] { save(fifo, kLine); }), "Cannot create file \"" + fifo + "\". No such device or address");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(errorOf([&] { save(fifo, kLine); }), "<no error>");
    std::string got(1000, '\0');
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), got.size()))));
    ::close(reader);
    EXPECT_EQ(got, kLine);

    EXPECT_TRUE(S_ISCHR(statOf(null).st_mode));
    EXPECT_TRUE(S_ISCHR(statOf(full).st_mode));
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_EQ(entries().size(), 3u);
}

// A reader that takes nothing more holds the save for kWriteStallMs, not for good.
TEST_F(Save, FifoWhoseReaderStopsReadingFails)
{
    const std::string fifo = path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    const std::string more(static_cast<std::size_t>(capacity) * 2, 'x');
    EXPECT_EQ(errorOf([&] { save(fifo, more); }), "Stream write error");
    ::close(reader);
}

TEST_F(Save, RootKeepsModeAndOwnerOfAnotherUsersReadOnlyFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const std::string file = path("theirs.txt");
    writeFile(file, "old protocol");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    save(file, kLine);
    EXPECT_EQ(readAll(file), kLine);
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

struct UserCase {
    const char* name;
    uid_t owner;
    mode_t mode;       // 0: no file there yet
    const char* error; // the text after the path, or null for none
    friend void PrintTo(const UserCase& c, std::ostream* os) { *os << c.name; }
};

class SaveAsUser : public TempDir, public testing::WithParamInterface<UserCase> {};

// In a folder only root may write: what a user may write is written in place.
TEST_P(SaveAsUser, WritesWhatTheUserMayWriteInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const UserCase& c = GetParam();
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    const std::string file = path("data.txt");
    const std::string old = "old protocol, longer than the new one: " + std::string(200, 'z');
    ino_t inode = 0;
    if (c.mode != 0) {
        writeFile(file, old);
        ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
        inode = statOf(file).st_ino;
    }
    const std::string message = asNobody([&] { return errorOf([&] { save(file, kLine); }); });
    if (c.error) {
        EXPECT_EQ(message, "Cannot create file \"" + file + "\". " + c.error);
        EXPECT_EQ(readAll(file), c.mode != 0 ? old : "<missing>");
        return;
    }
    EXPECT_EQ(message, "<no error>");
    EXPECT_EQ(readAll(file), kLine);
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
}

INSTANTIATE_TEST_SUITE_P(Table, SaveAsUser,
                         testing::Values(UserCase{"OwnFile", 65534, 0644, nullptr},
                                         UserCase{"RootsWritableFile", 0, 0666, nullptr},
                                         UserCase{"RootsReadOnlyFile", 0, 0644, "Permission denied"},
                                         UserCase{"NewName", 0, 0, "Permission denied"}),
                         test::RowName{});

// Where the file system has no unnamed temporaries: a save killed mid-way
// leaves its named one, which the next save in that folder removes, but
// never one of a save still running.
TEST_F(Save, TemporaryOfAKilledSaveGoesAtTheNextSave)
{
    const NamedTemporaries named;
    const std::string file = path("data.txt");
    const std::string big = many(100'000);
    const auto temporaries = [&] {
        std::vector<std::string> found;
        for (const std::string& name : entries())
            if (name != "data.txt")
                found.push_back(name);
        return found;
    };
    const pid_t saver = ::fork();
    if (saver == 0) {
        for (;;)
            save(file, big);
    }
    ASSERT_GT(saver, 0);
    bool ended = false;
    const auto end = [&] {
        if (!std::exchange(ended, true)) {
            ::kill(saver, SIGKILL);
            ::waitpid(saver, nullptr, 0);
        }
    };
    struct Cleanup {
        std::function<void()> f;
        ~Cleanup() { f(); }
    } cleanup{end};
    // Stop the saver while its temporary is there.
    std::vector<std::string> left;
    for (int tries = 0; tries < 100'000 && left.empty(); ++tries) {
        if (temporaries().empty())
            continue;
        ::kill(saver, SIGSTOP);
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(saver), &info, WSTOPPED);
        left = temporaries();
        if (left.empty())
            ::kill(saver, SIGCONT);
    }
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].starts_with(".potencor-save.")) << left[0];

    save(file, kLine); // the stopped save may still go on
    EXPECT_EQ(temporaries(), left);
    end(); // killed: its temporary is stale now
    save(file, kLine);
    EXPECT_EQ(entries(), std::vector<std::string>{"data.txt"});
    EXPECT_EQ(readAll(file), kLine);
}

// ---- A name that cannot be written ----

struct PathErrorRow {
    const char* name;
    std::string file;                     // in a fresh folder, unless absolute
    std::vector<std::string> systemTexts; // the system's text for the error, after the path
    std::function<void(const std::string& folder)> prepare = {};
    friend void PrintTo(const PathErrorRow& r, std::ostream* os) { *os << r.name; }
};

class SavePathError : public TempDir, public testing::WithParamInterface<PathErrorRow> {
protected:
    // Every entry of the folder with what it is: a link and its target, or a size.
    std::vector<std::string> folder() const
    {
        std::vector<std::string> state;
        for (const std::string& name : entries()) {
            std::error_code ec;
            const std::filesystem::path p = path(name);
            state.push_back(name
                            + (std::filesystem::is_symlink(p, ec)
                                   ? " -> " + std::filesystem::read_symlink(p, ec).string()
                                   : " " + std::to_string(statOf(p).st_size)));
        }
        return state;
    }
};

// "Cannot create file" with the path and the system's text, and nothing in
// the folder touched.
TEST_P(SavePathError, IsCannotCreateAndChangesNothing)
{
    const PathErrorRow& r = GetParam();
    if (r.prepare)
        r.prepare(dir_);
    const std::vector<std::string> before = folder();
    const std::string file = r.file.starts_with('/') ? r.file : path(r.file);
    const std::string message = errorOf([&] { save(file, kLine); });
    const std::string prefix = "Cannot create file \"" + file + "\". ";
    ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
    const std::string text = message.substr(prefix.size());
    EXPECT_NE(std::find(r.systemTexts.begin(), r.systemTexts.end(), text), r.systemTexts.end()) << message;
    EXPECT_EQ(folder(), before);
}

std::string repeated(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SavePathError,
    testing::Values(
        PathErrorRow{"MissingFolder", "no/such/folder/data.txt", {"No such file or directory"}},
        // Root may look for the name and finds none; anyone else may not.
        PathErrorRow{"InsideProc", "/proc/potencor.txt", {"No such file or directory", "Permission denied"}},
        PathErrorRow{"NameTooLong", repeated("\xD0\xB6", 200) + ".txt", {"File name too long"}}, // 404 bytes
        PathErrorRow{"SymlinkLoop", "a.txt", {"Too many levels of symbolic links"},
                     [](const std::string& folder) {
                         ASSERT_EQ(::symlink("b.txt", (folder + "/a.txt").c_str()), 0);
                         ASSERT_EQ(::symlink("a.txt", (folder + "/b.txt").c_str()), 0);
                     }},
        PathErrorRow{"Directory", "sub", {"Is a directory"},
                     [](const std::string& folder) { ASSERT_EQ(::mkdir((folder + "/sub").c_str(), 0755), 0); }}),
    test::RowName{});

// ---- A full disk, a file-size limit ----

enum class Way { Unnamed, Named, InPlace };

struct FaultRow {
    const char* name;
    bool fullDisk; // else a file-size limit
    Way way;
    friend void PrintTo(const FaultRow& r, std::ostream* os) { *os << r.name; }
};

class SaveFault : public TempDir, public testing::WithParamInterface<FaultRow> {};

// The write fails part-way, or the reserving of the new size does: the old
// file stays as it was and nothing is left beside it.
TEST_P(SaveFault, KeepsTheOldFileAndLeavesNoStray)
{
    const FaultRow& r = GetParam();
    if (r.fullDisk && !smallDisk())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::string file = path("data.txt");
    const std::string old = "old protocol\r\n";
    writeFile(file, old);
    if (r.way == Way::InPlace) { // another name for it: written in place
        ASSERT_EQ(::link(file.c_str(), path("link.txt").c_str()), 0);
    }
    const std::vector<std::string> before = entries();

    // More than the disk holds, or than the limit lets a file grow to.
    const std::string big = many(2000);
    std::optional<NamedTemporaries> named;
    if (r.way == Way::Named)
        named.emplace();
    std::optional<FileSizeLimit> limit;
    if (!r.fullDisk)
        limit.emplace(4096);
    const std::string message = errorOf([&] { save(file, big); });
    limit.reset();
    named.reset();
    EXPECT_EQ(message, "Stream write error");
    EXPECT_EQ(readAll(file), old);
    EXPECT_EQ(entries(), before);
}

INSTANTIATE_TEST_SUITE_P(Table, SaveFault,
                         testing::Values(FaultRow{"FullDisk", true, Way::Unnamed},
                                         FaultRow{"FullDiskNamedTemporary", true, Way::Named},
                                         FaultRow{"FullDiskInPlace", true, Way::InPlace},
                                         FaultRow{"SizeLimit", false, Way::Unnamed},
                                         FaultRow{"SizeLimitNamedTemporary", false, Way::Named},
                                         FaultRow{"SizeLimitInPlace", false, Way::InPlace}),
                         test::RowName{});

// ---- The journal's writing ----

using JournalFile = TempDir;

TEST_F(JournalFile, ReplacedWholeAndAppendedAtItsEnd)
{
    const std::string journal = path("s.journal");
    writeFile(journal, "old snapshot, old records");
    writeFile(journal + ".new", "left by a rewrite that was killed, longer than the new one");
    files::Fd file = files::replaceVia(journal, ".new", "snapshot", files::Sync::Data);
    ASSERT_GE(file.get(), 0) << std::strerror(errno);
    EXPECT_TRUE(files::writeSynced(file.get(), "+record", files::Sync::Data));
    EXPECT_EQ(readAll(journal), "snapshot+record");
    EXPECT_EQ(entries(), std::vector<std::string>{"s.journal"});

    // Readable by its owner alone: it holds the student's protocol.
    file = files::replaceVia(journal, ".new", "again", files::Sync::Data);
    ASSERT_GE(file.get(), 0) << std::strerror(errno);
    EXPECT_EQ(readAll(journal), "again");
    EXPECT_EQ(statOf(journal).st_mode & 07777, 0600u);
}

TEST_F(JournalFile, FullDiskKeepsTheOldFileAndSaysWhy)
{
    if (!smallDisk())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::string journal = path("s.journal");
    files::Fd file = files::replaceVia(journal, ".new", "snapshot", files::Sync::Data);
    ASSERT_GE(file.get(), 0) << std::strerror(errno);

    const std::string big = many(2000);
    errno = 0;
    const files::Fd failed = files::replaceVia(journal, ".new", big, files::Sync::Data);
    EXPECT_LT(failed.get(), 0);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(readAll(journal), "snapshot");
    EXPECT_EQ(entries(), std::vector<std::string>{"s.journal"});

    errno = 0;
    EXPECT_FALSE(files::writeSynced(file.get(), big, files::Sync::Data));
    EXPECT_EQ(errno, ENOSPC);
}

// ---- Bounded reading ----

struct ReadRow {
    const char* name;
    std::function<std::string(const std::string& folder)> file; // makes it, gives its path
    std::uint64_t limit;
    ReadResult::Status status;
    int error = 0;
    std::optional<std::uint64_t> size = std::nullopt;
    std::string starts = {}; // what the bytes read start with
    files::Accept accept = files::Accept::Anything;
    friend void PrintTo(const ReadRow& r, std::ostream* os) { *os << r.name; }
};

class ReadBounded : public TempDir, public testing::WithParamInterface<ReadRow> {};

std::function<std::string(const std::string&)> fileOf(std::string bytes)
{
    return [bytes](const std::string& folder) {
        const std::string p = folder + "/f.txt";
        writeFile(p, bytes);
        return p;
    };
}

std::function<std::string(const std::string&)> at(std::string path)
{
    return [path](const std::string&) { return path; };
}

// A FIFO no one writes to.
std::function<std::string(const std::string&)> fifo()
{
    return [](const std::string& folder) {
        const std::string p = folder + "/fifo";
        EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0) << std::strerror(errno);
        return p;
    };
}

// A symbolic link to what `target` makes.
std::function<std::string(const std::string&)> linkTo(std::function<std::string(const std::string&)> target)
{
    return [target](const std::string& folder) {
        const std::string p = folder + "/link";
        EXPECT_EQ(::symlink(target(folder).c_str(), p.c_str()), 0) << std::strerror(errno);
        return p;
    };
}

TEST_P(ReadBounded, ReadsOrRefuses)
{
    const ReadRow& r = GetParam();
    const ReadResult got = files::readBounded(r.file(dir_), r.limit, r.accept);
    EXPECT_EQ(got.status, r.status);
    EXPECT_EQ(got.error, r.error) << std::strerror(got.error);
    EXPECT_EQ(got.size, r.size);
    if (r.status == ReadResult::Status::Ok)
        EXPECT_TRUE(got.bytes.starts_with(r.starts)) << got.bytes.substr(0, 100);
    else
        EXPECT_EQ(got.bytes, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadBounded,
    testing::Values(
        ReadRow{"WholeFile", fileOf(kLine + kLine), 1000, ReadResult::Status::Ok, 0, std::nullopt, kLine + kLine},
        ReadRow{"AtTheLimit", fileOf(std::string(16, 'a')), 16, ReadResult::Status::Ok, 0, std::nullopt,
                std::string(16, 'a')},
        ReadRow{"OneByteOver", fileOf(std::string(17, 'a')), 16, ReadResult::Status::TooLarge, 0, 17},
        // Refused by its size alone: a gigabyte is never read into memory.
        ReadRow{"SparseGigabyte",
                [](const std::string& folder) {
                    const std::string p = folder + "/huge.txt";
                    writeFile(p, "");
                    std::filesystem::resize_file(p, 1ull << 30);
                    return p;
                },
                50ull << 20, ReadResult::Status::TooLarge, 0, 1ull << 30},
        // A device has no size: read to one byte past the limit.
        ReadRow{"EndlessDevice", at("/dev/zero"), 1 << 20, ReadResult::Status::TooLarge},
        // Regular, but the size says 0: read all the same.
        ReadRow{"SizeSaysNothing", at("/proc/self/status"), 1 << 20, ReadResult::Status::Ok, 0, std::nullopt,
                "Name:"},
        ReadRow{"SizeSaysNothingButItIsMore", at("/proc/self/status"), 8, ReadResult::Status::TooLarge},
        ReadRow{"Missing", at("/nonexistent/f.txt"), 1000, ReadResult::Status::CannotOpen, ENOENT},
        ReadRow{"Directory", at("/tmp"), 1000, ReadResult::Status::Directory},
        // Regular files alone, through no link, and never waiting: a FIFO
        // without a writer would block the opening for good, /dev/zero fill
        // the memory up to the limit.
        ReadRow{"RegularFileOnly", fileOf(kLine), 1000, ReadResult::Status::Ok, 0, std::nullopt, kLine,
                files::Accept::RegularFile},
        ReadRow{"LinkToARegularFile", linkTo(fileOf(kLine)), 1000, ReadResult::Status::CannotOpen, ELOOP,
                std::nullopt, {}, files::Accept::RegularFile},
        ReadRow{"LinkToAFifo", linkTo(fifo()), 1000, ReadResult::Status::CannotOpen, ELOOP, std::nullopt, {},
                files::Accept::RegularFile},
        ReadRow{"Fifo", fifo(), 1000, ReadResult::Status::CannotOpen, ENOTSUP, std::nullopt, {},
                files::Accept::RegularFile},
        ReadRow{"LinkToADevice", linkTo(at("/dev/zero")), 1 << 30, ReadResult::Status::CannotOpen, ELOOP,
                std::nullopt, {}, files::Accept::RegularFile},
        ReadRow{"Device", at("/dev/zero"), 1 << 30, ReadResult::Status::CannotOpen, ENOTSUP, std::nullopt, {},
                files::Accept::RegularFile},
        ReadRow{"DirectoryNotRegular", at("/tmp"), 1000, ReadResult::Status::CannotOpen, ENOTSUP, std::nullopt, {},
                files::Accept::RegularFile},
        ReadRow{"RegularButTooLarge", fileOf(std::string(17, 'a')), 16, ReadResult::Status::TooLarge, 0, 17, {},
                files::Accept::RegularFile},
        // Links are followed to what they name.
        ReadRow{"LinkToAFile",
                [](const std::string& folder) {
                    writeFile(folder + "/f.txt", kLine);
                    std::filesystem::create_symlink("f.txt", folder + "/link.txt");
                    return folder + "/link.txt";
                },
                1000, ReadResult::Status::Ok, 0, std::nullopt, kLine},
        ReadRow{"LinkLoop",
                [](const std::string& folder) {
                    std::filesystem::create_symlink("b.txt", folder + "/a.txt");
                    std::filesystem::create_symlink("a.txt", folder + "/b.txt");
                    return folder + "/a.txt";
                },
                1000, ReadResult::Status::CannotOpen, ELOOP},
        // Nothing that would wait is waited for: a FIFO without a writer
        // (opening it for reading blocks), a socket, a terminal with nothing
        // typed on it.
        ReadRow{"FifoWithoutWriter",
                [](const std::string& folder) {
                    const std::string p = folder + "/fifo.txt";
                    EXPECT_EQ(::mkfifo(p.c_str(), 0644), 0);
                    return p;
                },
                1000, ReadResult::Status::NotAFile},
        ReadRow{"Socket",
                [](const std::string& folder) {
                    const std::string p = folder + "/socket.txt";
                    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
                    sockaddr_un address{};
                    address.sun_family = AF_UNIX;
                    std::strncpy(address.sun_path, p.c_str(), sizeof address.sun_path - 1);
                    EXPECT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << p;
                    ::close(s);
                    return p;
                },
                1000, ReadResult::Status::NotAFile},
        ReadRow{"SilentTerminal",
                [](const std::string&) {
                    // The controlling side stays open for the process's life, so
                    // that the terminal does not hang up.
                    static const int master = [] {
                        const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
                        EXPECT_GE(fd, 0);
                        EXPECT_EQ(::grantpt(fd), 0);
                        EXPECT_EQ(::unlockpt(fd), 0);
                        return fd;
                    }();
                    return std::string(::ptsname(master));
                },
                1000, ReadResult::Status::WouldWait, EAGAIN}),
    test::RowName{});

using Read = TempDir;

TEST_F(Read, WhatTheUserMayNotReadCannotBeOpened)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    const std::string file = path("theirs.txt");
    writeFile(file, kLine);
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    const std::string result = asNobody([&] {
        const ReadResult r = files::readBounded(file, 1000);
        return std::to_string(static_cast<int>(r.status)) + " " + files::errorText(r.error);
    });
    EXPECT_EQ(result, std::to_string(static_cast<int>(ReadResult::Status::CannotOpen)) + " Permission denied");
}

} // namespace
} // namespace potencor
