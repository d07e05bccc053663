// What halvok-run and its hook in halvok.exe (halvok-lines.dll) share.
#pragma once

#include <windows.h>

// The main window's list of result lines.
constexpr int kFileListId = 1000;
// halvok-run's message-only window takes the news of one halvok process;
// its class name is this followed by that process's identifier.
constexpr char kSinkClass[] = "HalvokRunSink";
// WM_COPYDATA: dwData is the index of the line added, lpData its text in
// UTF-16 (cbData bytes); or dwData is kListEmptied.
constexpr ULONG_PTR kListEmptied = ~ULONG_PTR(0);
