#pragma once
// What the program does to its protocol, click by click: the measurement
// core's own conversion, potential and line, appended and undone the way the
// main window does. Protocols made here are ones the program can write.
#include "core/calibration.h"
#include "core/field.h"
#include "core/protocol.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace potencor::test {

struct Session {
    char32_t separator = U'.';
    calibration::Calibration cal = calibration::defaults();
    std::string text;
    std::int32_t count = 0;
    int points = 0;

    // A click at the cursor's distance (px) from the window's outer corner.
    void clickPx(std::int32_t dx, std::int32_t dy, bool snap = false)
    {
        const calibration::PlaneCm p = calibration::convert(cal, dx, dy, 0, 0, snap);
        type(protocol::line(count, p.X1, p.Y1, field::potential(p.X1, p.Y1), separator));
        ++count;
        ++points;
    }

    // A click on the whole pixel nearest to (x, y) cm.
    void click(long double x_cm, long double y_cm, bool snap = false)
    {
        clickPx(static_cast<std::int32_t>(std::lround(x_cm * cal.Nx / calibration::kSpanXcm - cal.mstartX)),
                static_cast<std::int32_t>(std::lround(calibration::kChartHeightPx - cal.mstartY
                                                      - y_cm * cal.Ny / calibration::kSpanYcm)),
                snap);
    }

    void type(std::string_view line)
    {
        if (!text.empty() && !text.ends_with("\r\n"))
            text += "\r\n";
        text += line;
        text += "\r\n";
    }

    void undo()
    {
        if (points > 0) {
            --points;
            const std::size_t end = text.size() - (text.ends_with("\r\n") ? 2 : 0);
            const std::size_t brk = text.rfind("\r\n", end == 0 ? 0 : end - 1);
            text.resize(brk == std::string::npos || brk >= end ? 0 : brk + 2);
            --count;
        }
        if (count < 0)
            count = 0;
    }
};

} // namespace potencor::test
