#pragma once
// Drawing a protocol's points on the program's chart, offscreen (Qt Gui,
// no widgets).
#include "check/check.h"
#include "check/equipotentials.h"

#include <memory>
#include <optional>
#include <string>

class QGuiApplication;

namespace potencor::check {

// Starts Qt on the first plot, on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise, and ends it with itself.
class ChartPlotter {
public:
    ChartPlotter();
    ~ChartPlotter();
    ChartPlotter(const ChartPlotter&) = delete;
    ChartPlotter& operator=(const ChartPlotter&) = delete;

    // Writes a PNG of the chart with the points in file order, each marked
    // with its line's number, over the lines given; returns why it failed,
    // if it did.
    std::optional<std::string> operator()(const FileReport& report, const std::string& pngPath,
                                          const std::vector<Equipotential>& lines);

private:
    std::unique_ptr<QGuiApplication> app_;
};

} // namespace potencor::check
