// The table of page-folder suffixes and the choice of the one on disk.
#include "repair/FolderSuffix.h"

#include <cstring>

// Letters that are not ASCII are written as octal escapes of their UTF-8
// bytes, whatever the compiler's execution charset (the Windows build's
// string literals are Windows-1251).
const char* const kFolderSuffixes[] = {
    "_files",          // English and Russian browsers; some browsers in every language
    ".files",          // a word processor's web page
    "-Dateien",        // German
    "_fichiers",       // French
    "_archivos",       // Spanish
    "_arquivos",       // Portuguese (Brazil)
    "_file",           // Italian
    "_bestanden",      // Dutch
    "_pliki",          // Polish
    "_soubory",        // Czech
    "_tiedostot",      // Finnish
    "-filer",          // Danish, Norwegian, Swedish
    "_elemei",         // Hungarian
    "_dosyalar",       // Turkish
    "_ficheiros",      // Portuguese (Portugal)
    "_fitxers",        // Catalan
    "_fitxategiak",    // Basque
    "_s\303\272bory",  // Slovak
    "_datoteke",       // Slovenian, Croatian
    "_failid",         // Estonian
    "_faili",          // Latvian
    "_fails",          // Latvian, in the table of the Windows shell
    "_failai",         // Lithuanian
    "_bylos",          // Lithuanian, in the table of the Windows shell
    "_fajlovi",        // Serbian
    "_fi\310\231iere", // Romanian, s with comma below
    "_fi\305\237iere", // Romanian, s with cedilla
    "_\316\261\317\201\317\207\316\265\316\257\316\261", // Greek
};
const size_t kFolderSuffixCount = sizeof kFolderSuffixes / sizeof kFolderSuffixes[0];

const char* FindFolderSuffix(bool (*bIsFolder)(const char* pszSuffix, void* context),
                             void* context) {
    for (size_t i = 0; i < kFolderSuffixCount; ++i) {
        if (bIsFolder(kFolderSuffixes[i], context))
            return kFolderSuffixes[i];
    }
    return kFolderSuffixes[0];
}

int WidenFolderSuffix(const char* pszSuffix, wchar_t* pDest, size_t cchDest) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(pszSuffix);
    size_t n = 0;
    for (size_t i = 0; s[i]; ++n) {
        // A lead byte, then 0, 1 or 2 continuation bytes.
        const size_t len = s[i] < 0xC0 ? 1 : s[i] < 0xE0 ? 2 : 3;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return -1; // not UTF-8 of the Basic Multilingual Plane
        }
        i += len;
    }
    if (n >= cchDest)
        return -1;
    for (size_t i = 0, u = 0; u < n; ++u) {
        const size_t len = s[i] < 0xC0 ? 1 : s[i] < 0xE0 ? 2 : 3;
        unsigned unit = len == 1 ? s[i] : len == 2 ? s[i] & 0x1Fu : s[i] & 0x0Fu;
        for (size_t k = 1; k < len; ++k)
            unit = unit << 6 | (s[i + k] & 0x3Fu);
        pDest[u] = wchar_t(unit);
        i += len;
    }
    pDest[n] = L'\0';
    return int(n);
}
