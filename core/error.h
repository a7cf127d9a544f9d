#pragma once
// The program's one error type. Messages are the English texts the error
// report shows; the report itself (caption, full stop) lives in the UI.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace potencor {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

namespace msg {
inline constexpr const char* kFloatDivByZero = "Floating point division by zero";
inline constexpr const char* kInvalidFloatOp = "Invalid floating point operation";
inline constexpr const char* kFloatOverflow = "Floating point overflow";
inline constexpr const char* kIntOverflow = "Integer overflow";
inline constexpr const char* kStreamWrite = "Stream write error";

std::string notAFloat(const std::string& text);    // "'%s' is not a valid floating point value"
std::string notAnInteger(const std::string& text); // "'%s' is not a valid integer value"
std::string cannotCreateFile(const std::string& path, const std::string& reason);
std::string cannotOpenClipboard(const std::string& reason);
std::string seriesDeleteOutOfBounds(std::int64_t index, std::int64_t last);
} // namespace msg

} // namespace potencor
