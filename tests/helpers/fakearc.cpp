// A stand-in archiver for the tests. It appends its whole command line (one
// line, UTF-8) to the file named by HALVOK_FAKEARC_LOG, sleeps HALVOK_FAKEARC_SLEEP_MS
// milliseconds, and exits with a chosen code:
//   HALVOK_FAKEARC_RULES="text=code;text=code" picks the code of the first
//   rule whose text occurs in the command line; otherwise HALVOK_FAKEARC_EXIT;
//   otherwise 0. Codes are decimal or 0x-hexadecimal (0xFFFFFFFD is -3).
//   HALVOK_FAKEARC_CRASH=text: when text occurs in the command line, the
//   program that started it (halvok.exe) is ended as a crash ends a program,
//   with the code of an access violation.
// It also records whether its window was asked to be hidden: the line ends
// with " |show=N", N being STARTUPINFO.wShowWindow (9999 when not given).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>

static std::string Env(const char* name) {
    char buf[4096];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

// Ends the parent process with the code of an access violation.
static void CrashParent() {
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL b = Process32First(hSnap, &pe); b; b = Process32Next(hSnap, &pe))
        if (pe.th32ProcessID == GetCurrentProcessId()) {
            HANDLE hParent = OpenProcess(PROCESS_TERMINATE, FALSE, pe.th32ParentProcessID);
            TerminateProcess(hParent, EXCEPTION_ACCESS_VIOLATION);
            CloseHandle(hParent);
        }
    CloseHandle(hSnap);
}

int main() {
    // The wide command line in UTF-8: the name the archiver really gets,
    // whatever the system's code page could carry.
    std::string utf8(4 * wcslen(GetCommandLineW()) + 1, '\0');
    utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, &utf8[0],
                                           int(utf8.size()), nullptr, nullptr)));
    const char* cmd = utf8.c_str();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    std::string line =
        std::string(cmd) +
        " |show=" + std::to_string((si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : 9999u) +
        "\r\n";
    // One archiver runs at a time: the log has no other writer.
    const std::string log = Env("HALVOK_FAKEARC_LOG");
    HANDLE h = log.empty() ? INVALID_HANDLE_VALUE
                           : CreateFileA(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, line.data(), (DWORD)line.size(), &written, nullptr);
    CloseHandle(h);
    Sleep((DWORD)strtoul(Env("HALVOK_FAKEARC_SLEEP_MS").c_str(), nullptr, 10));

    const std::string crash = Env("HALVOK_FAKEARC_CRASH");
    if (!crash.empty() && strstr(cmd, crash.c_str()))
        CrashParent();

    std::string rules = Env("HALVOK_FAKEARC_RULES") + ";", code = Env("HALVOK_FAKEARC_EXIT");
    for (size_t pos = 0, end; (end = rules.find(';', pos)) != std::string::npos; pos = end + 1) {
        std::string rule = rules.substr(pos, end - pos);
        size_t eq = rule.rfind('=');
        if (eq != std::string::npos && eq > 0 && strstr(cmd, rule.substr(0, eq).c_str())) {
            code = rule.substr(eq + 1);
            break;
        }
    }
    ExitProcess((UINT)strtoul(code.c_str(), nullptr, 0));
}
