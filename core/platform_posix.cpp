// The POSIX side of core/platform.h: glibc's iconv and strtold_l, file
// descriptors, a terminal that is a tty.
#include "core/platform.h"

#include <array>
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

} // namespace

// The output is at most three times the input for every source encoding
// here, so one buffer of that size suffices.
Converted toUtf8(Charset charset, std::string_view bytes)
{
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
    d.utf8.resize(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = d.utf8.data();
    std::size_t outLeft = d.utf8.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &out, &outLeft);
    // Flushes, and fails on an input that ends inside a sequence.
    d.ok = r != static_cast<std::size_t>(-1) && inLeft == 0
           && iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    d.utf8.resize(static_cast<std::size_t>(out - d.utf8.data()));
    if (!d.ok)
        d.errorOffset = static_cast<std::size_t>(in - bytes.data());
    return d;
}

InputFile::InputFile(const std::string& utf8Path)
{
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        error_ = errno;
        ::close(fd);
        return;
    }
    handle_ = fd;
    type_ = S_ISREG(st.st_mode) ? Type::Regular : S_ISDIR(st.st_mode) ? Type::Directory : Type::Other;
    size_ = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
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
