// The main window's saved position: the rules applied on open and on close.
#include <gtest/gtest.h>

#include "app/WindowPos.h"

TEST(WindowPos, NegativeStoredPositionOpensAtTwo) {
    const int cases[][2] = {{-40, 2}, {-1, 2}, {0, 0}, {2, 2}, {700, 700}};
    for (const auto& c : cases)
        EXPECT_EQ(c[1], RestoredWindowPos(c[0])) << c[0];
}

TEST(WindowPos, SavedClampedAtZeroAndOnlyInsideTheMaximizedScreen) {
    const int cx = 1032, cy = 776; // SM_CXMAXIMIZED, SM_CYMAXIMIZED
    struct {
        int left, top;
        bool write;
        int x, y;
    } const cases[] = {
        {100, 50, true, 100, 50},
        {-20, 50, true, 0, 50},       // dragged off the left edge
        {100, -7, true, 100, 0},      // dragged off the top edge
        {-32000, -32000, true, 0, 0}, // minimised
        {cx - 1, cy - 1, true, cx - 1, cy - 1},
        {cx, 10, false, cx, 10},
        {10, cy, false, 10, cy},
        {5000, -5, false, 5000, 0},
    };
    for (const auto& c : cases) {
        SavedWindowPos pos = SaveWindowPos(c.left, c.top, cx, cy);
        EXPECT_EQ(c.write, pos.bWrite) << c.left << "," << c.top;
        EXPECT_EQ(c.x, pos.nX) << c.left << "," << c.top;
        EXPECT_EQ(c.y, pos.nY) << c.left << "," << c.top;
    }
}
