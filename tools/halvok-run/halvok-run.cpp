// halvok-run: runs halvok.exe from a terminal. It starts the program on a
// command line, prints each result line of its window as it appears (UTF-8,
// one a line; an empty line when a drop empties the list), and says how the
// run ended. scripts/run and the tests use it.
// The lines reach it through a hook in halvok's own thread (halvok-lines.dll,
// beside this program), so that even the last line of a window that closes
// itself at once is never missed. A thread of its own takes the hook's news
// at once and keeps them; the main thread prints them, so that a slow
// terminal or a full pipe never holds halvok's window.
//
//   halvok-run [--watch] HALVOK_EXE [TAIL]
//     TAIL is halvok's command line after the program's name, as one
//     argument. The run is over once every page that TAIL names, and every
//     input it cannot take, has its line (counted by the program's own
//     intake rules), or with --watch only
//     once the window is closed; and when the window closes by itself.
//     Arguments are taken from the wide command line and handed on wide, so
//     that names in any script reach halvok.exe whole.
//   halvok-run --close PID [SECONDS]
//     Closes halvok's window (process PID) as the system menu's Close does,
//     and waits until the program has ended, at most SECONDS (30).
//
// Standard error tells the process ("halvok-run: process PID") and, at the
// end, that "halvok.exe ended" (with its exit code) or "the window is open".
// A line of the window that could not be taken (halvok-run stopped for
// seconds) is printed as "halvok-run: line N of the window was lost".
// Exit status: 0 when every line is Ok (and there is one at least, and one
// for every page named) and halvok.exe ended with exit code 0, or, with
// --watch, is still open; 1 otherwise: also when a run without --watch
// whose lines are all Ok leaves its window open past the time it has to
// close itself (said on standard error), and when --close could not end the
// program in time; 2 on a usage error; 3 when halvok.exe could not be
// started.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "fw/Handle.h"
#include "tools/halvok-run/HalvokLines.h"
#include "ui/PagePaths.h"

namespace {

// How long an all-Ok command-line run may take to close itself.
constexpr DWORD kCloseGraceMs = 15000;
// How long halvok.exe may take to show its window.
constexpr DWORD kWindowWaitMs = 60000;

// A critical section, entered for the life of a Held.
class CLock {
  public:
    CLock() { InitializeCriticalSection(&m_cs); }
    ~CLock() { DeleteCriticalSection(&m_cs); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;
    class Held {
      public:
        explicit Held(CLock& lock) : m_lock(lock) { EnterCriticalSection(&m_lock.m_cs); }
        ~Held() { LeaveCriticalSection(&m_lock.m_cs); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

      private:
        CLock& m_lock;
    };

  private:
    CRITICAL_SECTION m_cs;
};

// One piece of news from the hook: line `index` of the list, or, with index
// kListEmptied, the list emptied.
struct News {
    ULONG_PTR index;
    std::string text; // UTF-8
};

// The news the receiving thread keeps for the main thread, in order.
class NewsQueue {
  public:
    NewsQueue() : m_hReady(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    HANDLE Ready() const { return m_hReady.Get(); }
    void Push(News news) {
        CLock::Held held(m_lock);
        m_news.push_back(std::move(news));
        SetEvent(m_hReady.Get());
    }
    std::vector<News> Take() {
        CLock::Held held(m_lock);
        std::vector<News> news;
        news.swap(m_news);
        return news;
    }

  private:
    CLock m_lock;
    std::vector<News> m_news;
    CHandle m_hReady; // set when news comes
};
NewsQueue g_news;

// The lines of the window as the hook reports them, printed in order by the
// main thread.
struct Lines {
    size_t nShown = 0; // lines of the list now: the index the next one takes
    bool bAllOk = true;
    size_t nSeen = 0; // lines shown in all, across emptyings

    void Print(const News& news) {
        if (news.index == kListEmptied) {
            // An empty line says that the list was emptied (a new drop); no
            // result line is ever empty.
            nShown = 0;
            printf("\n");
            return;
        }
        // The hook reports every line in order, on halvok's one thread: a
        // line it could not hand over leaves a gap before the next.
        for (; nShown < news.index; ++nShown, ++nSeen, bAllOk = false)
            printf("halvok-run: line %u of the window was lost\n", unsigned(nShown + 1));
        static const char kOk[] = " [Ok]";
        const std::string& s = news.text;
        printf("%s\n", s.c_str());
        bAllOk = bAllOk && s.size() >= sizeof kOk - 1 &&
                 s.compare(s.size() - (sizeof kOk - 1), sizeof kOk - 1, kOk) == 0;
        ++nShown, ++nSeen;
    }
    // Prints the news that came; true when there was some.
    bool PrintNews() {
        const std::vector<News> news = g_news.Take();
        for (const News& n : news)
            Print(n);
        fflush(stdout);
        return !news.empty();
    }
};
Lines g_lines;

// The cch UTF-16 units at psz in UTF-8; cch -1: up to the terminating NUL.
std::string Utf8(const wchar_t* psz, int cch = -1) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, psz, cch, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, psz, cch, &s[0], n, nullptr, nullptr);
    if (cch < 0 && !s.empty())
        s.resize(s.size() - 1); // the NUL
    return s;
}

// The receiving window's procedure: each piece of news is kept and answered
// at once, so that halvok's thread, which waits for the answer, goes on.
LRESULT CALLBACK SinkProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    const auto* pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    News news{pcds->dwData, std::string()};
    if (news.index != kListEmptied) {
        news.text = Utf8(static_cast<const wchar_t*>(pcds->lpData),
                         int(pcds->cbData / sizeof(wchar_t)));
    }
    g_news.Push(std::move(news));
    return TRUE;
}

// The receiving thread: it makes the window the hook finds by its class
// name, sets hUp (its window made, or not), and runs a message loop that
// does nothing else until WM_QUIT.
struct Receiver {
    const char* pszClass;
    HANDLE hUp;
    HWND hWnd; // null when it could not be made
};

DWORD WINAPI ReceiverThread(LPVOID pParam) {
    auto* r = static_cast<Receiver*>(pParam);
    WNDCLASSA wc{};
    wc.lpfnWndProc = SinkProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = r->pszClass;
    r->hWnd = RegisterClassA(&wc) ? CreateWindowA(r->pszClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                  nullptr, wc.hInstance, nullptr)
                                  : nullptr;
    const bool bUp = r->hWnd != nullptr;
    SetEvent(r->hUp); // r is not touched after this
    MSG msg;
    while (bUp && GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// The lines the tail's run will show: one for each page it names (each page
// once) and one for each input the program cannot take.
void CountLine(const wchar_t*, int32_t, void* pCount) {
    ++*static_cast<size_t*>(pCount);
}

size_t CountLines(const wchar_t* pszTail) {
    size_t nLines = 0;
    PageIntake intake(CountLine, &nLines);
    intake.AddCmdLine(pszTail);
    return nLines;
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

HWND MainWindowOf(DWORD dwProcessId) {
    WindowSearch search{dwProcessId, nullptr};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

int Close(DWORD dwProcessId, DWORD dwSeconds) {
    CHandle hProcess(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, dwProcessId));
    if (!hProcess.IsValid()) {
        fprintf(stderr, "halvok-run: no process %lu\n", dwProcessId);
        return 1;
    }
    // The window may not be up yet: it is looked for while the process runs.
    // The program then finishes the page under way, a running archiver too.
    bool bAsked = false;
    const DWORD dwStart = GetTickCount();
    while (WaitForSingleObject(hProcess.Get(), 100) == WAIT_TIMEOUT) {
        if (!bAsked)
            if (HWND hWnd = MainWindowOf(dwProcessId))
                bAsked = PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
        if (GetTickCount() - dwStart >= dwSeconds * 1000) {
            fprintf(stderr,
                    bAsked ? "halvok-run: process %lu did not end within %lu s of the close "
                             "(a page or its archiver still at work)\n"
                           : "halvok-run: process %lu showed no window to close within %lu s\n",
                    dwProcessId, dwSeconds);
            return 1;
        }
    }
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
          "       halvok-run --close PID [SECONDS]\n",
          stderr);
    return 2;
}

// The arguments from the wide command line; freed with the object.
class WideArgs {
  public:
    WideArgs() : m_argv(CommandLineToArgvW(GetCommandLineW(), &m_argc)) {}
    ~WideArgs() { LocalFree(m_argv); }
    WideArgs(const WideArgs&) = delete;
    WideArgs& operator=(const WideArgs&) = delete;
    int Count() const { return m_argv ? m_argc : 0; }
    const wchar_t* operator[](int i) const { return m_argv[i]; }

  private:
    int m_argc = 0;
    LPWSTR* m_argv;
};

} // namespace

int main() {
    const WideArgs argv;
    const int argc = argv.Count();
    if ((argc == 3 || argc == 4) && wcscmp(argv[1], L"--close") == 0)
        return Close(wcstoul(argv[2], nullptr, 10), argc == 4 ? wcstoul(argv[3], nullptr, 10) : 30);
    const bool bWatch = argc > 1 && wcscmp(argv[1], L"--watch") == 0;
    const int nArg = bWatch ? 2 : 1;
    if (nArg >= argc || argc - nArg > 2)
        return Usage();
    // Lines end in "\n" alone, for the terminals and files of either system.
    _setmode(_fileno(stdout), _O_BINARY);
    const wchar_t* pszExe = argv[nArg];
    const wchar_t* pszTail = nArg + 1 < argc ? argv[nArg + 1] : L"";
    const size_t nExpect = bWatch ? 0 : CountLines(pszTail);

    // halvok and its archiver write nothing into this program's output: they
    // get the null device, and no other handle of this program.
    for (DWORD dwStd : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(dwStd), HANDLE_FLAG_INHERIT, 0);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    CFileHandle hNul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                                 nullptr));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = hNul.Get();
    // Suspended, so that the hook is in place before the first line.
    std::wstring cmd = std::wstring(L"\"") + pszExe + L"\"" + (*pszTail ? L" " : L"") + pszTail;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(pszExe, &cmd[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &si, &pi)) {
        fprintf(stderr, "halvok-run: cannot start %s (error %lu)\n", Utf8(pszExe).c_str(),
                GetLastError());
        return 3;
    }
    CHandle hProcess(pi.hProcess);
    CHandle hThread(pi.hThread);
    char szClass[64];
    snprintf(szClass, sizeof szClass, "%s%lu", kSinkClass, pi.dwProcessId);
    CHandle hUp(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Receiver receiver{szClass, hUp.Get(), nullptr};
    DWORD idReceiver = 0;
    CHandle hReceiver(
        hUp.Get() ? CreateThread(nullptr, 0, ReceiverThread, &receiver, 0, &idReceiver) : nullptr);
    if (hReceiver.Get())
        WaitForSingleObject(hUp.Get(), INFINITE);
    HHOOK hHook = nullptr;
    if (!receiver.hWnd || !(hHook = SetLinesHook(pi.dwThreadId))) {
        fprintf(stderr, "halvok-run: cannot watch halvok's window (error %lu)\n", GetLastError());
        TerminateProcess(hProcess.Get(), 1);
        return 3;
    }
    fprintf(stderr, "halvok-run: process %lu\n", pi.dwProcessId);
    ResumeThread(hThread.Get());

    bool bEnded = false;
    bool bWindow = false;     // halvok's window has been seen
    bool bDone = false;       // every expected line is shown, since dwDoneAt
    bool bStayedOpen = false; // all Ok, yet the window outlived its grace
    const DWORD dwStart = GetTickCount();
    DWORD dwDoneAt = 0;
    const HANDLE waits[2] = {hProcess.Get(), g_news.Ready()};
    while (!bEnded) {
        bEnded = WaitForMultipleObjects(2, waits, FALSE, 50) == WAIT_OBJECT_0;
        g_lines.PrintNews();
        bWindow = bWindow || bEnded || MainWindowOf(pi.dwProcessId);
        if (!bWindow && GetTickCount() - dwStart >= kWindowWaitMs)
            break;
        if (bEnded || bWatch || !bWindow || g_lines.nShown < nExpect) {
            bDone = false;
            continue;
        }
        // Every line is in. A command-line run whose lines are all Ok closes
        // itself; any other stays open.
        if (!bDone)
            bDone = true, dwDoneAt = GetTickCount();
        if (!g_lines.bAllOk || g_lines.nSeen == 0)
            break;
        if (GetTickCount() - dwDoneAt >= kCloseGraceMs) {
            bStayedOpen = true;
            break;
        }
    }
    UnhookWindowsHookEx(hHook);
    PostThreadMessageA(idReceiver, WM_QUIT, 0, 0);
    WaitForSingleObject(hReceiver.Get(), INFINITE);
    g_lines.PrintNews(); // news that came meanwhile
    DWORD dwExit = 0;
    if (bEnded && GetExitCodeProcess(hProcess.Get(), &dwExit))
        fprintf(stderr, "halvok-run: halvok.exe ended; exit code %lu\n", dwExit);
    else if (bStayedOpen)
        fprintf(stderr,
                "halvok-run: every line is Ok, yet the window did not close by itself "
                "within %lu s\n",
                kCloseGraceMs / 1000);
    else if (bWindow)
        fprintf(stderr, "halvok-run: the window is open\n");
    else
        fprintf(stderr, "halvok-run: halvok.exe runs, but showed no window within %lu s\n",
                kWindowWaitMs / 1000);
    // A program that crashed, or ended with lines still missing, did not do
    // what was asked, whatever its lines said.
    const bool bOk = g_lines.bAllOk && g_lines.nSeen > 0 && g_lines.nSeen >= nExpect && bWindow &&
                     !bStayedOpen && (!bEnded || dwExit == 0);
    return bOk ? 0 : 1;
}
