// Test helpers shared by the intake, dialog and end-to-end tests under Wine:
// polling, a scratch folder removed at the end, the directory-search order,
// and a run of another program with its output captured.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace intake_test {

// Polls cond every 10 ms for up to ms milliseconds.
template <class Cond> bool WaitFor(Cond cond, DWORD ms = 15000) {
    for (DWORD waited = 0; !cond(); waited += 10) {
        if (waited >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

// A value written by another thread.
template <class T> T ReadShared(const T& value) {
    return *static_cast<const volatile T*>(&value);
}

// A fresh folder under %TEMP%, removed with its contents at the end.
class Scratch {
  public:
    explicit Scratch(const char* pszTag) {
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        static int s_nSerial;
        m_path = std::string(szTemp) + "hv-" + pszTag + "-" +
                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nSerial);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~Scratch() { RemoveTree(m_path); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

    std::string File(const std::string& name, const std::string& bytes = "<html></html>") const {
        std::string path = *this / name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD n = 0;
        if (h != INVALID_HANDLE_VALUE) {
            WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
            CloseHandle(h);
        }
        return path;
    }
    std::string Folder(const std::string& name) const {
        std::string path = *this / name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }

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

  private:
    std::string m_path;
};

// The names in a folder that the directory search returns, in its order.
inline std::vector<std::string> SearchOrder(const std::string& dir, const char* pattern = "*") {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

// Runs exe with the command line cmd and returns what it wrote to its
// standard output and error; *pnExit gets its exit code (-1: not started).
inline std::string RunCapture(const std::string& exe, std::string cmd, DWORD* pnExit) {
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

} // namespace intake_test
