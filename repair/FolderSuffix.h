// The folder beside a saved page that holds its pictures, style sheets and
// scripts: the page's name without its extension, then a suffix that the
// browser or editor that saved it chose.
#pragma once

#include <cstddef>

// The suffixes, "_files" first (browsers in English and Russian, and every
// language of some browsers), then ".files" (a word processor's "web page"),
// then the words for "files" that browsers in other languages write. All
// ASCII, so that they join a name in any encoding.
extern const char* const kFolderSuffixes[];
extern const size_t kFolderSuffixCount;

// The suffix of the page's folder: the first in the table for which
// bIsFolder(stem + suffix, context) is true, or "_files" when none is.
// The caller joins the names in its own encoding.
const char* FindFolderSuffix(bool (*bIsFolder)(const char* pszSuffix, void* context),
                             void* context);
