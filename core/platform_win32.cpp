// The Windows side of core/platform.h: the Win32 code-page functions, wide
// file names, the wide command line and the console's own settings.
#include "core/platform.h"
#include "core/platform_win32.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

namespace potencor::platform {

long double strtoldC(const char* text)
{
    // MinGW-w64's own strtold (gdtoa): correctly rounded to the x87 type. Its
    // decimal point is the C locale's while the program keeps that locale, as
    // everything built for Windows does (the checker's CSV looks at the
    // user's locale and puts the C one back).
    return __mingw_strtold(text, nullptr);
}

namespace win32 {

std::string narrow(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    const int n = static_cast<int>(length);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, n, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int n = static_cast<int>(utf8.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
    if (size <= 0)
        return L"\uFFFD";
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, out.data(), size);
    return out;
}

int errnoOf(unsigned long error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

} // namespace win32

using win32::errnoOf;
using win32::narrow;
using win32::widen;

namespace {

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The first code unit that is half of a pair without the other half.
std::size_t firstUnpaired(const std::wstring& units)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (isHighSurrogate(units[i]) && i + 1 < units.size() && isLowSurrogate(units[i + 1]))
            ++i;
        else if (isHighSurrogate(units[i]) || isLowSurrogate(units[i]))
            return i;
    }
    return units.size();
}

} // namespace

Converted toUtf8(Charset charset, std::string_view bytes)
{
    Converted d;
    std::wstring units;
    if (charset == Charset::Windows1251) {
        if (!bytes.empty()) {
            const int n = static_cast<int>(bytes.size());
            units.resize(bytes.size()); // one unit a byte in a single-byte code page
            const int got = ::MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, bytes.data(), n, units.data(), n);
            units.resize(static_cast<std::size_t>(got > 0 ? got : 0));
        }
        // Windows passes the code page's unassigned byte through as the C1
        // control of the same value; iconv refuses it, and so does this.
        std::size_t bad = 0;
        while (bad < units.size() && !(units[bad] >= 0x80 && units[bad] <= 0x9F))
            ++bad;
        if (bad < units.size() || units.size() != bytes.size()) {
            d.ok = false;
            d.errorOffset = bad;
            units.resize(bad);
        }
    } else {
        const bool bigEndian = charset == Charset::Utf16BE;
        units.resize(bytes.size() / 2);
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto first = static_cast<unsigned char>(bytes[2 * i]);
            const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
            units[i] = static_cast<wchar_t>(bigEndian ? first << 8 | second : second << 8 | first);
        }
        const std::size_t bad = firstUnpaired(units);
        if (bad < units.size()) {
            d.ok = false;
            d.errorOffset = 2 * bad;
            units.resize(bad);
        } else if (bytes.size() % 2 != 0) {
            d.ok = false;
            d.errorOffset = bytes.size() - 1;
        }
    }
    d.utf8 = narrow(units.data(), units.size());
    return d;
}

InputFile::InputFile(const std::string& utf8Path, bool regularOnly)
{
    // Backup semantics: a directory opens too, and is then told apart. A
    // reparse point (a link) is opened itself when only a file will do.
    const HANDLE h = ::CreateFileW(widen(utf8Path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | (regularOnly ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = errnoOf(::GetLastError());
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    const auto refuse = [&](int error) {
        error_ = error;
        ::CloseHandle(h);
        handle_ = kClosed;
    };
    const DWORD kind = ::GetFileType(h);
    if (kind == FILE_TYPE_PIPE && !regularOnly) {
        refuse(0); // as elsewhere: its reading could wait for ever
        type_ = Type::Pipe;
        return;
    }
    if (kind != FILE_TYPE_DISK) {
        if (regularOnly)
            refuse(ENOTSUP);
        return; // a device
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        refuse(errnoOf(::GetLastError()));
        return;
    }
    if (regularOnly && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        refuse(ELOOP);
        return;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        refuse(regularOnly ? ENOTSUP : 0);
        if (!regularOnly)
            type_ = Type::Directory;
        return;
    }
    type_ = Type::Regular;
    size_ = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}

InputFile::~InputFile()
{
    if (isOpen())
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::int64_t InputFile::read(char* buf, std::size_t n)
{
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(n < (1u << 30) ? n : (1u << 30));
    if (::ReadFile(reinterpret_cast<HANDLE>(handle_), buf, want, &got, nullptr))
        return got;
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
        return 0; // the writer is gone: the end
    error_ = errnoOf(error);
    return -1;
}

// Windows' heap decommits what is freed in large pieces by itself.
void returnFreeMemory() {}

std::vector<std::string> arguments(int, char**)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; argv && i < argc; ++i)
        args.push_back(narrow(argv[i], std::wcslen(argv[i])));
    ::LocalFree(argv);
    return args;
}

Console::Console()
{
    // The same bytes as on Linux: a CSV's own CR LF must not become CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(out, &mode))
        return; // a file or a pipe: UTF-8 bytes go out as they are
    codePage_ = ::GetConsoleOutputCP();
    mode_ = mode;
    restore_ = true;
    ::SetConsoleOutputCP(CP_UTF8);
    colour_ = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
              || ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

Console::~Console()
{
    if (!restore_)
        return;
    // The console is the shell's: what was written goes out in UTF-8 first.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::SetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), static_cast<DWORD>(mode_));
    ::SetConsoleOutputCP(codePage_);
}

} // namespace potencor::platform
