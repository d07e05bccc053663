// The settings file under Wine: defaults, every key, the template's length
// limit, the window keys' rules and the file's place beside the program.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"

namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { strcpy(g_szIniPath, m_ini.c_str()); }
    void WriteIni(const std::string& keys) {
        ASSERT_TRUE(WriteBytes(m_ini, "[Options]\r\n" + keys));
    }
    std::string Key(const char* pszKey) {
        char sz[64];
        GetPrivateProfileStringA("Options", pszKey, "", sz, sizeof sz, m_ini.c_str());
        return sz;
    }

    ScratchDir m_dir{"ini"};
    std::string m_ini = m_dir / "halvok.ini";
};

// Copies the settings probe to dir, runs it there and returns what it printed.
std::string ProbeIn(const std::string& dir) {
    const std::string probe = dir + "\\p.exe";
    CopyFileA((ProgramDir() + "settings_probe.exe").c_str(), probe.c_str(), FALSE);
    DWORD nExit = 0;
    std::string out = RunAndCapture(probe, " probe", &nExit);
    return nExit == 0 ? out : "failed";
}

TEST_F(Settings, DefaultsWithoutFile) {
    for (const char* pszIni : {m_ini.c_str(), ""}) {
        strcpy(g_szIniPath, pszIni);
        strcpy(g_szArcCmd, "junk");
        strcpy(g_szArcExe, "junk");
        g_bHidden = 7;
        ReadArcSettings();
        EXPECT_STREQ(" ", g_szArcCmd);
        EXPECT_STREQ("", g_szArcExe);
        EXPECT_EQ(1, g_bHidden);
        WindowKeys keys = ReadWindowKeys(pszIni);
        EXPECT_TRUE(keys.nPosX == 2 && keys.nPosY == 2 && keys.bArc == 1 && keys.bMSIE == 1);
    }
}

TEST_F(Settings, EveryKeyAndTheTemplateLimit) {
    WriteIni("Com=7za a \"%s.7z\"\r\nArc=C:\\Программы\\7za.exe\r\n"
             "Hidden=0\r\nPosX=300\r\nPosY=40\r\nbArc=0\r\nbMSIE=0\r\n");
    ReadArcSettings();
    EXPECT_STREQ(" 7za a \"%s.7z\"", g_szArcCmd);
    EXPECT_STREQ("C:\\Программы\\7za.exe", g_szArcExe);
    EXPECT_EQ(0, g_bHidden);
    WindowKeys keys = ReadWindowKeys(m_ini.c_str());
    EXPECT_TRUE(keys.nPosX == 300 && keys.nPosY == 40 && keys.bArc == 0 && keys.bMSIE == 0);

    std::string com(259, 'c');
    com[258] = 'X';
    WriteIni("Com=" + com + "\r\nPosX=-40\r\n");
    ReadArcSettings();
    EXPECT_EQ(" " + com.substr(0, 258), g_szArcCmd);
    EXPECT_EQ(2, ReadWindowKeys(m_ini.c_str()).nPosX);
}

TEST_F(Settings, WindowKeysWriteRules) {
    const LONG cy = GetSystemMetrics(SM_CYMAXIMIZED);
    WriteWindowKeys(m_ini.c_str(), RECT{-15, 45, 500, 400}, true, false);
    EXPECT_EQ("0|45|1|0", Key("PosX") + "|" + Key("PosY") + "|" + Key("bArc") + "|" + Key("bMSIE"));
    // Beyond the maximized screen: the last saved position stays.
    WriteWindowKeys(m_ini.c_str(), RECT{10, cy, 300, cy + 200}, false, true);
    EXPECT_EQ("0|45|0|1", Key("PosX") + "|" + Key("PosY") + "|" + Key("bArc") + "|" + Key("bMSIE"));
}

// The settings file beside the program is read. A program folder so long
// that "halvok.ini" beside it passes MAX_PATH keeps the defaults, and no file
// elsewhere (as from a cut path) is read.
TEST(SettingsFile, BesideTheProgramAndTooLongFolder) {
    ScratchDir dir("probe dir");
    ASSERT_TRUE(WriteBytes(dir / "halvok.ini",
                           "[Options]\r\nCom=rar a \"%s\"\r\nArc=C:\\rar.exe\r\nHidden=0\r\n"));
    EXPECT_EQ(dir / "|" + dir / "halvok.ini" + "| rar a \"%s\"|C:\\rar.exe|0", ProbeIn(dir.Path()));

    std::string parent = dir.Path();
    while (parent.size() < 200)
        parent += "\\" + std::string(30, 'd');
    parent.resize(200);
    parent.back() = 'd';
    const std::string folder = parent + "\\" + std::string(251 - parent.size(), 'e');
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(parent + "\\halvok.ini", "[Options]\r\nHidden=0\r\n"));
    EXPECT_EQ(folder + "\\|| ||1", ProbeIn(folder));
}

} // namespace
