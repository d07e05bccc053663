// halvok.exe itself: its version block, and a whole run in a folder of its
// own, started and closed from outside like a user's session.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/UiRig.h"
#include "ui/resource.h"

using namespace ui_test;

namespace {
std::string BinDir() {
    char sz[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, sz, MAX_PATH);
    std::string path(sz, n);
    return path.substr(0, path.find_last_of('\\'));
}

std::string VersionString(const std::string& block, const char* pszName) {
    UINT n = 0;
    char* psz = nullptr;
    std::string query = "\\StringFileInfo\\041904b0\\" + std::string(pszName);
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&psz), &n))
        return "<absent>";
    return std::string(psz);
}

// The main window of the given process, once it is up.
HWND FindMainWindow(DWORD dwProcessId) {
    struct Search {
        DWORD dwProcessId;
        HWND hFound;
    } search{dwProcessId, nullptr};
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD dwPid = 0;
            GetWindowThreadProcessId(hWnd, &dwPid);
            char szClass[32] = "";
            GetClassNameA(hWnd, szClass, sizeof szClass);
            if (dwPid == s->dwProcessId && strcmp(szClass, "#32770") == 0 &&
                IsWindowVisible(hWnd)) {
                s->hFound = hWnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// A started process, killed and closed if a test leaves it running.
class Process {
  public:
    bool Start(const std::string& exe, const std::string& dir) {
        std::string cmd = "\"" + exe + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                              dir.c_str(), &si, &m_pi) != FALSE;
    }
    ~Process() {
        if (m_pi.hProcess) {
            if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(m_pi.hProcess, 99);
            CloseHandle(m_pi.hProcess);
            CloseHandle(m_pi.hThread);
        }
    }
    DWORD Id() const { return m_pi.dwProcessId; }
    // The exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD WaitExitCode(DWORD ms) {
        DWORD dwCode = STILL_ACTIVE;
        if (WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_pi.hProcess, &dwCode);
        return dwCode;
    }

  private:
    PROCESS_INFORMATION m_pi{};
};
} // namespace

TEST(ProgramFile, VersionBlockReadsBack) {
    const std::string exe = BinDir() + "\\halvok.exe";
    DWORD dwHandle = 0;
    DWORD cb = GetFileVersionInfoSizeA(exe.c_str(), &dwHandle);
    ASSERT_GT(cb, 0u) << exe;
    std::string block(cb, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, cb, &block[0]));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &n));
    EXPECT_EQ(pFixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(pFixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(pFixed->dwFileVersionLS, 0x00050000u);
    EXPECT_EQ(pFixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(pFixed->dwProductVersionLS, 0x00050000u);
    EXPECT_EQ(pFixed->dwFileFlags & pFixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(pFixed->dwFileOS, DWORD(VOS__WINDOWS32));
    EXPECT_EQ(pFixed->dwFileType, DWORD(VFT_APP));

    WORD* pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pTranslation), &n));
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(pTranslation[0], 0x0419);
    EXPECT_EQ(pTranslation[1], 0x04B0);

    const struct {
        const char* pszName;
        const char* pszValue; // nullptr: any notice that is not empty
    } strings[] = {
        {"FileVersion", "1, 1, 5, 0"},
        {"ProductVersion", "1, 1, 5, 0"},
        {"FileDescription", "Halvok"},
        {"InternalName", "Halvok"},
        {"OriginalFilename", "Halvok.exe"},
        {"LegalCopyright", nullptr},
        {"CompanyName", ""},
        {"ProductName", ""},
    };
    for (const auto& s : strings) {
        std::string value = VersionString(block, s.pszName);
        if (s.pszValue) {
            EXPECT_EQ(value, s.pszValue) << s.pszName;
        } else {
            EXPECT_FALSE(value.empty() || value == "<absent>") << s.pszName;
        }
    }
}

TEST(Program, RunsInItsOwnFolderAndExitsWithTheFrameworksCode) {
    struct Case {
        const char* pszName;
        const char* pszKeys; // nullptr: no settings file beside the program
        UINT uCloseMsg;
        WPARAM wCloseParam;
        LONG x, y;
        bool bArc;
        const char* pszWritten;
    } cases[] = {
        {"first start", nullptr, WM_SYSCOMMAND, SC_CLOSE, 2, 2, true, "2,2,1,1"},
        {"saved keys", "[Options]\r\nPosX=33\r\nPosY=44\r\nbArc=0\r\n", WM_CLOSE, 0, 33, 44, false,
         "33,44,0,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        Scratch dir("program");
        const std::string exe = dir / "halvok.exe";
        const std::string ini = dir / "halvok.ini";
        ASSERT_TRUE(CopyFileA((BinDir() + "\\halvok.exe").c_str(), exe.c_str(), FALSE));
        if (c.pszKeys) {
            ASSERT_TRUE(WriteBytes(ini, c.pszKeys));
        }

        Process proc;
        ASSERT_TRUE(proc.Start(exe, dir.Path()));
        HWND hDlg = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (hDlg = FindMainWindow(proc.Id())) != nullptr; }, 20000));
        RECT rc{};
        GetWindowRect(hDlg, &rc);
        EXPECT_EQ(rc.left, c.x);
        EXPECT_EQ(rc.top, c.y);
        EXPECT_EQ(WindowTextOf(hDlg), "Перетащите каталог в окно");
        HWND hArc = GetDlgItem(hDlg, IDC_ARCHIVE);
        EXPECT_EQ(SendMessageA(hArc, BM_GETCHECK, 0, 0) == BST_CHECKED, c.bArc);

        PostMessageA(hDlg, c.uCloseMsg, c.wCloseParam, 0);
        EXPECT_EQ(proc.WaitExitCode(20000), 0u);
        EXPECT_EQ(WindowKeysText(ini), c.pszWritten);
    }
}
