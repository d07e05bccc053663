// Helpers for the Windows tests: a fresh folder under %TEMP%, removed with
// everything in it when the test ends; whole-file reads and writes; a run of
// another program with its output captured.
#pragma once

#include <windows.h>

#include <string>

class ScratchDir {
  public:
    // pszTag (ANSI, may hold Cyrillic CP1251 bytes) becomes part of the name.
    explicit ScratchDir(const char* pszTag) {
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        static int s_nSerial;
        m_path = std::string(szTemp) + "halvok-" + pszTag + "-" +
                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nSerial);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() { RemoveTree(m_path); }

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

    static bool WriteFile(const std::string& path, const std::string& bytes) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        DWORD n = 0;
        BOOL ok = ::WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
        CloseHandle(h);
        return ok && n == bytes.size();
    }

    // The file's bytes, or "" when it cannot be read.
    static std::string ReadFile(const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return std::string();
        std::string bytes(GetFileSize(h, nullptr), '\0');
        DWORD n = 0;
        if (!bytes.empty() && !::ReadFile(h, &bytes[0], (DWORD)bytes.size(), &n, nullptr))
            n = 0;
        CloseHandle(h);
        bytes.resize(n);
        return bytes;
    }

  private:
    static void RemoveTree(const std::string& dir) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string path = dir + "\\" + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                    DeleteFileA(path.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }

    std::string m_path;
};

// Runs exe with the command line cmd (which does not repeat the program's
// path, as for RunArchiver) and returns what it wrote to its standard output
// and error; *pnExit gets its exit code, or -1 when it could not be started.
inline std::string RunAndCapture(const std::string& exe, std::string cmd, DWORD* pnExit) {
    *pnExit = DWORD(-1);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return std::string();
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL bStarted =
        CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(hWrite); // the child holds the only write end now
    std::string out;
    char buf[4096];
    DWORD n = 0;
    while (bStarted && ReadFile(hRead, buf, sizeof buf, &n, nullptr) && n)
        out.append(buf, n);
    CloseHandle(hRead);
    if (bStarted) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, pnExit);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return out;
}
