// The Windows test rig: scratch folders, files, processes.
#include "tests/helpers/WinScratch.h"

#include <algorithm>
#include <cstring>

namespace {

void RemoveTree(const std::string& dir) {
    for (const std::string& name : SearchOrder(dir)) {
        const std::string path = dir + "\\" + name;
        DWORD dwAttrs = GetFileAttributesA(path.c_str());
        if (dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(dir.c_str());
}

} // namespace

ScratchDir::ScratchDir(const char* pszTag) {
    char szTemp[MAX_PATH];
    GetTempPathA(MAX_PATH, szTemp);
    static int s_nSerial;
    m_path = std::string(szTemp) + "hv-" + pszTag + "-" + std::to_string(GetCurrentProcessId()) +
             "-" + std::to_string(++s_nSerial);
    RemoveTree(m_path); // left over by an earlier process of the same id
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
    RemoveTree(m_path);
}

std::string ScratchDir::File(const std::string& name, const std::string& bytes) const {
    std::string path = *this / name;
    WriteBytes(path, bytes);
    return path;
}

std::string ScratchDir::Folder(const std::string& name) const {
    std::string path = *this / name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD n = 0;
    BOOL bOk = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
    return bOk && n == bytes.size();
}

std::string ReadBytes(const std::string& path) {
    // Shared for writing too: a log the stand-in archiver may still append to.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        bytes.append(buf, n);
    CloseHandle(h);
    return bytes;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int CountLines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

std::vector<std::string> SearchOrder(const std::string& dir, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names = SearchOrder(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ProgramDir() {
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path(szPath, n < MAX_PATH ? n : 0);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string Env(const char* pszName) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(pszName, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

EnvVar::EnvVar(const char* pszName, const std::string& value) : m_pszName(pszName) {
    SetEnvironmentVariableA(pszName, value.c_str());
}

EnvVar::~EnvVar() {
    SetEnvironmentVariableA(m_pszName, nullptr);
}

std::string RunAndCapture(const std::string& exe, std::string cmd, DWORD* pnExit) {
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

Process::~Process() {
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_pi.hProcess, 99);
        WaitForSingleObject(m_pi.hProcess, 10000);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool Process::Start(const std::string& exe, const std::string& tail, const std::string& dir) {
    std::string cmd = "\"" + exe + "\"" + (tail.empty() ? "" : " " + tail);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &si, &m_pi) != FALSE;
}

bool Process::Ended(DWORD ms) const {
    return WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0;
}

DWORD Process::WaitExitCode(DWORD ms) const {
    DWORD dwCode = STILL_ACTIVE;
    if (Ended(ms))
        GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return dwCode;
}

namespace {

struct MainWindowSearch {
    DWORD dwProcessId;
    HWND hFound;
};

// The visible dialog of the process that holds the file list.
BOOL CALLBACK FindMainWindow(HWND hWnd, LPARAM lParam) {
    auto* s = reinterpret_cast<MainWindowSearch*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    char szClass[32] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (dwPid == s->dwProcessId && strcmp(szClass, "#32770") == 0 && IsWindowVisible(hWnd) &&
        GetDlgItem(hWnd, 1000)) {
        s->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND Process::WaitMainWindow(DWORD ms) const {
    MainWindowSearch search{m_pi.dwProcessId, nullptr};
    WaitFor(
        [&] {
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
            return search.hFound != nullptr;
        },
        ms);
    return search.hFound;
}

HalvokCopy::HalvokCopy(const char* pszTag) : m_dir(pszTag) {
    m_exe = m_dir / "halvok.exe";
    m_ini = m_dir / "halvok.ini";
    m_bCopied = CopyFileA((ProgramDir() + "halvok.exe").c_str(), m_exe.c_str(), FALSE) != FALSE;
}

void HalvokCopy::Set(const char* pszKey, const std::string& value) const {
    WritePrivateProfileStringA("Options", pszKey, value.c_str(), m_ini.c_str());
}

int HalvokCopy::Get(const char* pszKey) const {
    return static_cast<int>(GetPrivateProfileIntA("Options", pszKey, -999, m_ini.c_str()));
}
