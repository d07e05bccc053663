// Which pages a path names, by the intake's rules, apart from the jobs made
// of them: the main window posts a job for each page, halvok-run counts
// them to know how many result lines a command-line run will show.
// Paths are UTF-16 throughout, so that names in any script are found.
#pragma once

#include <cstddef>

// Writes into pszOut (1024 characters) the path with its last component spelled
// as the file system stores it (letter case, the long name for a short
// alias). The last component follows the last "\" or "/". A path without
// either is returned as given. A path that does not fit, or that the
// stored name makes too long, leaves pszOut empty.
void ResolveFileName(const wchar_t* pszPath, wchar_t* pszOut);

using PageFn = void (*)(const wchar_t* pszPage, void* pContext);

// Calls pfnPage for every page that one path names: the resolved path when
// it is not a folder (also when its attributes cannot be read, so that a
// missing page is reported on) and its extension holds "htm" or "HTM"; for
// a folder, each such entry directly in it that is not a folder, in
// directory-search order, also when its attributes cannot be read back, so
// that it too is reported on. Sub-folders are never entered; entries whose
// paths pass MAX_PATH characters are skipped.
void ForEachPage(const wchar_t* pszPath, PageFn pfnPage, void* pContext);

using PathFn = void (*)(const wchar_t* pszPath, void* pContext);

// Calls pfnPath for every path of a command-line tail (see CmdLine.h), in
// order; a token of 1024 characters or more fits no path buffer and is
// skipped. pszTail may be null.
void ForEachCmdLinePath(const wchar_t* pszTail, PathFn pfnPath, void* pContext);
