// Repairs one saved page in place: its percent-escaped references into its
// folder are rewritten as literal names (see PageRewrite.h).
#pragma once

// pszPath: the page's full path, UTF-16; pszFolderSuffix: the suffix of its
// folder ("_files", or the one found on disk; see FolderSuffix.h). The page is opened for reading and
// writing with no sharing, read whole, rewritten and written back from its
// start, and cut where the new text ends. When writing back fails part-way,
// the original bytes are written back and the file is cut to its original
// size.
//
// Returns true when the page is repaired, or needs no repair, or holds a
// zero byte (such a page is left untouched on purpose). Returns false, the
// page untouched, when it cannot be opened (missing, read-only, held open by
// another program), read or held in memory, or when its write-back failed.
bool FixSavedPage(const wchar_t* pszPath, const char* pszFolderSuffix = "_files");
