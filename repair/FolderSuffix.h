// The folder beside a saved page that holds its pictures, style sheets and
// scripts: the page's name without its extension, then a suffix that the
// browser or editor that saved it chose.
#pragma once

#include <cstddef>

// The suffixes, UTF-8: "_files" first (browsers in English and Russian, and
// every language of some browsers), then ".files" (a word processor's "web
// page"), then the words for "files" that browsers and word processors in
// other languages write. Some are not ASCII: a caller widens a suffix with
// WidenFolderSuffix to join a UTF-16 name, and the page rewrite looks for
// it as the page's charset writes it and as UTF-8 escapes.
extern const char* const kFolderSuffixes[];
extern const size_t kFolderSuffixCount;

// The suffix of the page's folder: the first in the table for which
// bIsFolder(stem + suffix, context) is true, or "_files" when none is.
// The caller joins the names in its own encoding.
const char* FindFolderSuffix(bool (*bIsFolder)(const char* pszSuffix, void* context),
                             void* context);

// Writes the UTF-16 units of the UTF-8 suffix (a character of the Basic
// Multilingual Plane each, as every suffix of the table is) and a zero unit
// to pDest, which has room for cchDest units. Returns the number of units,
// or -1 (pDest untouched) when they and the zero unit would not fit.
int WidenFolderSuffix(const char* pszSuffix, wchar_t* pDest, size_t cchDest);
