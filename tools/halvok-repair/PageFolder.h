// The pages of a folder as the Windows program's intake chooses them, for
// halvok-repair: one level deep, in a stable order.
#pragma once

#include <string>
#include <vector>

// The extension of a file name as the Windows shell's path helper finds it:
// from the last "." on, or an empty string when the name has no "." or a
// space or a backslash (a separator there) follows the last one: "a.htm b"
// has none.
const char* FindExtension(const char* pszName);

// The paths of the folder's pages (the folder, a "/" if it has none at its
// end, and the entry's name), in the byte order of their names: the entries
// that are regular files themselves (not links, whatever they lead to) and
// whose extension passes IsPageExtension. Sub-folders are never entered. *pErr gets 0, or the errno
// of opening or reading the folder (the list is then empty).
std::vector<std::string> ListFolderPages(const std::string& folder, int* pErr);

// The suffix of the page's folder beside it: the first of the table in
// repair/FolderSuffix.h for which the page's path without its extension
// (FindExtension of its name), followed by the suffix, is a folder (or a
// link to one); "_files" when none is.
const char* FindPageFolderSuffix(const std::string& page);

// Whether the file name's extension (FindExtension) is ".mhtml" in any
// letter case: a single-file web archive, not a page with a folder.
bool IsWebArchiveName(const char* pszName);
