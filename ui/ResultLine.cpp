// The result-line text: see ResultLine.h.
#include "ui/ResultLine.h"

#include <cstdio>
#include <cstring>

#include "worker/WrkDefs.h"

static size_t CopyCut(const char* pszText, char* pszLine, size_t cbLine) {
    size_t n = strlen(pszText);
    if (n > cbLine - 1)
        n = cbLine - 1;
    memcpy(pszLine, pszText, n);
    pszLine[n] = '\0';
    return n;
}

size_t FormatResultLine(int32_t nStatus, const char* pszName, char* pszLine, size_t cbLine) {
    if (nStatus == STATUS_NO_ACTION)
        return CopyCut("Отсутствуют заданные действия", pszLine, cbLine);
    if (nStatus == STATUS_NO_ARCHIVER)
        return CopyCut("Настройте параметры архиватора в ini файле", pszLine, cbLine);

    char szStatus[64];
    if (nStatus == STATUS_OK)
        snprintf(szStatus, sizeof szStatus, "Ok");
    else if (nStatus == STATUS_NOT_REPAIRED)
        snprintf(szStatus, sizeof szStatus, "Ошибка: страница не исправлена");
    else
        snprintf(szStatus, sizeof szStatus, "Ошибка: %d", (int)nStatus);
    char szTail[80];
    int nTail = snprintf(szTail, sizeof szTail, " [%s]", szStatus);

    // The name gives way when the line would not fit: the status stays whole.
    size_t nName = strlen(pszName);
    size_t nRoom = cbLine - 1 > (size_t)nTail ? cbLine - 1 - (size_t)nTail : 0;
    if (nName > nRoom)
        nName = nRoom;
    memcpy(pszLine, pszName, nName);
    return nName + CopyCut(szTail, pszLine + nName, cbLine - nName);
}
