// The main window's position and check-box keys: the rules applied when the
// window opens and when it closes, apart from the settings file itself.
#pragma once

// Default of "PosX" and "PosY", and what a negative stored value becomes.
constexpr int kDefaultWindowPos = 2;

// A position read from the settings file: a negative value becomes 2.
int RestoredWindowPos(int nStored);

// What to save of the window's top-left corner when it closes.
struct SavedWindowPos {
    bool bWrite; // false: keep the previous "PosX"/"PosY" in the file
    int nX;
    int nY;
};

// A negative edge is saved as 0 (a window dragged partly off the screen, or
// a minimised one); the position is saved only when the clamped corner lies
// inside the maximized-screen size (cxMaximized by cyMaximized).
SavedWindowPos SaveWindowPos(int nLeft, int nTop, int cxMaximized, int cyMaximized);

// The text saved for a check box: "1" when checked, else "0".
const wchar_t* CheckKeyText(bool bChecked);
