// Point labels in a crowd: the placer and the cover that lets the painting
// skip hidden labels work on bit strings for speed; here they are checked
// against the plain rules, pixel by pixel and label by label.
#include "chart/cover.h"
#include "chart/marks.h"

#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace potencor::ui {
namespace {

// The placing rule of marks.h, by trying every row: the nearest free place
// up to 8 heights above (not above the band's top unless wanted there),
// else below (not below the band's bottom unless wanted there), else where
// wanted and not kept clear of.
class PlainPlacer {
public:
    explicit PlainPlacer(const QRect& band) : band_(band) {}

    int place(const QRect& wanted)
    {
        QRect where = wanted;
        bool kept = true;
        if (taken(wanted)) {
            const int reach = 8 * wanted.height();
            const int lo = std::max(std::min(band_.top(), wanted.top()), wanted.top() - reach);
            const int hi = std::min(std::max(band_.bottom(), wanted.bottom()), wanted.bottom() + reach);
            kept = false;
            const auto tryAt = [&](int top) {
                kept = !taken(wanted.translated(0, top - wanted.top()));
                if (kept)
                    where.moveTop(top);
            };
            for (int top = wanted.top() - 1; !kept && top >= lo; --top)
                tryAt(top);
            for (int top = wanted.top() + 1; !kept && top + wanted.height() - 1 <= hi; ++top)
                tryAt(top);
        }
        placed_.push_back({where, kept});
        return where.top() - wanted.top();
    }
    void removeLast() { placed_.pop_back(); }
    const QRect& extent(int i) const { return placed_[static_cast<std::size_t>(i)].extent; }

private:
    bool taken(const QRect& r) const
    {
        return std::any_of(placed_.begin(), placed_.end(),
                           [&](const Placed& p) { return p.kept && p.extent.intersects(r); });
    }
    struct Placed {
        QRect extent;
        bool kept;
    };
    QRect band_;
    std::vector<Placed> placed_;
};

TEST(CrowdTest, PlacerFollowsThePlainRule)
{
    // A small control, so that it fills up; some labels far outside it, and
    // some across the edge of what its bits cover (64 px round it).
    const QRect area(0, 0, 160, 120);
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> x(-90, 240), y(-90, 200), w(6, 40), h(4, 14), op(0, 9);
        MarkPlacer placer(area);
        PlainPlacer plain(area);
        for (int step = 0; step < 600; ++step) {
            if (op(rng) == 0 && placer.count() > 0) {
                placer.removeLast();
                plain.removeLast();
                continue;
            }
            QRect wanted(x(rng), y(rng), w(rng), h(rng));
            if (step % 50 == 0)
                wanted.moveLeft(-5000); // a point off the chart
            const QPoint anchor(wanted.center().x(), wanted.bottom() + 8);
            ASSERT_EQ(placer.place(wanted, anchor), plain.place(wanted)) << "step " << step;
            const int last = placer.count() - 1;
            ASSERT_EQ(placer.extent(last), plain.extent(last));
            ASSERT_EQ(placer.footprint(last), placer.extent(last) | QRect(anchor, QSize(1, 1)));
        }
        placer.clear();
        EXPECT_EQ(placer.count(), 0);
        EXPECT_EQ(placer.place(QRect(10, 10, 20, 10), {20, 28}), 0) << "cleared, yet not free";
    }
}

// Per pixel: which are covered.
struct PlainCover {
    QRect area;
    std::vector<bool> covered;
    explicit PlainCover(const QRect& a) : area(a), covered(static_cast<std::size_t>(a.width() * a.height())) {}
    bool at(int x, int y) const { return covered[static_cast<std::size_t>((y - area.top()) * area.width() + x - area.left())]; }
};

TEST(CrowdTest, CoverKnowsEveryPixel)
{
    // Not aligned to words, wider than one, with negative coordinates.
    const QRect area(-37, -5, 150, 40);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(-60, 130), y(-15, 40), w(1, 90), h(1, 12);
    OpaqueCover cover(area);
    PlainCover plain(area);
    for (int step = 0; step < 300; ++step) {
        // A sprite's opaque rows: of varying runs, some empty.
        const QPoint origin(x(rng), y(rng));
        std::vector<std::pair<int, int>> rows(static_cast<std::size_t>(h(rng)));
        for (auto& [first, last] : rows) {
            first = std::uniform_int_distribution<int>(0, 10)(rng);
            last = first + std::uniform_int_distribution<int>(-2, 80)(rng);
        }
        cover.add(origin, rows);
        for (int i = 0; i < static_cast<int>(rows.size()); ++i)
            for (int px = origin.x() + rows[i].first; px <= origin.x() + rows[i].second; ++px)
                if (area.contains(px, origin.y() + i))
                    plain.covered[static_cast<std::size_t>((origin.y() + i - area.top()) * area.width() + px - area.left())] = true;

        const QRect r(x(rng), y(rng), w(rng), h(rng));
        const QRect inner = r.adjusted(std::min(3, r.width() - 1), std::min(2, r.height() - 1), 0, 0);
        QRect expected;
        int innerLeft = inner.right() + 1;
        int innerRight = inner.left() - 1;
        for (int py = r.top(); py <= r.bottom(); ++py)
            for (int px = r.left(); px <= r.right(); ++px)
                if (area.contains(px, py) && !plain.at(px, py)) {
                    expected |= QRect(px, py, 1, 1);
                    if (inner.contains(px, py)) {
                        innerLeft = std::min(innerLeft, px);
                        innerRight = std::max(innerRight, px);
                    }
                }
        int left = 0;
        int right = 0;
        ASSERT_EQ(cover.uncovered(r, inner, left, right), expected) << "step " << step;
        ASSERT_EQ(cover.covers(r), expected.isEmpty()) << "step " << step;
        if (innerLeft <= innerRight) {
            ASSERT_EQ(left, innerLeft) << "step " << step;
            ASSERT_EQ(right, innerRight) << "step " << step;
        } else {
            ASSERT_GT(left, right) << "step " << step;
        }
    }
}

} // namespace
} // namespace potencor::ui
