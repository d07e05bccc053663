// The page-extension test: see PageExt.h.
#include "ui/PageExt.h"

#include <cstring>
#include <cwchar>

bool IsPageExtension(const wchar_t* pszExt) {
    return wcsstr(pszExt, L"htm") != nullptr || wcsstr(pszExt, L"HTM") != nullptr;
}

bool IsPageExtension(const char* pszExt) {
    return strstr(pszExt, "htm") != nullptr || strstr(pszExt, "HTM") != nullptr;
}
