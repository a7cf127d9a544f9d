// Reading, the one way on every system: the file itself is opened and read
// through core/platform.h.
#include "core/file_io.h"

#include "core/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace potencor::files {

std::string errorText(int code)
{
    std::string s = std::strerror(code);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

ReadResult readBounded(const std::string& path, std::uint64_t maxBytes, Accept accept)
{
    ReadResult r;
    const auto fail = [&](ReadResult::Status status, int error = 0) {
        r.status = status;
        r.error = error;
        r.bytes.clear();
        return std::move(r);
    };
    platform::InputFile file(path, accept == Accept::RegularFile);
    if (file.type() == platform::InputFile::Type::Directory)
        return fail(ReadResult::Status::Directory);
    if (file.type() == platform::InputFile::Type::Pipe)
        return fail(ReadResult::Status::NotAFile);
    if (!file.isOpen())
        return fail(ReadResult::Status::CannotOpen, file.error());
    const bool regular = file.type() == platform::InputFile::Type::Regular;
    if (regular && file.size() > maxBytes) {
        r.size = file.size();
        return fail(ReadResult::Status::TooLarge);
    }

    const std::uint64_t cap = maxBytes + 1;
    std::string& bytes = r.bytes;
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(regular ? file.size() + 1 : 1 << 16, cap)));
    std::size_t len = 0;
    for (;;) {
        if (len == bytes.size()) {
            if (len >= cap)
                return fail(ReadResult::Status::TooLarge);
            bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(2 * len, cap)));
        }
        const std::int64_t n = file.read(bytes.data() + len, bytes.size() - len);
        if (n < 0)
            return fail(file.error() == EAGAIN || file.error() == EWOULDBLOCK ? ReadResult::Status::WouldWait
                                                                              : ReadResult::Status::ReadFailed,
                        file.error());
        if (n == 0)
            break;
        len += static_cast<std::size_t>(n);
    }
    bytes.resize(len);
    return r;
}

} // namespace potencor::files
