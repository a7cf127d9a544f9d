#include "core/error.h"
#include "core/fpcheck.h"

namespace potencor::msg {

std::string notAFloat(const std::string& text)
{
    return "'" + text + "' is not a valid floating point value";
}

std::string notAnInteger(const std::string& text)
{
    return "'" + text + "' is not a valid integer value";
}

std::string cannotCreateFile(const std::string& path, const std::string& reason)
{
    return "Cannot create file \"" + path + "\". " + reason;
}

std::string cannotOpenClipboard(const std::string& reason)
{
    return "Cannot open clipboard: " + reason;
}

std::string seriesDeleteOutOfBounds(std::int64_t index, std::int64_t last)
{
    return "Series Delete: ValueIndex " + std::to_string(index) + " out of bounds (0 to "
        + std::to_string(last) + ").";
}

} // namespace potencor::msg

namespace potencor::fp {

void raise(const char* message)
{
    throw Error(message);
}

void raiseNonFinite(long double v)
{
    raise(std::isnan(v) ? msg::kInvalidFloatOp : msg::kFloatOverflow);
}

} // namespace potencor::fp
