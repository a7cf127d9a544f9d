#pragma once
// The measurement session: the measured points, the counter and the point
// labels' switch, and the rules that keep them in step with the protocol's
// text. The window renders a session; the recovery journal and a protocol
// read back from a file rebuild one.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace potencor {

// A measured point: plane coordinates in cm and the number its protocol line
// carries (its position in the series, unless it came from a file).
struct MeasuredPoint {
    long double X1_cm;
    long double Y1_cm;
    std::int32_t number;
    bool operator==(const MeasuredPoint&) const = default;
};

// What shows a session: the protocol's text and the chart's measured points.
class SessionView {
public:
    virtual ~SessionView() = default;
    virtual void appendLine(std::string_view utf8Line) = 0;
    virtual void removeLastLine() = 0;
    virtual void appendPoint(const MeasuredPoint& point) = 0;
    virtual void removeLastPoint() = 0;
};

class Session {
public:
    struct Measurement {
        MeasuredPoint point;
        long double phi_V;
        std::string line; // without its line end
    };

    // Measures at (X1, Y1): the line numbered count() goes to the protocol,
    // then the point to the chart, then the counter grows (overflow-checked:
    // on overflow the line and the point stay, as any handler's done steps do).
    Measurement measure(SessionView& view, long double X1_cm, long double Y1_cm, char32_t decimalSeparator);

    // Takes back the last measured point with the protocol's last line,
    // whatever that line is now; the counter drops by one, never below 0.
    // False when there was no point.
    bool undo(SessionView& view);

    const std::vector<MeasuredPoint>& points() const { return points_; }
    std::int32_t count() const { return count_; }
    bool labelsVisible() const { return labelsVisible_; }
    void setLabelsVisible(bool visible) { labelsVisible_ = visible; }

    // A session put back as it was (recovery); the caller shows it.
    static Session restored(std::vector<MeasuredPoint> points, std::int32_t count, bool labelsVisible);

    // The session a protocol's text describes: every measurement line (either
    // decimal separator) is a point with its number, in file order; the
    // counter continues after the highest number. Other lines are only text.
    static Session fromProtocol(std::string_view utf8Text);

    bool operator==(const Session&) const = default;

private:
    std::vector<MeasuredPoint> points_;
    std::int32_t count_ = 0;
    bool labelsVisible_ = false;
};

} // namespace potencor
