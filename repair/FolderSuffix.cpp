// The table of page-folder suffixes and the choice of the one on disk.
#include "repair/FolderSuffix.h"

const char* const kFolderSuffixes[] = {
    "_files",      // English and Russian browsers; some browsers in every language
    ".files",      // a word processor's web page
    "-Dateien",    // German
    "_fichiers",   // French
    "_archivos",   // Spanish
    "_arquivos",   // Portuguese
    "_file",       // Italian
    "_bestanden",  // Dutch
    "_pliki",      // Polish
    "_soubory",    // Czech
    "_tiedostot",  // Finnish
    "-filer",      // Danish, Norwegian, Swedish
    "_elemei",     // Hungarian
    "_dosyalar",   // Turkish
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
