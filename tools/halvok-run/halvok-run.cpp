// halvok-run: runs halvok.exe from a terminal. It starts the program on a
// command line, prints each result line of its window as it appears (UTF-8,
// one a line; an empty line when a drop empties the list), and says how the
// run ended. scripts/run and the tests use it.
// The lines reach it through a hook in halvok's own thread (halvok-lines.dll,
// beside this program), so that even the last line of a window that closes
// itself at once is never missed.
//
//   halvok-run [--watch] HALVOK_EXE [TAIL]
//     TAIL is halvok's command line after the program's name, as one
//     argument. The run is over once every page that TAIL names has its
//     line (counted by the program's own intake rules), or with --watch only
//     once the window is closed; and when the window closes by itself.
//   halvok-run --close PID
//     Closes halvok's window (process PID) as the system menu's Close does,
//     and waits until the program has ended.
//
// Standard error tells the process ("halvok-run: process PID") and, at the
// end, that "halvok.exe ended" (with its exit code) or "the window is open".
// Exit status: 0 when every line is Ok (and there is one at least), 1
// otherwise; 2 on a usage error; 3 when halvok.exe could not be started.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fw/Handle.h"
#include "tools/halvok-run/HalvokLines.h"
#include "ui/PagePaths.h"

namespace {

// How long an all-Ok command-line run may take to close itself.
constexpr DWORD kCloseGraceMs = 15000;

// The lines of the window as the hook reports them, printed in order.
struct Lines {
    std::vector<std::string> text; // UTF-8, by index in the list
    size_t nPrinted = 0;
    bool bAllOk = true;
    size_t nSeen = 0; // lines shown in all, across emptyings

    void Set(size_t i, const std::string& line) {
        if (i >= text.size())
            text.resize(i + 1);
        text[i] = line;
        for (; nPrinted < text.size(); ++nPrinted) {
            static const char kOk[] = " [Ok]";
            const std::string& s = text[nPrinted];
            printf("%s\n", s.c_str());
            bAllOk = bAllOk && s.size() >= sizeof kOk - 1 &&
                     s.compare(s.size() - (sizeof kOk - 1), sizeof kOk - 1, kOk) == 0;
            ++nSeen;
        }
        fflush(stdout);
    }
    // An empty line says that the list was emptied (a new drop); no result
    // line is ever empty.
    void Empty() {
        text.clear(), nPrinted = 0;
        printf("\n");
        fflush(stdout);
    }
};
Lines g_lines;

LRESULT CALLBACK SinkProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    const auto* pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (pcds->dwData == kListEmptied) {
        g_lines.Empty();
        return TRUE;
    }
    char sz[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, static_cast<const WCHAR*>(pcds->lpData),
                                int(pcds->cbData / sizeof(WCHAR)), sz, sizeof sz, nullptr, nullptr);
    g_lines.Set(pcds->dwData, std::string(sz, size_t(n > 0 ? n : 0)));
    return TRUE;
}

// The pages the tail names, each of which will have its line.
size_t CountPages(const char* pszTail) {
    size_t nPages = 0;
    ForEachCmdLinePath(
        pszTail,
        [](const char* pszPath, void* pCount) {
            ForEachPage(
                pszPath, [](const char*, void* p) { ++*static_cast<size_t*>(p); }, pCount);
        },
        &nPages);
    return nPages;
}

struct WindowSearch {
    DWORD dwProcessId;
    HWND hFound;
};

// halvok's main window: the visible dialog of the process with the file list.
BOOL CALLBACK FindMainWindow(HWND hWnd, LPARAM lParam) {
    auto* s = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if (dwPid != s->dwProcessId || !IsWindowVisible(hWnd) || !GetDlgItem(hWnd, kFileListId))
        return TRUE;
    s->hFound = hWnd;
    return FALSE;
}

int Close(DWORD dwProcessId) {
    CHandle hProcess(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, dwProcessId));
    if (!hProcess.IsValid()) {
        fprintf(stderr, "halvok-run: no process %lu\n", dwProcessId);
        return 1;
    }
    WindowSearch search{dwProcessId, nullptr};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    if (search.hFound)
        PostMessageA(search.hFound, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The program finishes the page under way first, a running archiver too.
    WaitForSingleObject(hProcess.Get(), INFINITE);
    return 0;
}

// Loads the hook beside this program and sets it on halvok's main thread
// before that thread runs.
HHOOK SetLinesHook(DWORD dwThreadId) {
    char szDll[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, szDll, MAX_PATH);
    char* pszName = n && n < MAX_PATH ? strrchr(szDll, '\\') : nullptr;
    if (!pszName || size_t(pszName + 1 - szDll) + sizeof "halvok-lines.dll" > MAX_PATH)
        return nullptr;
    strcpy(pszName + 1, "halvok-lines.dll");
    HMODULE hDll = LoadLibraryA(szDll);
    FARPROC pfnHook = hDll ? GetProcAddress(hDll, "HalvokLinesHook") : nullptr;
    return pfnHook ? SetWindowsHookExA(WH_CALLWNDPROCRET,
                                       reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(pfnHook)),
                                       hDll, dwThreadId)
                   : nullptr;
}

int Usage() {
    fputs("usage: halvok-run [--watch] HALVOK_EXE [TAIL]\n"
          "       halvok-run --close PID\n",
          stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--close") == 0)
        return Close(strtoul(argv[2], nullptr, 10));
    const bool bWatch = argc > 1 && strcmp(argv[1], "--watch") == 0;
    const int nArg = bWatch ? 2 : 1;
    if (nArg >= argc || argc - nArg > 2)
        return Usage();
    // Lines end in "\n" alone, for the terminals and files of either system.
    _setmode(_fileno(stdout), _O_BINARY);
    const char* pszExe = argv[nArg];
    const char* pszTail = nArg + 1 < argc ? argv[nArg + 1] : "";
    const size_t nExpect = bWatch ? 0 : CountPages(pszTail);

    // halvok and its archiver write nothing into this program's output: they
    // get the null device, and no other handle of this program.
    for (DWORD dwStd : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(dwStd), HANDLE_FLAG_INHERIT, 0);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    CFileHandle hNul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                                 nullptr));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = hNul.Get();
    // Suspended, so that the hook is in place before the first line.
    std::string cmd = std::string("\"") + pszExe + "\"" + (*pszTail ? " " : "") + pszTail;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(pszExe, &cmd[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &si, &pi)) {
        fprintf(stderr, "halvok-run: cannot start %s (error %lu)\n", pszExe, GetLastError());
        return 3;
    }
    CHandle hProcess(pi.hProcess);
    CHandle hThread(pi.hThread);
    char szClass[64];
    snprintf(szClass, sizeof szClass, "%s%lu", kSinkClass, pi.dwProcessId);
    WNDCLASSA wc{};
    wc.lpfnWndProc = SinkProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = szClass;
    HHOOK hHook = nullptr;
    if (!RegisterClassA(&wc) ||
        !CreateWindowA(szClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr) ||
        !(hHook = SetLinesHook(pi.dwThreadId))) {
        fprintf(stderr, "halvok-run: cannot watch halvok's window (error %lu)\n", GetLastError());
        TerminateProcess(hProcess.Get(), 1);
        return 3;
    }
    fprintf(stderr, "halvok-run: process %lu\n", pi.dwProcessId);
    ResumeThread(hThread.Get());

    // The hook's news arrive as sent messages, handled while waiting here.
    bool bEnded = false;
    bool bDone = false; // every expected line is shown, since dwDoneAt
    DWORD dwDoneAt = 0;
    HANDLE hWait = hProcess.Get();
    while (!bEnded) {
        DWORD dwWake = MsgWaitForMultipleObjects(1, &hWait, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        bEnded = dwWake == WAIT_OBJECT_0;
        if (bEnded || bWatch || g_lines.text.size() < nExpect) {
            bDone = false;
            continue;
        }
        // Every line is in. A command-line run whose lines are all Ok closes
        // itself; any other stays open.
        if (!bDone)
            bDone = true, dwDoneAt = GetTickCount();
        if (!g_lines.bAllOk || g_lines.nSeen == 0 || GetTickCount() - dwDoneAt >= kCloseGraceMs)
            break;
    }
    UnhookWindowsHookEx(hHook);
    DWORD dwExit = 0;
    if (bEnded && GetExitCodeProcess(hProcess.Get(), &dwExit))
        fprintf(stderr, "halvok-run: halvok.exe ended; exit code %lu\n", dwExit);
    else
        fprintf(stderr, "halvok-run: the window is open\n");
    return g_lines.bAllOk && g_lines.nSeen > 0 ? 0 : 1;
}
