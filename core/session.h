#pragma once
// The measurement session: the measured points, the counter and the point
// labels' switch, and the rules that keep them in step with the protocol's
// text. Each step returns what it changed, for the one owner of the work to
// apply to the protocol, the journal and the views; the recovery journal and
// a protocol read back from a file rebuild a session.
#include <cstdint>
#include <optional>
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

class Session {
public:
    // What one step of the student's changed: whoever shows or keeps the
    // session applies it, in this order, and nothing else.
    struct Change {
        enum class Kind {
            None,     // nothing changed (an undo with no point)
            Measured, // `line` goes to the protocol's end, then `point` to the chart
            Undone,   // `point` leaves the chart, then the protocol's last line goes, whatever it is now
        };
        Kind kind = Kind::None;
        MeasuredPoint point{};
        long double phi_V = 0; // Measured
        std::string line;      // Measured: without its line end
        std::int32_t count = 0; // the counter afterwards
        // The counter could not grow (it was at its top): the line and the
        // point are taken all the same, as any handler's done steps stay,
        // and whoever applies the change reports the overflow afterwards.
        bool countOverflow = false;
        // Reports the overflow held back above ("Integer overflow").
        void raiseDeferred() const;
    };

    // Measures at (X1, Y1): the line numbered count(), its point, and the
    // counter one higher.
    Change measure(long double X1_cm, long double Y1_cm, char32_t decimalSeparator);

    // Takes back the last measured point; the counter drops by one, never
    // below 0. Kind None when there was no point.
    Change undo();

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

// How the number on a protocol line follows the number on the line before it
// that carries one, given what measure() and undo() write: the first
// measurement is 0 and each next one a count higher. An undo takes the last
// point and the protocol's last line, so with only measurement lines in the
// way the count stays one past the last line. Had the student typed lines at
// the end, the undo takes those instead while the points and the count still
// drop, under measurement lines that stay: the next number then comes again,
// or lower, down to 0. The counter stops at its top, so that number can repeat
// too. Measuring and undoing make nothing else.
enum class NumberStep {
    Next,        // one higher, or 0 on the first line
    Reused,      // the same or lower: lines typed at the end were undone
    Gap,         // more than one higher: never written
    Negative,    // never written
    FirstNotZero // the first line not 0: never written
};
NumberStep numberStep(std::optional<std::int32_t> previous, std::int32_t number);

} // namespace potencor
