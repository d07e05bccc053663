// The main window's saved position: the rules applied on open and on close.
#include <gtest/gtest.h>

#include "app/WindowPos.h"

TEST(WindowPos, OpenAndSaveRules) {
    for (const auto& c : {std::pair<int, int>{-40, 2}, {-1, 2}, {0, 0}, {700, 700}})
        EXPECT_EQ(c.second, RestoredWindowPos(c.first)) << c.first;
    const int cx = 1032, cy = 776; // the maximized screen
    const struct {
        int left, top;
        bool write;
        int x, y;
    } cases[] = {
        {100, 50, true, 100, 50}, {-20, 50, true, 0, 50},
        {100, -7, true, 100, 0},  {cx - 1, cy - 1, true, cx - 1, cy - 1},
        {cx, 10, false, cx, 10},  {10, cy, false, 10, cy},
    };
    for (const auto& c : cases) {
        SavedWindowPos pos = SaveWindowPos(c.left, c.top, cx, cy);
        EXPECT_EQ(c.write, pos.bWrite) << c.left << "," << c.top;
        EXPECT_EQ(c.x, pos.nX) << c.left << "," << c.top;
        EXPECT_EQ(c.y, pos.nY) << c.left << "," << c.top;
    }
}
