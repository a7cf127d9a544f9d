#include "ui/placement.h"

#include <gtest/gtest.h>

namespace potencor::ui {
namespace {

// The main window's outer frame under openbox: 1246 x 775 client px plus a
// 1 px border and a 20 px title bar.
constexpr QSize kFrame(1248, 796);

struct Case {
    const char* name;
    QRect workArea;
    QSize frame;
    QPoint expected;
};

TEST(CentredOnWorkArea, Cases)
{
    const Case cases[] = {
        {"desktop 1600x1000", {0, 0, 1600, 1000}, kFrame, {176, 102}},
        {"panel on top", {0, 30, 1600, 970}, kFrame, {176, 117}},
        {"odd margin truncates", {0, 0, 1601, 1001}, kFrame, {176, 102}},
        {"monitor left of the primary", {-1280, 0, 1280, 1024}, kFrame, {-1264, 114}},
        {"exactly the work area", {0, 0, 1248, 796}, kFrame, {0, 0}},
        {"screen 1024x768: held at the corner", {0, 0, 1024, 768}, kFrame, {0, 0}},
        {"too wide only", {0, 0, 1024, 1000}, kFrame, {0, 102}},
        {"too tall only, panel on the left", {48, 0, 1552, 768}, kFrame, {200, 0}},
        {"scaled 1.75 on 1600x1000", {0, 0, 914, 571}, {1248, 796}, {0, 0}},
        {"offset work area, too large", {-1280, 24, 1024, 744}, kFrame, {-1280, 24}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(centredOnWorkArea(c.workArea, c.frame), c.expected) << c.name;
}

} // namespace
} // namespace potencor::ui
