// The pages of a folder as the Windows program's intake chooses them, for
// halvok-repair: one level deep, in a stable order; and names as its lines
// print them.
#pragma once

#include <string>
#include <vector>

#include <fcntl.h>

// The extension of a file name as the Windows shell's path helper finds it:
// from the last "." on, or an empty string when the name has no "." or a
// space or a backslash (a separator there) follows the last one: "a.htm b"
// has none.
const char* FindExtension(const char* pszName);

// The names of the pages in the open folder dirfd, in the byte order of the
// names: the entries that are regular files themselves (not links, whatever
// they lead to) and whose extension passes IsPageExtension. Sub-folders are
// never entered. *pErr gets 0, or the errno of reading the folder (the list
// is then empty).
std::vector<std::string> ListFolderPages(int dirfd, int* pErr);

// The suffix of the page's folder beside it: the first of the table in
// repair/FolderSuffix.h for which the page's path (relative to dirfd)
// without its extension (FindExtension of its name), followed by the
// suffix, is a folder (or a link to one); "_files" when none is.
const char* FindPageFolderSuffix(const std::string& page, int dirfd = AT_FDCWD);

// Whether the file name's extension (FindExtension) is ".mhtml" in any
// letter case: a single-file web archive, not a page with a folder.
bool IsWebArchiveName(const char* pszName);

// A name as one line can carry it: a backslash, and the bytes that would end
// the line or move the cursor (control characters), are written as escapes
// (\\, \n, \t, \xNN). Every path halvok-repair prints goes through it.
std::string Printable(const std::string& name);
