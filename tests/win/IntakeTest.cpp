// The form in which paths past MAX_PATH reach the file calls; posting the
// intake's jobs: a worker's queue that is full, and a post that the platform
// refuses for good. Wine sets no limit on a thread's queue, so
// the intake's post goes through a version that refuses as a full one does.
#include <gtest/gtest.h>

#include "app/Globals.h"
#include "fw/LongPath.h"
#include "tests/win/WinRig.h"
#include "ui/MainDlg.h"
#include "worker/WrkThread.h"

namespace {

const std::string kPage = "<html></html>";
int g_nPosted, g_nRefused;
const int kQueueSize = 3;

// Refuses a job while the worker holds kQueueSize of them not yet answered;
// the quit command at shutdown goes through.
BOOL WINAPI PostToSmallQueue(DWORD idThread, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (wParam != WRK_CMD_JOB)
        return PostThreadMessageA(idThread, uMsg, wParam, lParam);
    const int nAnswered =
        static_cast<int>(SendMessageA(GetDlgItem(g_hMainWnd, 1000), LB_GETCOUNT, 0, 0));
    if (g_nPosted - nAnswered >= kQueueSize) {
        ++g_nRefused;
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    ++g_nPosted;
    return PostThreadMessageA(idThread, uMsg, wParam, lParam);
}

// Refuses every job; the quit command at shutdown goes through.
BOOL WINAPI PostToNoThread(DWORD idThread, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (wParam != WRK_CMD_JOB)
        return PostThreadMessageA(idThread, uMsg, wParam, lParam);
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
}

// Wine takes long paths in their ordinary form too, so the cases cannot
// tell the "\\?\" form from it: its text is checked here.
TEST(LongPath, FormForTheFileCalls) {
    const std::wstring x257(257, L'x'), x300(300, L'x');
    wchar_t szCurrent[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, szCurrent);
    std::wstring current = szCurrent;
    if (current.back() != L'\\')
        current += L'\\';
    const std::wstring same; // the path itself is passed on, not a copy
    const struct {
        std::wstring path, form;
    } rows[] = {
        {L"C:\\p\\a.htm", same},
        {L"C:\\" + std::wstring(256, L'x'), same}, // 259 characters: still short
        {L"C:\\" + x257, L"\\\\?\\C:\\" + x257},
        {L"C:\\a\\..\\" + x300, L"\\\\?\\C:\\" + x300}, // the full path: ".." gone
        {L"\\\\srv\\share\\" + x300, L"\\\\?\\UNC\\srv\\share\\" + x300},
        {L"\\\\?\\C:\\" + x300, same},
        {L"\\\\.\\C:\\" + x300, same},
        {x300, L"\\\\?\\" + current + x300}, // relative: the current folder's path first
        {L"C:\\" + std::wstring(2100, L'x'), same}, // too long even so: passed on as it is
    };
    for (const auto& r : rows) {
        const CFilePath form(r.path.c_str());
        SCOPED_TRACE(Narrow(r.path.substr(0, 40)));
        if (r.form.empty())
            EXPECT_EQ(r.path.c_str(), form.Get());
        else
            EXPECT_EQ(r.form, form.Get());
    }
}

class IntakeTest : public testing::Test {
  protected:
    ~IntakeTest() override { g_pfnPostWorkerMessage = PostThreadMessageA; }
    ScratchDir m_dir{"intake"};
    RecordLedger m_ledger;
};

// Twelve pages for a queue of three: every page is processed, in order.
TEST_F(IntakeTest, JobsTheFullQueueRefusesWaitTheirTurn) {
    g_nPosted = g_nRefused = 0;
    g_pfnPostWorkerMessage = PostToSmallQueue;
    std::vector<std::string> expected;
    for (int i = 10; i < 22; ++i) {
        expected.push_back("p" + std::to_string(i) + ".htm [Ошибка: 5]");
    }
    CreateDirectoryA((m_dir / "pages").c_str(), nullptr);
    for (int i = 10; i < 22; ++i)
        m_dir.File("pages\\p" + std::to_string(i) + ".htm", kPage);
    // The stand-in archiver fails: every page gets a line with its name, and
    // the window stays open.
    SetEnvironmentVariableA("HALVOK_FAKEARC_EXIT", "5");
    TestApp app(m_dir.Ini("bMSIE=0\r\n"), m_dir / "pages");
    EXPECT_TRUE(WaitFor([&] { return app.Lines().size() == expected.size(); }, 60000));
    EXPECT_EQ(app.Lines(), expected);
    EXPECT_GT(g_nRefused, 0);
    app.Shutdown();
    EXPECT_EQ(RecordLedger::Alive(), 0);
}

// A post refused for any other reason would leave the count waiting for an
// answer that never comes: the job is freed and not counted.
TEST_F(IntakeTest, JobThePlatformRefusesIsFreedAndNotCounted) {
    g_pfnPostWorkerMessage = PostToNoThread;
    TestApp app(m_dir.Ini(""), m_dir.File("p.htm", kPage));
    EXPECT_EQ(g_nPending, 0);
    EXPECT_EQ(g_bAutoClose, 0);
    EXPECT_EQ(RecordLedger::Alive(), 0);
}

} // namespace
