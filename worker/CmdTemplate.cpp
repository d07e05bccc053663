// Fills the archiver's command-line template without handing it to printf:
// the template is user text from the settings file.
#include "worker/CmdTemplate.h"

#include <cstring>

namespace {

// Appends n bytes of src at pszOut[*pos]; false when they and a terminating
// NUL would not fit in cchOut bytes.
bool Append(char* pszOut, size_t cchOut, size_t* pos, const char* src, size_t n) {
    if (n >= cchOut - *pos)
        return false;
    memcpy(pszOut + *pos, src, n);
    *pos += n;
    return true;
}

} // namespace

bool SplitArcPath(const char* pszPath, char* pszStem, char* pszFolder, size_t cchBuf) {
    static const char kSuffix[] = "_files";
    if (cchBuf == 0)
        return false;
    pszStem[0] = pszFolder[0] = '\0';
    const char* dot = strrchr(pszPath, '.');
    size_t nStem = dot ? size_t(dot - pszPath) : strlen(pszPath);
    size_t nFolder = dot ? nStem + sizeof kSuffix - 1 : nStem;
    if (nFolder >= cchBuf)
        return false;
    memcpy(pszStem, pszPath, nStem);
    pszStem[nStem] = '\0';
    memcpy(pszFolder, pszPath, nStem);
    if (dot)
        memcpy(pszFolder + nStem, kSuffix, sizeof kSuffix);
    else
        pszFolder[nStem] = '\0';
    return true;
}

bool FormatArcCmd(char* pszOut, size_t cchOut, const char* pszTemplate, const char* pszStem,
                  const char* pszPath, const char* pszFolder) {
    if (cchOut == 0)
        return false;
    const char* const args[3] = {pszStem, pszPath, pszFolder};
    int nUsed = 0;
    size_t pos = 0;
    bool ok = true;
    for (const char* p = pszTemplate; *p && ok;) {
        if (p[0] == '%' && p[1] == '%') {
            ok = Append(pszOut, cchOut, &pos, "%", 1);
            p += 2;
        } else if (p[0] == '%' && p[1] == 's' && nUsed < 3) {
            const char* arg = args[nUsed++];
            ok = Append(pszOut, cchOut, &pos, arg, strlen(arg));
            p += 2;
        } else {
            // A run of plain text up to the next '%' (or one lone '%').
            size_t n = (*p == '%') ? 1 : strcspn(p, "%");
            ok = Append(pszOut, cchOut, &pos, p, n);
            p += n;
        }
    }
    pszOut[ok ? pos : 0] = '\0';
    return ok;
}
