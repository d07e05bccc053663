// The settings file "halvok.ini" beside the program: its location, the
// archiver settings read at start-up, and the main window's keys.
#pragma once

#include <windows.h>

// Paths and the archiver's settings are UTF-16. The file itself stays an
// ANSI file: the profile functions read "Arc" and "Com" in the system's code
// page, as users write them in Notepad, and write the keys back as ANSI.
extern wchar_t g_szIniPath[MAX_PATH]; // full path of halvok.ini
extern wchar_t g_szArcCmd[260];       // " " + the "Com" template
extern wchar_t g_szArcExe[260];       // the "Arc" program path
extern int g_bHidden;                 // "Hidden": start the archiver hidden

// Fills pszDir (MAX_PATH characters) with the running program's folder,
// ending in a backslash. A program path too long for that leaves pszDir
// empty.
void GetModuleDir(wchar_t* pszDir);

// Sets g_szIniPath to "halvok.ini" in the program's folder (empty when that
// does not fit) and calls ReadArcSettings (main thread, before the worker
// starts).
void LoadArcSettings();

// Reads "Com", "Arc" and "Hidden" from g_szIniPath into g_szArcCmd (" " and
// at most 258 characters of "Com"), g_szArcExe and g_bHidden; the defaults
// ("", "", 1) when the file, a key or g_szIniPath itself is missing.
void ReadArcSettings();

// The main window's keys, as read when the window opens: defaults applied, a
// negative position replaced by 2, bArc/bMSIE 1 for any non-zero value. An
// empty path gives the defaults, and nothing is written to it.
struct WindowKeys {
    int nPosX;
    int nPosY;
    int bArc;
    int bMSIE;
};
WindowKeys ReadWindowKeys(const wchar_t* pszIniPath);

// Writes the keys when the window closes: the position clamped at 0 and
// written only inside the maximized-screen size; "bArc"/"bMSIE" as "1"/"0".
void WriteWindowKeys(const wchar_t* pszIniPath, const RECT& rcWindow, bool bArcChecked,
                     bool bFixChecked);
