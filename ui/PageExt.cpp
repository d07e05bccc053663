// The page-extension test: see PageExt.h.
#include "ui/PageExt.h"

#include <cstring>

bool IsPageExtension(const char* pszExt) {
    return strstr(pszExt, "htm") != nullptr || strstr(pszExt, "HTM") != nullptr;
}
