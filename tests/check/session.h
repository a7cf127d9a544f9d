#pragma once
// A student at the program, click by click: the calibration's own conversion
// and a real Session, which numbers the lines and says whether an undo had a
// point to take. Protocols made here are ones the program can write.
#include "core/calibration.h"
#include "core/protocol.h"
#include "core/session.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace potencor::test {

struct Student {
    char32_t separator = U'.';
    calibration::Calibration cal = calibration::defaults();
    Session session;
    std::vector<std::string> lines; // the protocol, as the window shows it

    // A click at the cursor's distance (logical px) from the window's outer
    // corner.
    void clickPx(long double dxPx, long double dyPx, bool snap = false)
    {
        const calibration::PlaneCm p = calibration::convert(cal, dxPx, dyPx, snap);
        const Session::Change c = session.measure(p.X1, p.Y1, separator);
        lines.push_back(c.line);
        c.raiseDeferred();
    }

    // A click on the whole pixel nearest to (x, y) cm.
    void click(long double x_cm, long double y_cm, bool snap = false)
    {
        clickPx(std::round(calibration::toDxPx(cal, x_cm)), std::round(calibration::toDyPx(cal, y_cm)), snap);
    }

    void type(std::string_view line) { lines.emplace_back(line); }

    // The window's Undo: the protocol's last line goes, whatever it is, but
    // only when the session had a point to take back.
    void undo()
    {
        if (session.undo().kind != Session::Change::Kind::None && !lines.empty())
            lines.pop_back();
    }

    std::size_t points() const { return session.points().size(); }

    std::string text() const
    {
        std::string t;
        for (const std::string& line : lines) {
            t += line;
            t += protocol::kLineEnd;
        }
        return t;
    }
};

} // namespace potencor::test
