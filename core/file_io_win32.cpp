// The Windows side of files::save (core/file_io.h). The new content goes
// to a temporary beside the file, reaches the disk, and is moved over the old
// file in one step, so that a failure leaves the old file as it was. There
// are no hard links, FIFOs, owners or modes to keep here; a read-only file or
// one another program holds open is refused, untouched.
#include "core/file_io.h"

#include "core/error.h"
#include "core/platform_win32.h"

#include <cerrno>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace potencor::files {
namespace {

using platform::win32::errnoOf;
using platform::win32::widen;

// The folder part of a name, separator included; empty for the current one.
std::wstring folderOf(const std::wstring& path)
{
    const std::size_t end = path.find_last_of(L"\\/:");
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}

class Saving {
public:
    Saving(const std::string& path, std::string_view bytes, const std::string& shown)
        : target_(widen(path)), bytes_(bytes), shown_(shown)
    {
    }

    void run()
    {
        const DWORD attributes = ::GetFileAttributesW(target_.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                cannotCreate(EISDIR);
            if (attributes & FILE_ATTRIBUTE_READONLY)
                cannotCreate(EACCES);
        }
        const HANDLE file = createTemporary();
        const bool written = writeAll(file) && ::FlushFileBuffers(file);
        if (!::CloseHandle(file) || !written) {
            ::DeleteFileW(temporary_.c_str());
            throw Error(msg::kStreamWrite);
        }
        if (!::MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = ::GetLastError();
            ::DeleteFileW(temporary_.c_str());
            cannotCreate(errnoOf(error));
        }
    }

private:
    [[noreturn]] void cannotCreate(int code) const { throw Error(msg::cannotCreateFile(shown_, errorText(code))); }

    // A name of this process that no other file has.
    HANDLE createTemporary()
    {
        const std::wstring stem =
            folderOf(target_) + L".potencor-save." + std::to_wstring(::GetCurrentProcessId()) + L".";
        for (unsigned attempt = 0;; ++attempt) {
            temporary_ = stem + std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(attempt) + L".tmp";
            const HANDLE h = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                return h;
            const DWORD error = ::GetLastError();
            if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100)
                cannotCreate(errnoOf(error));
        }
    }

    bool writeAll(HANDLE file) const
    {
        const char* data = bytes_.data();
        std::size_t size = bytes_.size();
        while (size > 0) {
            DWORD done = 0;
            const DWORD chunk = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
            if (!::WriteFile(file, data, chunk, &done, nullptr) || done == 0)
                return false;
            data += done;
            size -= done;
        }
        return true;
    }

    const std::wstring target_;
    const std::string_view bytes_;
    const std::string& shown_;
    std::wstring temporary_;
};

} // namespace

void save(const std::string& path, std::string_view bytes, const std::string& shown)
{
    Saving(path, bytes, shown).run();
}

} // namespace potencor::files
