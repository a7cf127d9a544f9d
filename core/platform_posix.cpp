// The POSIX side of core/platform.h: glibc's iconv and strtold_l, file
// descriptors, a terminal that is a tty.
#include "core/platform.h"

#include <array>
#include <cstring>
#include <optional>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <locale.h> // newlocale, locale_t (POSIX)
#ifdef __GLIBC__
#include <malloc.h> // malloc_trim
#endif
#include <stdlib.h> // strtold_l
#include <sys/stat.h>
#include <unistd.h>

namespace potencor::platform {

long double strtoldC(const char* text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtold_l(text, nullptr, cLocale);
}

namespace {

const char* iconvName(Charset c)
{
    switch (c) {
    case Charset::Windows1251: return "WINDOWS-1251";
    case Charset::Utf16LE: return "UTF-16LE";
    case Charset::Utf16BE: return "UTF-16BE";
    }
    return "UTF-8";
}

// Windows-1251 is a byte a character and keeps no state: iconv's own way,
// through UCS-4 a character at a time, took a third of a second for a
// protocol of a million lines, a table of what iconv makes of each byte a
// tenth of that. Empty when iconv has no such conversion.
struct ByteTable {
    std::array<std::array<char, 4>, 256> utf8{};
    std::array<unsigned char, 256> length{}; // 0: iconv refuses the byte
};

const std::optional<ByteTable>& windows1251Table()
{
    static const std::optional<ByteTable> table = []() -> std::optional<ByteTable> {
        const iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return std::nullopt;
        ByteTable t;
        for (int b = 0; b < 256; ++b) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char in = static_cast<char>(b);
            char* ip = &in;
            char* op = t.utf8[static_cast<std::size_t>(b)].data();
            std::size_t il = 1, ol = 4;
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && il == 0)
                t.length[static_cast<std::size_t>(b)] = static_cast<unsigned char>(4 - ol);
        }
        iconv_close(cd);
        return t;
    }();
    return table;
}

Converted viaTable(const ByteTable& t, std::string_view bytes)
{
    Converted d;
    std::size_t total = 0;
    std::size_t valid = 0; // bytes before the first the table refuses
    for (; valid < bytes.size(); ++valid) {
        const unsigned char length = t.length[static_cast<unsigned char>(bytes[valid])];
        if (length == 0)
            break;
        total += length;
    }
    d.utf8.resize(total);
    char* out = d.utf8.data();
    for (const char c : bytes.substr(0, valid)) {
        const auto b = static_cast<unsigned char>(c);
        if (t.length[b] == 1) {
            *out++ = t.utf8[b][0];
        } else {
            std::memcpy(out, t.utf8[b].data(), t.length[b]);
            out += t.length[b];
        }
    }
    if (valid < bytes.size()) {
        d.ok = false;
        d.errorOffset = valid;
    }
    return d;
}

} // namespace

Converted toUtf8(Charset charset, std::string_view bytes)
{
    if (charset == Charset::Windows1251)
        if (const std::optional<ByteTable>& table = windows1251Table())
            return viaTable(*table, bytes);
    Converted d;
    // Opening a conversion loads and sets up its module: once per thread and
    // encoding is enough.
    struct Cache {
        std::array<iconv_t, 3> cd;
        Cache() { cd.fill(reinterpret_cast<iconv_t>(-1)); }
        ~Cache()
        {
            for (iconv_t c : cd)
                if (c != reinterpret_cast<iconv_t>(-1))
                    iconv_close(c);
        }
    };
    thread_local Cache cache;
    iconv_t& cd = cache.cd[static_cast<std::size_t>(charset)];
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", iconvName(charset));
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        d.ok = false;
        return d;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    // The output grows as it needs: sized for the worst case (three bytes a
    // byte) it would take three times a large file's size.
    d.utf8.resize(bytes.size() + bytes.size() / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0; // bytes of output
    d.ok = false;
    for (;;) {
        char* out = d.utf8.data() + done;
        std::size_t outLeft = d.utf8.size() - done;
        // Once all the input is in, a call without input flushes (a pending
        // shift), and fails on an input that ends inside a sequence.
        const bool flushing = inLeft == 0;
        const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &out, &outLeft)
                                       : iconv(cd, &in, &inLeft, &out, &outLeft);
        const bool failed = r == static_cast<std::size_t>(-1);
        const int error = errno;
        done = static_cast<std::size_t>(out - d.utf8.data());
        if (failed && error == E2BIG) {
            d.utf8.resize(d.utf8.size() + d.utf8.size() / 2 + 16);
            continue;
        }
        if (failed || (!flushing && inLeft > 0))
            break;
        if (flushing) {
            d.ok = true;
            break;
        }
    }
    d.utf8.resize(done);
    if (!d.ok)
        d.errorOffset = static_cast<std::size_t>(in - bytes.data());
    return d;
}

namespace {

InputFile::Type typeOf(const struct stat& st)
{
    if (S_ISREG(st.st_mode))
        return InputFile::Type::Regular;
    if (S_ISDIR(st.st_mode))
        return InputFile::Type::Directory;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return InputFile::Type::Pipe;
    return InputFile::Type::Other;
}

} // namespace

InputFile::InputFile(const std::string& utf8Path, bool regularOnly)
{
    struct stat st{};
    // What the name is decides before opening. Taking regular files alone, no
    // need: opened without following a link and without blocking, the file
    // itself is then looked at.
    if (!regularOnly) {
        if (::stat(utf8Path.c_str(), &st) != 0) {
            error_ = errno;
            return;
        }
        type_ = typeOf(st);
        if (type_ == Type::Pipe || type_ == Type::Directory)
            return;
    }
    // Without blocking: a device may wait on opening (a serial line) or on
    // reading (a terminal, /proc/kmsg).
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (regularOnly ? O_NOFOLLOW : 0));
    if (fd < 0) {
        error_ = errno;
        return;
    }
    // The name may have been given to something else in between.
    if (::fstat(fd, &st) != 0) {
        error_ = errno;
        ::close(fd);
        return;
    }
    if (regularOnly && !S_ISREG(st.st_mode)) {
        error_ = ENOTSUP;
        ::close(fd);
        return;
    }
    type_ = typeOf(st);
    if (type_ == Type::Pipe || type_ == Type::Directory) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    size_ = type_ == Type::Regular ? static_cast<std::uint64_t>(st.st_size) : 0;
}

InputFile::~InputFile()
{
    if (isOpen())
        ::close(static_cast<int>(handle_));
}

std::int64_t InputFile::read(char* buf, std::size_t n)
{
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle_), buf, n);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

void returnFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

std::vector<std::string> arguments(int argc, char** argv) { return {argv, argv + argc}; }

Console::Console() : colour_(::isatty(STDOUT_FILENO) == 1) {}

Console::~Console() = default;

} // namespace potencor::platform
