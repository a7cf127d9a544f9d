#pragma once
// What differs between POSIX systems and Windows, in one place:
// platform_posix.cpp or platform_win32.cpp, chosen by CMake. This side of it
// speaks UTF-8 everywhere; paths, arguments and the console are converted at
// the boundary. No Qt.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace potencor::platform {

// ---- Numbers ----

// strtold in the "C" locale, whatever locale the process has set (a GUI
// toolkit sets the user's). Correctly rounded to the 80-bit type on both.
long double strtoldC(const char* text);

// ---- Text ----

// The encodings the system's converters handle for text_decode: iconv, or
// the Win32 code-page functions.
enum class Charset { Windows1251, Utf16LE, Utf16BE };

struct Converted {
    std::string utf8;
    bool ok = true;
    std::size_t errorOffset = 0; // !ok: the first byte that could not be converted
};

// An unassigned byte (0x98 in Windows-1251), an unpaired surrogate or an
// input that ends inside a character is an error; utf8 then holds what came
// before it.
Converted toUtf8(Charset, std::string_view bytes);

// ---- Files ----

// A file opened for reading by its UTF-8 name; closed when it goes.
class InputFile {
public:
    enum class Type { Regular, Directory, Pipe, Other }; // Pipe: a FIFO or a socket

    // Check isOpen(); error() says why it is not (an errno value). Opening
    // never waits: a pipe or a directory is named by type() and left unopened
    // (opening a FIFO would wait for a writer, or wake one that waits for a
    // reader), and a read that would wait fails with EAGAIN. With regularOnly,
    // the name is taken only for a regular file reached through no symbolic
    // link: a link is ELOOP, anything else that is not a regular file ENOTSUP.
    explicit InputFile(const std::string& utf8Path, bool regularOnly = false);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool isOpen() const { return handle_ != kClosed; }
    int error() const { return error_; }
    Type type() const { return type_; }
    std::uint64_t size() const { return size_; } // a regular file's, when opened

    // Bytes read into buf, 0 at the end, -1 on a failure (error() says why).
    std::int64_t read(char* buf, std::size_t n);

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed; // a descriptor, or a Windows HANDLE
    int error_ = 0;
    Type type_ = Type::Other;
    std::uint64_t size_ = 0;
};

// UTF-8 names to paths and back; the way back writes '/' between the parts
// on every system, so that a report reads the same everywhere.
inline std::filesystem::path pathOf(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& path)
{
    const std::u8string s = path.generic_u8string();
    return std::string(s.begin(), s.end());
}

// ---- The process ----

// Memory the program has freed goes back to the system; the allocator keeps
// it otherwise, and a long session that shrank would stay at its largest.
// It walks the allocator's free lists: for after freeing much, not for every
// free.
void returnFreeMemory();

// The command line in UTF-8 (on Windows from the wide one: main's argv
// there holds the ANSI code page's approximation).
std::vector<std::string> arguments(int argc, char** argv);

// Standard output for a command-line program's run: the bytes as written,
// UTF-8 (Windows' console needs telling, and its C library would turn LF into
// CR LF), and whether it is a terminal that shows ANSI colours (a
// Windows console where they can be switched on). The console gets back its
// settings, after a last flush, when this goes.
class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool colour() const { return colour_; }

private:
    bool colour_ = false;
#ifdef _WIN32
    unsigned codePage_ = 0; // the console's own, to restore
    unsigned long mode_ = 0;
    bool restore_ = false;
#endif
};

} // namespace potencor::platform
