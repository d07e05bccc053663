// The text of a Windows path, with no file-system call: the prefixes that ask
// for a path as it stands, where its name starts, where a pattern lies, and
// the join of a folder and a name. The intake, the worker and halvok-run
// share these rules; none of them is bound to MAX_PATH. UTF-16 text.
#pragma once

#include <cstddef>

// The path after "\\?\UNC\", "\\?\" or "\\.\" (which ask Windows to take the
// path as it stands, at any length), or the path itself when it has none.
const wchar_t* SkipPathPrefix(const wchar_t* pszPath);

// The first "*" or "?" after the prefix, or null. A path that holds one
// names no Windows file: it is a pattern.
const wchar_t* FindWildcard(const wchar_t* pszPath);

// Where the component holding the first "*" or "?" starts (a folder's name,
// or the file name), or null: a line about a pattern shows the path from
// there on, so that the user sees where it is.
const wchar_t* WildcardComponent(const wchar_t* pszPath);

// The file-name part: what follows the last "\" or "/" (the whole path when
// it has neither).
const wchar_t* FileNamePart(const wchar_t* pszPath);

// Writes pszFolder, a "\" unless it ends in "\" or "/", and pszName into
// pszOut (cchOut units). Returns false, pszOut empty, when that would not
// fit. pszOut may be pszFolder itself.
bool JoinPath(const wchar_t* pszFolder, const wchar_t* pszName, wchar_t* pszOut, size_t cchOut);

// The ordinary form of a "\\?\" path into pszOut (cchOut units):
// "\\?\UNC\server\share\x" gives "\\server\share\x", "\\?\C:\x" gives
// "C:\x"; any other path is copied. False, pszOut empty, when it does not
// fit.
bool OrdinaryPathForm(const wchar_t* pszPath, wchar_t* pszOut, size_t cchOut);
