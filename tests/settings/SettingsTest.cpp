// The settings file under Wine: defaults, every key, the template's length
// limit, the window keys' read and write rules, and the file's location.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"

namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { strcpy(g_szIniPath, m_ini.c_str()); }

    void WriteIni(const std::string& keys) {
        ASSERT_TRUE(WriteBytes(m_ini, "; test\r\n[Options]\r\n" + keys));
    }
    std::string Key(const char* pszKey) {
        char sz[64];
        GetPrivateProfileStringA("Options", pszKey, "<none>", sz, sizeof sz, m_ini.c_str());
        return sz;
    }
    static void Spoil() {
        strcpy(g_szArcCmd, "junk");
        strcpy(g_szArcExe, "junk");
        g_bHidden = 7;
    }

    ScratchDir m_dir{"ini"};
    std::string m_ini = m_dir / "halvok.ini";
};

// Copies the probe into pszDir under pszName, runs it there and returns what
// it printed.
std::string ProbeIn(const std::string& dir, const std::string& name, DWORD* pnExit) {
    const std::string probe = dir + "\\" + name;
    if (!CopyFileA((ProgramDir() + "settings_probe.exe").c_str(), probe.c_str(), FALSE))
        return "copy failed";
    return RunAndCapture(probe, " probe", pnExit);
}

} // namespace

TEST_F(Settings, DefaultsWithoutFile) {
    for (const char* pszIni : {m_ini.c_str(), ""}) {
        strcpy(g_szIniPath, pszIni);
        Spoil();
        ReadArcSettings();
        EXPECT_STREQ(" ", g_szArcCmd) << pszIni;
        EXPECT_STREQ("", g_szArcExe);
        EXPECT_EQ(1, g_bHidden);
        WindowKeys keys = ReadWindowKeys(pszIni);
        EXPECT_EQ(2, keys.nPosX);
        EXPECT_EQ(2, keys.nPosY);
        EXPECT_EQ(1, keys.bArc);
        EXPECT_EQ(1, keys.bMSIE);
    }
}

TEST_F(Settings, EveryKey) {
    WriteIni("Com=7za a \"%s.7z\" \"%s\" \"%s\"\r\nArc=C:\\Программы\\7za.exe\r\n"
             "Hidden=0\r\nPosX=300\r\nPosY=40\r\nbArc=0\r\nbMSIE=0\r\n");
    ReadArcSettings();
    EXPECT_STREQ(" 7za a \"%s.7z\" \"%s\" \"%s\"", g_szArcCmd);
    EXPECT_STREQ("C:\\Программы\\7za.exe", g_szArcExe);
    EXPECT_EQ(0, g_bHidden);
    WindowKeys keys = ReadWindowKeys(m_ini.c_str());
    EXPECT_EQ(300, keys.nPosX);
    EXPECT_EQ(40, keys.nPosY);
    EXPECT_EQ(0, keys.bArc);
    EXPECT_EQ(0, keys.bMSIE);
}

TEST_F(Settings, TemplateKeepsAtMost258Characters) {
    std::string com;
    for (int i = 0; i < 300; ++i)
        com += char('a' + i % 26);
    for (size_t n : {257, 258, 259, 300}) {
        WriteIni("Com=" + com.substr(0, n) + "\r\n");
        ReadArcSettings();
        EXPECT_EQ(" " + com.substr(0, n < 258 ? n : 258), g_szArcCmd) << n;
    }
}

TEST_F(Settings, WindowKeysReadRules) {
    const struct {
        const char* keys;
        WindowKeys expected;
    } cases[] = {
        {"PosX=-40\r\nPosY=0\r\nbArc=5\r\nbMSIE=0\r\n", {2, 0, 1, 0}},
        {"PosY=-1\r\nbArc=0\r\nbMSIE=-3\r\n", {2, 2, 0, 1}},
    };
    for (const auto& c : cases) {
        WriteIni(c.keys);
        WindowKeys keys = ReadWindowKeys(m_ini.c_str());
        EXPECT_EQ(c.expected.nPosX, keys.nPosX) << c.keys;
        EXPECT_EQ(c.expected.nPosY, keys.nPosY) << c.keys;
        EXPECT_EQ(c.expected.bArc, keys.bArc) << c.keys;
        EXPECT_EQ(c.expected.bMSIE, keys.bMSIE) << c.keys;
    }
}

TEST_F(Settings, WindowKeysWriteRules) {
    const LONG cy = GetSystemMetrics(SM_CYMAXIMIZED);
    ASSERT_GT(cy, 0);
    // The file does not exist yet: the first write creates it.
    WriteWindowKeys(m_ini.c_str(), RECT{120, 45, 500, 400}, true, false);
    EXPECT_EQ("120", Key("PosX"));
    EXPECT_EQ("45", Key("PosY"));
    EXPECT_EQ("1", Key("bArc"));
    EXPECT_EQ("0", Key("bMSIE"));

    // Beyond the maximized screen: the last saved position stays.
    WriteWindowKeys(m_ini.c_str(), RECT{10, cy, 300, cy + 200}, false, true);
    EXPECT_EQ("120", Key("PosX"));
    EXPECT_EQ("45", Key("PosY"));
    EXPECT_EQ("0", Key("bArc"));
    EXPECT_EQ("1", Key("bMSIE"));

    // Dragged off the left edge: 0 for a negative edge; inside the screen.
    WriteWindowKeys(m_ini.c_str(), RECT{-15, cy - 1, 300, cy + 200}, true, true);
    EXPECT_EQ("0", Key("PosX"));
    EXPECT_EQ(std::to_string(cy - 1), Key("PosY"));

    // An empty path writes nothing anywhere.
    WriteWindowKeys("", RECT{1, 1, 2, 2}, true, true);
}

TEST(SettingsFile, LoadedFromBesideTheProgram) {
    ScratchDir dir("probe dir");
    DWORD nExit = 0;
    EXPECT_EQ(dir / "|" + dir / "halvok.ini" + "| ||1",
              ProbeIn(dir.Path(), "settings_probe.exe", &nExit));
    EXPECT_EQ(0u, nExit);

    ASSERT_TRUE(WriteBytes(dir / "halvok.ini",
                                      "[Options]\r\nCom=rar a \"%s\"\r\nArc=C:\\rar.exe\r\n"
                                      "Hidden=0\r\n"));
    EXPECT_EQ(dir / "|" + dir / "halvok.ini" + "| rar a \"%s\"|C:\\rar.exe|0",
              ProbeIn(dir.Path(), "settings_probe.exe", &nExit));
}

TEST(SettingsFile, FolderTooLongForTheSettingsPath) {
    ScratchDir dir("long");
    std::string parent = dir.Path();
    while (parent.size() < 200)
        parent += "\\" + std::string(30, 'd');
    parent.resize(200);
    parent.back() = 'd'; // not a backslash, whatever the length of %TEMP%
    const std::string folder = parent + "\\" + std::string(251 - parent.size(), 'e');
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(parent + "\\halvok.ini", "[Options]\r\nHidden=0\r\n"));
    // The whole program path fits MAX_PATH and is read whole; "halvok.ini"
    // beside it would not fit, so the defaults hold, and no file in another
    // folder (the parent, taken from a cut path) is read.
    DWORD nExit = 0;
    EXPECT_EQ(folder + "\\|| ||1", ProbeIn(folder, "p.exe", &nExit));
    EXPECT_EQ(0u, nExit);
}
