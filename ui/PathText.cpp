// Path text rules: see PathText.h.
#include "ui/PathText.h"

#include <cwchar>

namespace {

const wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t* const kPrefixes[] = {kUncPrefix, L"\\\\?\\", L"\\\\.\\"};

bool StartsWith(const wchar_t* psz, const wchar_t* pszStart) {
    return wcsncmp(psz, pszStart, wcslen(pszStart)) == 0;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

} // namespace

const wchar_t* SkipPathPrefix(const wchar_t* pszPath) {
    for (const wchar_t* pszPrefix : kPrefixes)
        if (StartsWith(pszPath, pszPrefix))
            return pszPath + wcslen(pszPrefix);
    return pszPath;
}

const wchar_t* FindWildcard(const wchar_t* pszPath) {
    return wcspbrk(SkipPathPrefix(pszPath), L"*?");
}

const wchar_t* WildcardComponent(const wchar_t* pszPath) {
    const wchar_t* pszStart = SkipPathPrefix(pszPath);
    const wchar_t* p = FindWildcard(pszPath);
    if (!p)
        return nullptr;
    while (p > pszStart && !IsSeparator(p[-1]))
        --p;
    return p;
}

const wchar_t* FileNamePart(const wchar_t* pszPath) {
    const wchar_t* pszName = pszPath;
    for (const wchar_t* p = pszPath; *p; ++p)
        if (IsSeparator(*p))
            pszName = p + 1;
    return pszName;
}

bool JoinPath(const wchar_t* pszFolder, const wchar_t* pszName, wchar_t* pszOut, size_t cchOut) {
    const size_t nFolder = wcslen(pszFolder), nName = wcslen(pszName);
    const bool bSeparator = nFolder > 0 && !IsSeparator(pszFolder[nFolder - 1]);
    if (cchOut == 0)
        return false;
    if (nFolder + bSeparator + nName >= cchOut) {
        pszOut[0] = L'\0';
        return false;
    }
    wmemmove(pszOut, pszFolder, nFolder);
    if (bSeparator)
        pszOut[nFolder] = L'\\';
    wmemcpy(pszOut + nFolder + bSeparator, pszName, nName + 1);
    return true;
}

bool OrdinaryPathForm(const wchar_t* pszPath, wchar_t* pszOut, size_t cchOut) {
    const wchar_t* pszRest = pszPath;
    const wchar_t* pszHead = L"";
    if (StartsWith(pszPath, kUncPrefix)) {
        pszRest = pszPath + wcslen(kUncPrefix);
        pszHead = L"\\\\";
    } else if (StartsWith(pszPath, L"\\\\?\\")) {
        pszRest = pszPath + 4;
    }
    const size_t nHead = wcslen(pszHead), nRest = wcslen(pszRest);
    if (cchOut == 0)
        return false;
    if (nHead + nRest >= cchOut) {
        pszOut[0] = L'\0';
        return false;
    }
    wmemmove(pszOut + nHead, pszRest, nRest + 1);
    wmemcpy(pszOut, pszHead, nHead);
    return true;
}
