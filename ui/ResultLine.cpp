// The result-line text: see ResultLine.h.
#include "ui/ResultLine.h"

#include <cstdio>
#include <cwchar>

#include "worker/WrkDefs.h"

namespace {

size_t CopyCut(const wchar_t* pszText, wchar_t* pszLine, size_t cchLine) {
    size_t n = wcslen(pszText);
    if (n > cchLine - 1)
        n = cchLine - 1;
    wmemcpy(pszLine, pszText, n);
    pszLine[n] = L'\0';
    return n;
}

// Appends the decimal digits of n, with a minus sign when negative.
void AppendNumber(int32_t n, wchar_t* psz) {
    char szDigits[16];
    snprintf(szDigits, sizeof szDigits, "%d", static_cast<int>(n));
    psz += wcslen(psz);
    for (const char* p = szDigits; *p; ++p)
        *psz++ = static_cast<wchar_t>(*p);
    *psz = L'\0';
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

size_t FormatResultLine(int32_t nStatus, const wchar_t* pszName, wchar_t* pszLine, size_t cchLine) {
    if (nStatus == STATUS_NO_ACTION)
        return CopyCut(L"Отсутствуют заданные действия", pszLine, cchLine);
    if (nStatus == STATUS_NO_ARCHIVER)
        return CopyCut(L"Настройте параметры архиватора в ini файле", pszLine, cchLine);

    wchar_t szTail[64] = L" [";
    if (nStatus == STATUS_OK)
        wcscat(szTail, L"Ok");
    else if (nStatus == STATUS_NOT_REPAIRED)
        wcscat(szTail, L"Ошибка: страница не исправлена");
    else if (nStatus == STATUS_WILDCARD_NAME)
        wcscat(szTail, L"Ошибка: в имени * или ?");
    else if (nStatus == STATUS_PATH_TOO_LONG)
        wcscat(szTail, L"Ошибка: путь длиннее 1023 символов");
    else if (nStatus == STATUS_NAME_REFUSED)
        wcscat(szTail, L"Ошибка: недопустимое имя");
    else if (nStatus == STATUS_FOLDER_UNREADABLE)
        wcscat(szTail, L"Ошибка: каталог не прочитан");
    else {
        wcscat(szTail, L"Ошибка: ");
        AppendNumber(nStatus, szTail);
    }
    wcscat(szTail, L"]");
    const size_t nTail = wcslen(szTail);

    // The name gives way when the line would not fit: the status stays whole.
    size_t nName = wcslen(pszName);
    size_t nRoom = cchLine - 1 > nTail ? cchLine - 1 - nTail : 0;
    if (nName > nRoom) {
        nName = nRoom;
        if (nName > 0 && IsHighSurrogate(pszName[nName - 1]))
            --nName;
    }
    wmemcpy(pszLine, pszName, nName);
    return nName + CopyCut(szTail, pszLine + nName, cchLine - nName);
}
