// The system ANSI code page to UTF-16 through the platform's code-page
// service; the code page is asked for on every call.
#include "repair/AnsiCodePage.h"

#include <windows.h>

static_assert(sizeof(WCHAR) == sizeof(uint16_t), "UTF-16 units");

int32_t AnsiCodePageToUtf16(const char* psz, uint16_t* pDest, int32_t cchDest) {
    return MultiByteToWideChar(GetACP(), 0, psz, -1, reinterpret_cast<LPWSTR>(pDest), cchDest);
}
