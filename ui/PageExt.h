// Which file names are saved pages: those whose extension holds "htm" or
// "HTM" (case-sensitive), so .htm, .html, .shtml, .HTML and .HTM count, while
// .Htm, .Html, .mht and a name without an extension do not.
#pragma once

// pszExt: the extension as the shell's path helper finds it, from the last
// "." of the file-name part, or an empty string when there is none. UTF-16
// for the Windows intake, bytes for halvok-repair's file names.
bool IsPageExtension(const wchar_t* pszExt);
bool IsPageExtension(const char* pszExt);
