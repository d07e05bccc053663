// The Windows test rig: scratch folders, whole files, polling, a ledger of
// the records that travel between the threads, and the application run as
// halvok.exe runs it, in the test's own process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/MainApp.h"

// Polls cond every 10 ms for up to ms milliseconds; returns cond().
template <class Cond> bool WaitFor(Cond cond, DWORD ms = 20000) {
    for (DWORD waited = 0; !cond(); waited += 10) {
        if (waited >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

// A fresh folder under %TEMP%, removed with everything in it at the end.
class ScratchDir {
  public:
    explicit ScratchDir(const char* pszTag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }
    // Writes a file and returns its path.
    std::string File(const std::string& name, const std::string& bytes) const;
    // Writes halvok.ini: the stand-in archiver beside the test, then keys.
    std::string Ini(const std::string& keys) const;

  private:
    std::string m_path;
};

bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path); // "" when it cannot be read
std::string ProgramDir(); // the running test's folder, with a trailing backslash
// The rig's paths and texts are Windows-1251 strings; the program's are UTF-16.
std::wstring Wide(const std::string& s);
std::string Narrow(const std::wstring& s);

// While it lives, every job and result is made and freed through it: it
// counts those alive, and freeing one that is not alive (twice, or a record
// nobody made) is a bad free.
struct RecordLedger {
    RecordLedger();
    ~RecordLedger();
    static void* Track(void* pRecord); // a record the test made with malloc
    static int Alive();
    static int BadFrees();
};

// The application as InitInstance runs it: the settings file given, the run
// mutex, the worker, and the main dialog, here on a thread of its own so
// that the test can watch it; the command-line tail is taken in at once.
class TestApp {
  public:
    TestApp(const std::string& ini, const std::string& tail);
    ~TestApp();
    TestApp(const TestApp&) = delete;
    TestApp& operator=(const TestApp&) = delete;

    std::vector<std::string> Lines() const; // the result lines in the list, Windows-1251
    // Runs task once on the dialog's thread, from its message loop.
    void OnDialogThread(void (*pfnTask)());
    // Closes the dialog (unless it has ended), then shuts down as the
    // application does; returns ExitInstance's result.
    int Shutdown();

  private:
    CMainApp m_app;
    std::wstring m_tail;
    HANDLE m_hDialog = nullptr;
    bool m_bShutDown = false;
};
