// Which file names are saved pages: those whose extension holds "htm" or
// "HTM" (case-sensitive), so .htm, .html, .shtml, .HTML and .HTM count, while
// .Htm, .Html, .mht and a name without an extension do not. A ".mhtml" file
// (any letter case) is a single-file web archive, not a page with a folder:
// renamed ".htm", a browser would show its raw text.
#pragma once

// pszExt: the extension as the shell's path helper finds it, from the last
// "." of the file-name part, or an empty string when there is none. UTF-16
// for the Windows intake, bytes for halvok-repair's file names.
bool IsPageExtension(const wchar_t* pszExt);
bool IsPageExtension(const char* pszExt);

// Whether the extension is ".mhtml" in any letter case: a web archive.
bool IsWebArchiveExtension(const char* pszExt);
