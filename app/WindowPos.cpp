// Position and check-box rules of the main window's saved keys.
#include "app/WindowPos.h"

int RestoredWindowPos(int nStored) {
    return nStored < 0 ? kDefaultWindowPos : nStored;
}

SavedWindowPos SaveWindowPos(int nLeft, int nTop, int cxMaximized, int cyMaximized) {
    SavedWindowPos pos{};
    pos.nX = nLeft < 0 ? 0 : nLeft;
    pos.nY = nTop < 0 ? 0 : nTop;
    pos.bWrite = pos.nY < cyMaximized && pos.nX < cxMaximized;
    return pos;
}

const wchar_t* CheckKeyText(bool bChecked) {
    return bChecked ? L"1" : L"0";
}
