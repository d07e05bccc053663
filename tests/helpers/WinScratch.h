// The Windows test rig shared by every group under Wine: a scratch folder
// removed at the end, whole-file reads and writes, folder listings, polling,
// environment variables for the programs a test starts, and other programs
// run with their output captured or as a process of their own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Polls cond every 10 ms for up to ms milliseconds; returns cond().
template <class Cond> bool WaitFor(Cond cond, DWORD ms = 15000) {
    for (DWORD waited = 0; !cond(); waited += 10) {
        if (waited >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

// A fresh folder under %TEMP%, removed with everything in it (read-only
// files included) at the end. pszTag (ANSI, may hold CP1251 bytes) becomes
// part of the name.
class ScratchDir {
  public:
    explicit ScratchDir(const char* pszTag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

    // Writes a file (a small page by default) and returns its path.
    std::string File(const std::string& name, const std::string& bytes = "<html></html>") const;
    // Makes a subfolder and returns its path.
    std::string Folder(const std::string& name) const;

  private:
    std::string m_path;
};

bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path); // "" when it cannot be read
bool Exists(const std::string& path);
// The number of lines in a text: one a line the stand-in archiver logs.
int CountLines(const std::string& text);
// The names in a folder as the directory search returns them, in its order,
// "." and ".." left out.
std::vector<std::string> SearchOrder(const std::string& dir, const char* pattern = "*");
// The same names sorted.
std::vector<std::string> ListFolder(const std::string& dir);
// Folder of the running test program, with a trailing backslash: the build's
// other programs (halvok.exe, fakearc.exe) lie there.
std::string ProgramDir();
std::string Env(const char* pszName); // "" when unset

// Sets an environment variable for the programs started while it lives.
class EnvVar {
  public:
    EnvVar(const char* pszName, const std::string& value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

  private:
    const char* m_pszName;
};

// Runs exe with the command line cmd (which does not repeat the program's
// path, as for RunArchiver) and returns what it wrote to its standard output
// and error; *pnExit gets its exit code, or -1 when it could not be started.
std::string RunAndCapture(const std::string& exe, std::string cmd, DWORD* pnExit);

// A program started in a folder of its own; killed if a test leaves it
// running.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::string& exe, const std::string& tail, const std::string& dir);
    bool Ended(DWORD ms) const;
    // The exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD WaitExitCode(DWORD ms) const;
    // The program's visible main dialog (the one with the file list), once
    // it is up within ms; nullptr otherwise.
    HWND WaitMainWindow(DWORD ms = 30000) const;

  private:
    PROCESS_INFORMATION m_pi{};
};

// A copy of the build's halvok.exe alone in a scratch folder, with the
// settings file that it will read beside it.
class HalvokCopy {
  public:
    explicit HalvokCopy(const char* pszTag);
    HalvokCopy(const HalvokCopy&) = delete;
    HalvokCopy& operator=(const HalvokCopy&) = delete;

    const ScratchDir& Dir() const { return m_dir; }
    const std::string& Ini() const { return m_ini; }
    bool Copied() const { return m_bCopied; }
    void Set(const char* pszKey, const std::string& value) const;
    int Get(const char* pszKey) const; // -999 when the key is missing
    bool Start(const std::string& tail = "") { return m_proc.Start(m_exe, tail, m_dir.Path()); }
    Process& Proc() { return m_proc; }

  private:
    ScratchDir m_dir;
    std::string m_exe, m_ini;
    bool m_bCopied;
    Process m_proc;
};
