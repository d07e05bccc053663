// The Windows test rig: see WinRig.h.
#include "tests/win/WinRig.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

#include "app/Globals.h"
#include "app/Settings.h"
#include "ui/MainDlg.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

namespace {

std::mutex g_lock;
std::set<void*> g_alive;
int g_nBadFrees;

void* LedgerAlloc(size_t nBytes) {
    // Filled, so that a record used without being written shows.
    return RecordLedger::Track(memset(malloc(nBytes), 0xA5, nBytes));
}

void LedgerFree(void* p) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_alive.erase(p))
        free(p);
    else
        ++g_nBadFrees;
}

void (*volatile g_pfnDialogTask)();

void CALLBACK RunDialogTask(HWND, UINT, UINT_PTR, DWORD) {
    if (void (*pfn)() = g_pfnDialogTask) {
        g_pfnDialogTask = nullptr;
        pfn();
    }
}

DWORD WINAPI RunDialog(LPVOID) {
    SetTimer(nullptr, 0, 20, RunDialogTask);
    return static_cast<DWORD>(CMainDlg().DoModal());
}

} // namespace

ScratchDir::ScratchDir(const char* pszTag) {
    m_path = (std::filesystem::temp_directory_path() /
              ("hv-" + std::string(pszTag) + "-" + std::to_string(GetCurrentProcessId())))
                 .string();
    std::filesystem::remove_all(m_path); // left over by an earlier process of the same id
    std::filesystem::create_directories(m_path);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ScratchDir::File(const std::string& name, const std::string& bytes) const {
    std::string path = *this / name;
    WriteBytes(path, bytes);
    return path;
}

std::string ScratchDir::Ini(const std::string& keys) const {
    return File("halvok.ini", "[Options]\r\nArc=" + ProgramDir() +
                                  "fakearc.exe\r\nCom=fakearc \"%s\"\r\n" + keys);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    return static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string ProgramDir() {
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path(szPath, n < MAX_PATH ? n : 0);
    return path.substr(0, path.find_last_of('\\') + 1);
}

RecordLedger::RecordLedger() {
    g_alive.clear();
    g_nBadFrees = 0;
    g_pfnWrkRecordAlloc = LedgerAlloc;
    g_pfnWrkRecordFree = LedgerFree;
}

RecordLedger::~RecordLedger() {
    g_pfnWrkRecordAlloc = malloc;
    g_pfnWrkRecordFree = free;
}

void* RecordLedger::Track(void* pRecord) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_alive.insert(pRecord);
    return pRecord;
}

int RecordLedger::Alive() {
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<int>(g_alive.size());
}

int RecordLedger::BadFrees() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_nBadFrees;
}

std::wstring Wide(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    w.resize(size_t(MultiByteToWideChar(1251, 0, s.data(), int(s.size()), &w[0], int(w.size()))));
    return w;
}

std::string Narrow(const std::wstring& w) {
    std::string s(w.size() * 2, '\0');
    s.resize(size_t(WideCharToMultiByte(1251, 0, w.data(), int(w.size()), &s[0], int(s.size()),
                                        nullptr, nullptr)));
    return s;
}

TestApp::TestApp(const std::string& ini, const std::string& tail) : m_tail(Wide(tail)) {
    lstrcpynW(g_szIniPath, Wide(ini).c_str(), MAX_PATH);
    ReadArcSettings();
    m_app.m_lpCmdLine = &m_tail[0];
    g_pMainApp = &m_app;
    g_nPending = g_bAutoClose = 0;
    g_hMainWnd = nullptr;
    g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
    g_pWrkThread = AfxBeginThread<CWrkThread>();
    PostThreadMessageA(g_pWrkThread->m_nThreadID, WM_COMMAND, WRK_CMD_NUDGE, 0);
    m_hDialog = CreateThread(nullptr, 0, RunDialog, nullptr, 0, nullptr);
    WaitFor([] { return g_hMainWnd && IsWindowVisible(g_hMainWnd); });
}

TestApp::~TestApp() {
    Shutdown();
    CloseHandle(m_hDialog);
    g_pMainApp = nullptr;
}

std::vector<std::string> TestApp::Lines() const {
    HWND hList = GetDlgItem(g_hMainWnd, 1000);
    std::vector<std::string> lines;
    for (LRESULT i = 0, n = SendMessageA(hList, LB_GETCOUNT, 0, 0); i < n; ++i) {
        wchar_t sz[1024] = L"";
        SendMessageW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(sz));
        lines.push_back(Narrow(sz));
    }
    return lines;
}

void TestApp::OnDialogThread(void (*pfnTask)()) {
    g_pfnDialogTask = pfnTask;
    WaitFor([] { return !g_pfnDialogTask; });
}

int TestApp::Shutdown() {
    if (m_bShutDown)
        return 0;
    m_bShutDown = true;
    if (WaitForSingleObject(m_hDialog, 0) == WAIT_TIMEOUT) {
        PostMessageA(g_hMainWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        WaitForSingleObject(m_hDialog, INFINITE);
    }
    return m_app.ExitInstance();
}
