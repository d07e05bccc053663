// halvok.exe itself: its version block, and a whole run in a folder of its
// own, started and closed from outside like a user's session.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/helpers/WinScratch.h"

TEST(ProgramFile, VersionBlockReadsBack) {
    const std::string exe = ProgramDir() + "halvok.exe";
    DWORD dwHandle = 0;
    DWORD cb = GetFileVersionInfoSizeA(exe.c_str(), &dwHandle);
    ASSERT_GT(cb, 0u) << exe;
    std::string block(cb, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, cb, &block[0]));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &n));
    EXPECT_EQ(pFixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(pFixed->dwFileVersionLS, 0x00050000u);

    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1, 1, 5, 0"},      {"ProductVersion", "1, 1, 5, 0"},
        {"FileDescription", "Halvok"},      {"InternalName", "Halvok"},
        {"OriginalFilename", "Halvok.exe"},
    };
    for (const auto& s : strings) {
        char* psz = nullptr;
        std::string query = std::string("\\StringFileInfo\\041904b0\\") + s.first;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&psz), &n))
            << s.first;
        EXPECT_STREQ(psz, s.second) << s.first;
    }
}

// The keys' rules are the settings tests' business: here the program finds
// the file beside itself, applies it, writes it back and exits with 0.
TEST(Program, RunsInItsOwnFolderAndExitsWithTheFrameworksCode) {
    HalvokCopy app("program");
    ASSERT_TRUE(app.Copied());
    ASSERT_TRUE(WriteBytes(app.Ini(), "[Options]\r\nPosX=33\r\nPosY=44\r\nbArc=0\r\n"));
    ASSERT_TRUE(app.Start());
    HWND hDlg = app.Proc().WaitMainWindow(20000);
    ASSERT_NE(hDlg, nullptr);
    RECT rc{};
    GetWindowRect(hDlg, &rc);
    EXPECT_EQ(rc.left, 33);
    EXPECT_EQ(rc.top, 44);

    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.Proc().WaitExitCode(20000), 0u);
    EXPECT_EQ(app.Get("PosX"), 33);
    EXPECT_EQ(app.Get("PosY"), 44);
    EXPECT_EQ(app.Get("bArc"), 0);
    EXPECT_EQ(app.Get("bMSIE"), 1);
}
