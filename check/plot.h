#pragma once
// Drawing a protocol's points on the program's chart, offscreen (Qt).
#include "check/check.h"

#include <optional>
#include <string>

namespace potencor::check {

// Writes a PNG of the chart with the points in file order and their marks
// shown; returns why it failed, if it did. Starts Qt on first use, on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
std::optional<std::string> plotProtocol(const FileReport& report, const std::string& pngPath);

} // namespace potencor::check
