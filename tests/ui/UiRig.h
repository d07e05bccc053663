// Rig for the window tests under Wine: a scratch folder, polling, the
// settings file's keys, and a modal dialog run on the test's thread while a
// second thread drives it like a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace ui_test {

// Polls cond every 10 ms for up to ms milliseconds.
template <class Cond> bool WaitFor(Cond cond, DWORD ms = 10000) {
    for (DWORD waited = 0; !cond(); waited += 10) {
        if (waited >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

// A fresh folder under %TEMP%, removed with its files at the end.
class Scratch {
  public:
    explicit Scratch(const char* pszTag) {
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        static int s_nSerial;
        m_path = std::string(szTemp) + "hv-ui-" + pszTag + "-" +
                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nSerial);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~Scratch() {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((m_path + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((*this / fd.cFileName).c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(m_path.c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

  private:
    std::string m_path;
};

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD n = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
    CloseHandle(h);
    return ok && n == bytes.size();
}

// A key of section "Options" as text; "<absent>" when the key is missing.
inline std::string IniKey(const std::string& iniPath, const char* pszKey) {
    char sz[64];
    GetPrivateProfileStringA("Options", pszKey, "<absent>", sz, sizeof sz, iniPath.c_str());
    return sz;
}

// The four window keys as "PosX,PosY,bArc,bMSIE".
inline std::string WindowKeysText(const std::string& iniPath) {
    return IniKey(iniPath, "PosX") + "," + IniKey(iniPath, "PosY") + "," + IniKey(iniPath, "bArc") +
           "," + IniKey(iniPath, "bMSIE");
}

inline std::string WindowTextOf(HWND hWnd) {
    char sz[512] = "";
    GetWindowTextA(hWnd, sz, sizeof sz);
    return sz;
}

// A visible dialog window of the given thread whose caption is pszCaption
// (Windows-1251), or nullptr.
inline HWND FindDialogOfThread(DWORD dwThreadId, const char* pszCaption) {
    struct Search {
        const char* pszCaption;
        HWND hFound;
    } search{pszCaption, nullptr};
    EnumThreadWindows(
        dwThreadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            char szClass[32] = "";
            GetClassNameA(hWnd, szClass, sizeof szClass);
            if (strcmp(szClass, "#32770") == 0 && IsWindowVisible(hWnd) &&
                WindowTextOf(hWnd) == s->pszCaption) {
                s->hFound = hWnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// Runs the dialog modally on this thread. Once its window with the given
// caption is up, drive(hWnd) runs on a second thread and is expected to end
// the dialog; if the window is still there afterwards it is closed. Returns
// DoModal's result.
template <class Dialog>
INT_PTR RunModal(Dialog& dlg, const char* pszCaption, std::function<void(HWND)> drive) {
    const DWORD dwThreadId = GetCurrentThreadId();
    std::atomic<bool> bDone{false};
    std::thread driver([&] {
        HWND hWnd = nullptr;
        if (!WaitFor([&] {
                return bDone || (hWnd = FindDialogOfThread(dwThreadId, pszCaption)) != nullptr;
            }) ||
            bDone)
            return;
        drive(hWnd);
        if (!WaitFor([&] { return bDone.load(); }, 5000))
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
    });
    INT_PTR nResult = dlg.DoModal();
    bDone = true;
    driver.join();
    return nResult;
}

} // namespace ui_test
