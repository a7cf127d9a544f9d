#pragma once
// Shared by the core's Windows-side files (platform_win32.cpp,
// file_io_win32.cpp); built for Windows only.
#include <cstddef>
#include <string>
#include <string_view>

namespace potencor::platform::win32 {

// UTF-16 to UTF-8. Only ever given whole, checked text.
std::string narrow(const wchar_t* text, std::size_t length);

// UTF-8 to UTF-16; an invalid name becomes one that names nothing.
std::wstring widen(std::string_view utf8);

// The errno value glibc gives for the same failure as a Win32 error code, so
// that a report reads the same on both systems.
int errnoOf(unsigned long error);

} // namespace potencor::platform::win32
