// The file operations of FixSavedPage's write-back, reached through pointers
// to the platform's own functions, so that tests can make one of them fail
// and prove that the page keeps its bytes. Nothing but tests changes them.
#pragma once

#include <windows.h>

struct PageWriteOps {
    DWORD(WINAPI* pfnSetFilePointer)(HANDLE, LONG, PLONG, DWORD);
    BOOL(WINAPI* pfnWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* pfnSetEndOfFile)(HANDLE);
};
extern PageWriteOps g_pageWriteOps; // SetFilePointer, WriteFile, SetEndOfFile
