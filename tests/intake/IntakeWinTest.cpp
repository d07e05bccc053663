// The intake and the results display under Wine on real files: a stand-in
// worker records the jobs posted to it; drops are real HDROPs; the main
// dialog runs modally on a thread of its own.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/Globals.h"
#include "app/Settings.h"
#include "fw/WinApp.h"
#include "tests/helpers/WinScratch.h"
#include "tests/intake/Texts1251.h"
#include "ui/MainDlg.h"
#include "worker/IntakeGate.h"
#include "worker/WrkThread.h"

namespace {

template <class T> T Shared(const T& value) {
    return *static_cast<const volatile T*>(&value);
}

struct JobSeen {
    std::string path;
    int bArchive, bFixHtml, nPendingAtStart;
};
std::mutex g_lock;
std::vector<JobSeen> g_jobs;

std::vector<JobSeen> Jobs() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_jobs;
}

// Takes jobs like the real worker (after the intake gate) and records them.
class CStandInWorker : public CWrkThread {
  public:
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message != WM_COMMAND || pMsg->hwnd)
            return CWinThread::PreTranslateMessage(pMsg);
        if (pMsg->wParam == WRK_CMD_QUIT)
            PostQuitMessage(0);
        if (pMsg->wParam == WRK_CMD_JOB) {
            auto* pJob = (WrkJob*)pMsg->lParam;
            IntakeGateWait();
            std::lock_guard<std::mutex> guard(g_lock);
            g_jobs.push_back({pJob->szPath, pJob->bArchive, pJob->bFixHtml, Shared(g_nPending)});
            free(pJob);
        }
        return TRUE;
    }
};

struct StandInWorker {
    StandInWorker() {
        g_jobs.clear();
        p->m_bAutoDelete = FALSE;
        g_pWrkThread = p;
        g_nPending = g_bAutoClose = 0;
    }
    ~StandInWorker() {
        PostThreadMessageA(p->m_nThreadID, WM_COMMAND, WRK_CMD_QUIT, 0);
        WaitForSingleObject(p->m_hThread, 10000);
        delete p;
        g_pWrkThread = nullptr;
    }
    CStandInWorker* p = AfxBeginThread<CStandInWorker>();
};

// The paths of the jobs taken, once the worker has every job counted so far.
std::vector<std::string> Taken() {
    size_t n = (size_t)g_nPending;
    WaitFor([n] { return Jobs().size() >= n; });
    std::vector<std::string> paths;
    for (const JobSeen& j : Jobs())
        paths.push_back(j.path);
    return paths;
}

void PostResult(int32_t nStatus, const std::string& name) {
    auto* pResult = (WrkResult*)calloc(1, sizeof(WrkResult));
    pResult->nStatus = nStatus;
    strcpy(pResult->szName, name.c_str());
    PostMessageA(Shared(g_hMainWnd), WM_COMMAND, ID_JOB_DONE, (LPARAM)pResult);
}

// A drop handle as the shell makes it: DROPFILES and double-NUL-ended names.
HDROP MakeDrop(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names)
        list += n + '\0';
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() + 1);
    auto* pDrop = static_cast<DROPFILES*>(GlobalLock(hMem));
    pDrop->pFiles = sizeof(DROPFILES);
    memcpy(pDrop + 1, list.data(), list.size());
    GlobalUnlock(hMem);
    return static_cast<HDROP>(hMem);
}

std::string AddCmdLine(CMainDlg& dlg, std::string tail) {
    CWinApp app;
    app.m_lpCmdLine = &tail[0];
    g_pMainApp = &app;
    dlg.AddCmdLine();
    g_pMainApp = nullptr;
    return tail.c_str();
}

DWORD WINAPI EndAtOnce(LPVOID) {
    return 0;
}

DWORD WINAPI RunMainDialog(LPVOID) {
    return (DWORD)CMainDlg().DoModal();
}

TEST(ResolveFileName, StoredCaseAndLongNameForTheShortAlias) {
    ScratchDir dir("res");
    std::string page = dir.File("Page One.html");
    char szShort[MAX_PATH] = "", szOut[1024];
    ASSERT_GT(GetShortPathNameA(page.c_str(), szShort, MAX_PATH), 0u);
    std::string alias = szShort, aliasDir = alias.substr(0, alias.rfind('\\'));
    ASSERT_NE(aliasDir + "\\Page One.html", alias);
    ResolveFileName((dir / "PAGE ONE.HTML").c_str(), szOut);
    EXPECT_EQ(szOut, page);
    ResolveFileName(alias.c_str(), szOut);
    EXPECT_EQ(szOut, aliasDir + "\\Page One.html");
}

// A folder is scanned one level deep; x.shtml and x.HTML named directly are
// pages, x.Htm, x.mht and x are not; folder entries and patterns whose paths
// outgrow MAX_PATH are skipped.
TEST(AddPath, FolderScanPagesNamedDirectlyAndTooLongEntries) {
    StandInWorker worker;
    ScratchDir dir("scan"), direct("direct");
    for (const char* name : {"a.htm", "b.html", "c.HTML", "d.Html", "e.txt", "f.htm.bak"})
        dir.File(name);
    dir.Folder("g.htm");
    dir.File("g.htm\\deeper.htm");
    std::vector<std::string> expected;
    for (const std::string& name : SearchOrder(dir.Path()))
        if (name == "a.htm" || name == "b.html" || name == "c.HTML")
            expected.push_back(dir / name);
    CMainDlg dlg;
    dlg.AddPath(dir.Path().c_str());
    for (const char* name : {"x.shtml", "x.HTML", "x.Htm", "x.mht", "x"})
        dlg.AddPath(direct.File(name).c_str());
    expected.push_back(direct / "x.shtml");
    expected.push_back(direct / "x.HTML");

    std::string deep = direct.Folder(std::string(229 - direct.Path().size(), 'd'));
    std::string fits = deep + "\\" + std::string(24, 'f') + ".htm";
    std::string over = deep + "\\" + std::string(25, 'o') + ".htm";
    ASSERT_TRUE(WriteBytes(fits, "") && WriteBytes(over, ""));
    dlg.AddPath(deep.c_str());
    dlg.AddPath((deep + "\\o*").c_str());
    expected.push_back(fits);
    EXPECT_EQ(Taken(), expected);
}

// Every close of the intake gate is matched, an empty tail's too; the whole
// batch is queued before the worker takes its first job; a token too long
// for the path buffers (1024) is skipped, not cut.
TEST(AddCmdLine, GateCountAndTooLongTokens) {
    ScratchDir dir("cmd");
    std::string a = dir.File("a b.htm"), b = dir.File("b.html");
    std::string fits = dir / (std::string(1023 - dir.Path().size() - 5, 'e') + ".htm");
    std::string over = dir / (std::string(1024 - dir.Path().size() - 5, 'e') + ".htm");
    const struct {
        std::string tail;
        std::vector<std::string> jobs;
    } cases[] = {{"", {}}, {"\"" + a + "\" " + b, {a, b}}, {over + " " + fits, {fits}}};
    for (const auto& c : cases) {
        StandInWorker worker;
        CMainDlg dlg;
        EXPECT_EQ(AddCmdLine(dlg, c.tail), c.tail);
        EXPECT_TRUE(IntakeGateIsOpen());
        EXPECT_EQ(g_bAutoClose, (int)c.jobs.size());
        EXPECT_EQ(Taken(), c.jobs);
        for (const JobSeen& j : Jobs())
            EXPECT_EQ(j.nPendingAtStart, (int)c.jobs.size());
    }
}

// A job the platform refuses to post is freed and not counted: the count
// would wait for an answer that never comes.
TEST(AddPath, RefusedPostIsNotCounted) {
    ScratchDir dir("refused");
    HANDLE hEnded = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
    WaitForSingleObject(hEnded, INFINITE);
    CStandInWorker gone;
    gone.m_nThreadID = GetThreadId(hEnded);
    CloseHandle(hEnded);
    g_pWrkThread = &gone;
    g_nPending = g_bAutoClose = 0;
    CMainDlg dlg;
    AddCmdLine(dlg, dir.File("p.htm"));
    g_pWrkThread = nullptr;
    EXPECT_EQ(g_nPending, 0);
    EXPECT_EQ(g_bAutoClose, 0);
    EXPECT_TRUE(IntakeGateIsOpen());
}

// The main dialog, run modally on its own thread as the application runs it.
class MainDialog : public ::testing::Test {
  protected:
    void Open(int bArc, const std::string& tail) {
        std::string ini = m_dir / "halvok.ini";
        WritePrivateProfileStringA("Options", "bArc", bArc ? "1" : "0", ini.c_str());
        lstrcpynA(g_szIniPath, ini.c_str(), MAX_PATH);
        m_tail = tail;
        m_app.m_lpCmdLine = &m_tail[0];
        g_pMainApp = &m_app;
        g_hMainWnd = nullptr;
        m_hThread = CreateThread(nullptr, 0, RunMainDialog, nullptr, 0, nullptr);
        ASSERT_TRUE(WaitFor([] { return Shared(g_hMainWnd) && IsWindowVisible(g_hMainWnd); }));
        Sync();
    }
    void TearDown() override {
        if (WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT) {
            PostMessageA(g_hMainWnd, WM_COMMAND, IDCANCEL, 0);
            WaitForSingleObject(m_hThread, 10000);
        }
        CloseHandle(m_hThread);
        g_pMainApp = nullptr;
    }
    void Sync() { SendMessageA(g_hMainWnd, WM_NULL, 0, 0); }
    void Drop(const std::vector<std::string>& names) {
        SendMessageA(g_hMainWnd, WM_DROPFILES, (WPARAM)MakeDrop(names), 0);
    }
    std::vector<std::string> Lines() {
        HWND hList = GetDlgItem(g_hMainWnd, 1000);
        std::vector<std::string> lines;
        for (int i = 0, n = (int)SendMessageA(hList, LB_GETCOUNT, 0, 0); i < n; ++i) {
            std::string s((size_t)SendMessageA(hList, LB_GETTEXTLEN, i, 0), '\0');
            SendMessageA(hList, LB_GETTEXT, i, (LPARAM)&s[0]);
            lines.push_back(s);
        }
        return lines;
    }
    bool WaitLines(size_t n) {
        bool bOk = WaitFor([&] { return Lines().size() == n; });
        Sync();
        return bOk;
    }
    std::string Caption() {
        char sz[512] = "";
        GetWindowTextA(g_hMainWnd, sz, sizeof sz);
        return sz;
    }

    StandInWorker m_worker;
    ScratchDir m_dir{"dlg"};
    CWinApp m_app;
    std::string m_tail;
    HANDLE m_hThread = nullptr;
};

// Files and folders together, in order; the list emptied once; a name too
// long for the dropped-name buffer skipped, not cut to a page's name.
TEST_F(MainDialog, DropOfFilesAndFolders) {
    Open(0, "");
    m_dir.File("p1.html");
    m_dir.Folder("F");
    for (const char* name : {"F\\a.htm", "F\\b.htm", "F\\notes.txt", "p2.HTM"})
        m_dir.File(name);
    std::vector<std::string> expected{m_dir / "p1.html"};
    for (const std::string& name : SearchOrder(m_dir / "F", "*.htm"))
        expected.push_back(m_dir / "F\\" + name);
    expected.push_back(m_dir / "p2.HTM");
    SendMessageA(GetDlgItem(g_hMainWnd, 1000), LB_ADDSTRING, 0, (LPARAM) "earlier");
    Drop({m_dir / "p1.html", m_dir / "F", m_dir / ("x.htm" + std::string(300, 'h')),
          m_dir / "p2.HTM"});
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Taken(), expected);
    for (const JobSeen& j : Jobs())
        EXPECT_TRUE(j.bArchive == 0 && j.bFixHtml == 1 && j.nPendingAtStart == 4) << j.path;
    EXPECT_TRUE(IntakeGateIsOpen());
}

// A command-line run is armed to close; any status but 0 disarms it. Lines
// byte-exact in Windows-1251; results after a new drop land in the emptied
// list; the caption is restored once nothing is pending.
TEST_F(MainDialog, ResultLinesNewDropAndIdleCaption) {
    Open(1, m_dir.File("p0.htm") + " " + m_dir.File("p1.htm"));
    EXPECT_EQ(Shared(g_bAutoClose), 2);
    SetWindowTextA(g_hMainWnd, "p0.htm"); // as the worker sets it
    PostResult(STATUS_NO_ACTION, "p0.htm");
    ASSERT_TRUE(WaitLines(1));
    EXPECT_EQ(Shared(g_bAutoClose), 0);
    EXPECT_EQ(Caption(), "p0.htm");
    PostResult(STATUS_NO_ARCHIVER, "p1.htm");
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ(Lines(), (std::vector<std::string>{TEXT_NO_ACTION, TEXT_NO_ARCHIVER}));
    EXPECT_EQ(Caption(), TEXT_IDLE_CAPTION);

    const std::string cyr = "\xCF\xF0\xE8\xE2\xE5\xF2.htm";
    Drop({m_dir.File("p2.htm"), m_dir.File(cyr)});
    EXPECT_TRUE(Lines().empty());
    SetWindowTextA(g_hMainWnd, "p2.htm");
    PostResult((int32_t)0xFFFFFFFDu, "p2.htm");
    PostResult(STATUS_OK, cyr);
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"p2.htm [" TEXT_ERROR ": -3]", cyr + " [Ok]"}));
    EXPECT_EQ(Caption(), TEXT_IDLE_CAPTION);
    EXPECT_EQ(WaitForSingleObject(m_hThread, 300), (DWORD)WAIT_TIMEOUT);
}

} // namespace
