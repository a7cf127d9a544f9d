#include "core/session.h"

#include "core/field.h"
#include "core/fpcheck.h"
#include "core/protocol.h"
#include "core/protocol_parse.h"
#include "core/spare_capacity.h"

#include <limits>

namespace potencor {

Session::Change Session::measure(long double X1_cm, long double Y1_cm, char32_t decimalSeparator)
{
    Change c;
    c.kind = Change::Kind::Measured;
    c.point = {X1_cm, Y1_cm, count_};
    c.phi_V = field::potential(X1_cm, Y1_cm);
    c.line = protocol::line(count_, X1_cm, Y1_cm, c.phi_V, decimalSeparator);
    points_.push_back(c.point);
    c.countOverflow = count_ == std::numeric_limits<std::int32_t>::max();
    if (!c.countOverflow)
        ++count_;
    c.count = count_;
    return c;
}

void Session::Change::raiseDeferred() const
{
    if (countOverflow)
        fp::raise(msg::kIntOverflow);
}

Session::Change Session::undo()
{
    Change c;
    if (!points_.empty()) {
        c.kind = Change::Kind::Undone;
        c.point = points_.back();
        points_.pop_back();
        releaseSpareCapacity(points_);
        count_ = fp::subChecked(count_, 1);
    }
    if (count_ < 0)
        count_ = 0;
    c.count = count_;
    return c;
}

NumberStep numberStep(std::optional<std::int32_t> previous, std::int32_t number)
{
    if (number < 0)
        return NumberStep::Negative;
    if (!previous)
        return number == 0 ? NumberStep::Next : NumberStep::FirstNotZero;
    if (number > std::int64_t{*previous} + 1)
        return NumberStep::Gap;
    return number <= *previous ? NumberStep::Reused : NumberStep::Next;
}

Session Session::restored(std::vector<MeasuredPoint> points, std::int32_t count, bool labelsVisible)
{
    Session s;
    s.points_ = std::move(points);
    s.count_ = count;
    s.labelsVisible_ = labelsVisible;
    return s;
}

Session Session::fromProtocol(std::string_view utf8Text)
{
    Session s;
    // Room for every line at once: grown by doubling, the points of a long
    // protocol would be copied over and over and held twice meanwhile.
    std::size_t lines = 0;
    protocol::forEachLine(utf8Text, [&](std::string_view) { ++lines; });
    s.points_.reserve(lines);
    std::int32_t highest = -1;
    protocol::forEachLine(utf8Text, [&](std::string_view text) {
        const auto line = protocol::parseLine(text);
        // The program never numbers a line below 0.
        if (!line || line->number < 0)
            return;
        s.points_.push_back({line->X1_cm, line->Y1_cm, line->number});
        if (line->number > highest)
            highest = line->number;
    });
    // A text that is mostly not measurements gives back what it did not use.
    releaseSpareCapacity(s.points_);
    // A hand-made number at the very top leaves the counter there: the next
    // measurement then reports the overflow, as it would have in the program.
    s.count_ = highest == std::numeric_limits<std::int32_t>::max() ? highest : highest + 1;
    return s;
}

} // namespace potencor
