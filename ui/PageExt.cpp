// The page-extension test: see PageExt.h.
#include "ui/PageExt.h"

#include <cstring>
#include <cwchar>

namespace {

// ".mhtml" in any letter case: a whole page in one file, with no folder.
template <class Char>
bool IsWebArchive(const Char* pszExt) {
    static const char kExt[] = ".mhtml";
    for (size_t i = 0; i < sizeof kExt; ++i) {
        Char c = pszExt[i];
        if (c >= 'A' && c <= 'Z')
            c = Char(c - 'A' + 'a');
        if (c != Char(static_cast<unsigned char>(kExt[i])))
            return false;
    }
    return true;
}

} // namespace

bool IsPageExtension(const wchar_t* pszExt) {
    return (wcsstr(pszExt, L"htm") != nullptr || wcsstr(pszExt, L"HTM") != nullptr) &&
           !IsWebArchive(pszExt);
}

bool IsPageExtension(const char* pszExt) {
    return (strstr(pszExt, "htm") != nullptr || strstr(pszExt, "HTM") != nullptr) &&
           !IsWebArchive(pszExt);
}

bool IsWebArchiveExtension(const char* pszExt) {
    return IsWebArchive(pszExt);
}
