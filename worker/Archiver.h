// Hands one saved page, with its folder, to the archiver that the settings
// file names, and waits for it; and finds which folder the page has.
#pragma once

// The suffix of the page's folder: the first of the table in FolderSuffix.h
// whose folder (the path up to its last '.', then the suffix) exists as a
// folder, or "_files" when none does.
const char* FindPageFolderSuffix(const wchar_t* pszPath);

// Builds the command line from g_szArcCmd (first "%s": the path without its
// extension, second: the full path, third: the page's folder, with
// pszFolderSuffix), starts
// g_szArcExe with it (window hidden when g_bHidden is non-zero), waits
// without a time limit and returns the archiver's exit code as a signed
// 32-bit value. Returns -1 (STATUS_NO_ARCHIVER) when the archiver cannot be
// started: "Arc" empty or not a runnable program, or a command line that
// would not fit its buffer. Returns STATUS_WILDCARD_NAME, starting nothing,
// when the path holds "*" or "?". The path and the command line are UTF-16,
// so that the archiver gets the page's real name. Runs on the worker thread;
// reads the settings without locking, as they are fixed before the worker
// starts.
int RunArchiver(const wchar_t* pszPath, const char* pszFolderSuffix = "_files");
