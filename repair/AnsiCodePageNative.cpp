// Without the platform's code-page service the system ANSI code page is
// taken to be Windows-1251.
#include "repair/AnsiCodePage.h"

int32_t AnsiCodePageToUtf16(const char* psz, uint16_t* pDest, int32_t cchDest) {
    return Cp1251ToUtf16(psz, pDest, cchDest);
}
