// Starts the configured archiver on one page and reports its exit code.
#include "worker/Archiver.h"

#include <windows.h>

#include <cstdint>

#include "app/Settings.h"
#include "worker/CmdTemplate.h"

namespace {

// Owns the two handles that CreateProcessA hands back.
class CProcessHandles {
  public:
    CProcessHandles() = default;
    CProcessHandles(const CProcessHandles&) = delete;
    CProcessHandles& operator=(const CProcessHandles&) = delete;
    ~CProcessHandles() { Close(); }

    PROCESS_INFORMATION* Receive() {
        Close();
        return &m_pi;
    }
    HANDLE Process() const { return m_pi.hProcess; }

    void Close() {
        if (m_pi.hThread)
            CloseHandle(m_pi.hThread);
        if (m_pi.hProcess)
            CloseHandle(m_pi.hProcess);
        m_pi = PROCESS_INFORMATION{};
    }

  private:
    PROCESS_INFORMATION m_pi{};
};

} // namespace

int RunArchiver(const char* pszPath) {
    DWORD dwExitCode = DWORD(-1);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = g_bHidden ? SW_HIDE : SW_SHOWNORMAL;

    char szStem[kArcBufSize];
    char szFolder[kArcBufSize];
    char szCmdLine[kArcBufSize];
    // An empty "Arc" means no archiver is configured; it is never left to the
    // platform to pick a program from the command line. A command line that
    // does not fit is not run cut.
    if (!g_szArcExe[0] || !SplitArcPath(pszPath, szStem, szFolder, kArcBufSize) ||
        !FormatArcCmd(szCmdLine, sizeof szCmdLine, g_szArcCmd, szStem, pszPath, szFolder))
        return -1;

    CProcessHandles process;
    if (CreateProcessA(g_szArcExe, szCmdLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                       nullptr, nullptr, &si, process.Receive())) {
        WaitForSingleObject(process.Process(), INFINITE);
        if (!GetExitCodeProcess(process.Process(), &dwExitCode))
            dwExitCode = DWORD(-1);
    }
    return static_cast<int32_t>(dwExitCode);
}
