// Fills the archiver's command-line template without handing it to printf:
// the template is user text from the settings file.
#include "worker/CmdTemplate.h"

#include "repair/FolderSuffix.h"

#include <cstring>

#include "ui/PathText.h"

namespace {

// Appends n units of src at pszOut[*pos]; false when they and a terminating
// NUL would not fit in cchOut units.
bool Append(wchar_t* pszOut, size_t cchOut, size_t* pos, const wchar_t* src, size_t n) {
    if (n >= cchOut - *pos)
        return false;
    memcpy(pszOut + *pos, src, n * sizeof *src);
    *pos += n;
    return true;
}

} // namespace

bool SplitArcPath(const wchar_t* pszPath, const char* pszFolderSuffix, wchar_t* pszStem,
                  wchar_t* pszFolder, size_t cchBuf) {
    if (cchBuf == 0)
        return false;
    pszStem[0] = pszFolder[0] = L'\0';
    const wchar_t* dot = wcsrchr(pszPath, L'.');
    size_t nStem = dot ? size_t(dot - pszPath) : wcslen(pszPath);
    if (nStem >= cchBuf ||
        (dot && WidenFolderSuffix(pszFolderSuffix, pszFolder + nStem, cchBuf - nStem) < 0))
        return false;
    wmemcpy(pszStem, pszPath, nStem);
    pszStem[nStem] = L'\0';
    wmemcpy(pszFolder, pszPath, nStem);
    if (!dot)
        pszFolder[nStem] = L'\0';
    return true;
}

bool FormatArcCmd(wchar_t* pszOut, size_t cchOut, const wchar_t* pszTemplate,
                  const wchar_t* pszStem, const wchar_t* pszPath, const wchar_t* pszFolder) {
    if (cchOut == 0)
        return false;
    const wchar_t* const args[3] = {pszStem, pszPath, pszFolder};
    int nUsed = 0;
    size_t pos = 0;
    bool ok = true;
    for (const wchar_t* p = pszTemplate; *p && ok;) {
        if (p[0] == L'%' && p[1] == L'%') {
            ok = Append(pszOut, cchOut, &pos, L"%", 1);
            p += 2;
        } else if (p[0] == L'%' && p[1] == L's' && nUsed < 3) {
            const wchar_t* arg = args[nUsed++];
            ok = Append(pszOut, cchOut, &pos, arg, wcslen(arg));
            p += 2;
        } else {
            // A run of plain text up to the next '%' (or one lone '%').
            size_t n = (*p == L'%') ? 1 : wcscspn(p, L"%");
            ok = Append(pszOut, cchOut, &pos, p, n);
            p += n;
        }
    }
    pszOut[ok ? pos : 0] = L'\0';
    return ok;
}

bool HasWildcard(const wchar_t* pszPath) {
    return FindWildcard(pszPath) != nullptr;
}
