// SPDX-License-Identifier: GPL-3.0-or-later
// Document windows in the client area: whatever their number, each lies wholly inside the area
// at a usable size, and tiles do not overlap while there is room for all of them side by side.
#include "app/window_arrangement.h"

#include <gtest/gtest.h>

namespace ktx {
namespace {

struct AreaCase {
    QSize area;
    int count;
    QSize usable;
    friend void PrintTo(const AreaCase& c, std::ostream* os) {
        *os << c.count << " in " << c.area.width() << "x" << c.area.height() << ", usable "
            << c.usable.width() << "x" << c.usable.height();
    }
};

class Arrangement : public ::testing::TestWithParam<AreaCase> {
  protected:
    // Each inside the area, at least usable; and, where the area has room for it, no window on
    // another's top left corner, where its title is.
    void ExpectUsableInside(const std::vector<QRect>& rects, bool titlesInView = true) {
        const AreaCase& c = GetParam();
        const QRect area(QPoint(0, 0), c.area);
        const QSize least = c.usable.boundedTo(c.area);
        for (const QRect& r : rects) {
            EXPECT_TRUE(area.contains(r))
                << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
            EXPECT_GE(r.width(), least.width());
            EXPECT_GE(r.height(), least.height());
        }
        if (!titlesInView || c.area.width() < c.usable.width() ||
            c.area.height() < c.usable.height()) {
            return;
        }
        for (std::size_t i = 0; i < rects.size(); ++i) {
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                EXPECT_NE(rects[i].topLeft(), rects[j].topLeft()) << i << " and " << j;
            }
        }
    }
};

INSTANTIATE_TEST_SUITE_P(
    Areas, Arrangement,
    ::testing::Values(AreaCase{{1400, 790}, 1, {490, 240}}, AreaCase{{1400, 790}, 3, {490, 240}},
                      AreaCase{{1400, 790}, 5, {320, 240}}, AreaCase{{1400, 790}, 14, {490, 240}},
                      AreaCase{{1400, 790}, 14, {320, 240}}, AreaCase{{1400, 790}, 40, {320, 240}},
                      AreaCase{{700, 619}, 14, {490, 240}}, AreaCase{{300, 200}, 4, {490, 240}}));

TEST_P(Arrangement, TilesFitTheArea) {
    const AreaCase& c = GetParam();
    const auto rects = TileRects(c.area, c.count, c.usable);
    ASSERT_EQ(rects.size(), static_cast<std::size_t>(c.count));
    ExpectUsableInside(rects);
    // Side by side without overlap wherever usable cells for all of them fit.
    const QSize least = c.usable.boundedTo(c.area);
    if ((c.area.width() / least.width()) * (c.area.height() / least.height()) >= c.count) {
        for (std::size_t i = 0; i < rects.size(); ++i) {
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                EXPECT_FALSE(rects[i].intersects(rects[j])) << i << " and " << j;
            }
        }
    }
}

TEST_P(Arrangement, CascadeAndNewDocumentsFitTheArea) {
    const AreaCase& c = GetParam();
    const auto rects = CascadeRects(c.area, c.count, c.usable, 25);
    ASSERT_EQ(rects.size(), static_cast<std::size_t>(c.count));
    ExpectUsableInside(rects, c.count <= 5);  // a longer stack may start again at the top left
    std::vector<QRect> opened;
    for (int i = 0; i < std::min(c.count, 5); ++i) {
        opened.push_back(NewDocumentRect(c.area, i, c.usable, 25));
    }
    ExpectUsableInside(opened);
}

TEST(Arrangement, ThreeTilesShareTheAreaAndACascadeSteps) {
    const auto tiles = TileRects({1400, 790}, 3, {490, 240});
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0], QRect(0, 0, 700, 395));
    EXPECT_EQ(tiles[1], QRect(700, 0, 700, 395));
    EXPECT_EQ(tiles[2], QRect(0, 395, 1400, 395));
    const auto stack = CascadeRects({1400, 790}, 3, {490, 240}, 25);
    EXPECT_EQ(stack[0], QRect(0, 0, 1050, 593));
    EXPECT_EQ(stack[2], QRect(50, 50, 1050, 593));
}

}  // namespace
}  // namespace ktx
