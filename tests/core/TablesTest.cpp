// The portable rules outside the page repair, as tables: the command-line
// split, the path text, the archiver's template, the result line, the window
// position, the settings file's text.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "app/IniText.h"
#include "app/WindowPos.h"
#include "ui/CmdLine.h"
#include "ui/PathText.h"
#include "ui/ResultLine.h"
#include "worker/CmdTemplate.h"
#include "worker/WrkDefs.h"

namespace {

std::vector<std::wstring> Split(const wchar_t* tail) {
    std::vector<std::wstring> tokens;
    CmdLineSplitter split(tail);
    const wchar_t* p;
    size_t n;
    while (split.Next(&p, &n))
        tokens.emplace_back(p, n);
    return tokens;
}

TEST(CmdLineSplit, EveryRule) {
    const struct {
        const wchar_t* tail;
        std::vector<std::wstring> tokens;
    } cases[] = {
        {L"", {}},
        {L"  a.htm    b.htm  ", {L"a.htm", L"b.htm"}},
        {L"\"C:\\My Pages\\a.htm\" C:\\b.html", {L"C:\\My Pages\\a.htm", L"C:\\b.html"}},
        {L"\"a.htm\"\"b.htm\"", {L"a.htm", L"b.htm"}},            // a closing quote ends its token
        {L"\"C:\\My Pages\\a.htm", {L"C:\\My", L"Pages\\a.htm"}}, // unclosed quote dropped
        {L"a\"b c\".htm", {L"a\"b", L"c\".htm"}},                 // a quote inside a token is text
        {L"/dde", {}},
        {L"/dDe", {}},
        {L"/ddex", {L"/ddex"}},
        {L"/dde ", {L"/dde"}},
        {L"\"\" \"a.htm\" \"b c\"", {L"a.htm", L"b c"}}, // an empty token yields nothing
        {L"a\tb.htm", {L"a\tb.htm"}},                    // only the space separates
        {L"\"日本 語.html\" Ελλάδα.htm", {L"日本 語.html", L"Ελλάδα.htm"}}, // any script
    };
    for (const auto& c : cases)
        EXPECT_EQ(Split(c.tail), c.tokens) << testing::PrintToString(std::wstring(c.tail));
}

std::wstring Format(const std::wstring& tmpl, const std::wstring& s = L"S",
                    const std::wstring& p = L"P", const std::wstring& f = L"F") {
    wchar_t out[kArcBufSize];
    EXPECT_TRUE(FormatArcCmd(out, kArcBufSize, tmpl.c_str(), s.c_str(), p.c_str(), f.c_str()));
    return out;
}

TEST(FormatArcCmd, ThreeStringsAndEverythingElseCopiedWithinItsBuffer) {
    for (const auto& c : {
             std::pair<const wchar_t*, const wchar_t*>{L" a %s", L" a S"},
             {L" a %s %s", L" a S P"},
             {L" 7za a \"%s.7z\" \"%s\" \"%s\"", L" 7za a \"S.7z\" \"P\" \"F\""},
             {L" %% %%s", L" % %s"},
             {L" %d %n %s", L" %d %n S"},
             {L" %5s %999s %s", L" %5s %999s S"},
             {L" %s%s%s%s%s%s%s%s%s%s", L" SPF%s%s%s%s%s%s%s"},
             {L" 7za a \"%s\" 100%", L" 7za a \"S\" 100%"}, // on the heap: no reading past it
         })
        EXPECT_EQ(c.second, Format(c.first));
    // The strings are never read as a template.
    EXPECT_EQ(L" 100%s% P %%", Format(L" %s %s %s", L"100%s%", L"P", L"%%"));
    // The longest template with three of the longest paths fits.
    std::wstring tmpl = L" " + std::wstring(252, L'x') + L"%s%s%s", s(1029, L's'), p(1029, L'p');
    EXPECT_EQ(L" " + std::wstring(252, L'x') + s + p + s, Format(tmpl, s, p, s));
    // Nothing is written past the buffer; what does not fit is refused.
    wchar_t out[16];
    wmemset(out, L'#', 16);
    EXPECT_TRUE(FormatArcCmd(out, 7, L" %s-%%", L"abc", L"P", L"F"));
    EXPECT_EQ(std::wstring(L" abc-%"), out);
    EXPECT_FALSE(FormatArcCmd(out, 7, L" %s-%%", L"abcd", L"P", L"F"));
    EXPECT_EQ(std::wstring(L""), out);
    EXPECT_EQ(L'#', out[7]);
}

// A path that an archiver would take as a pattern never reaches it; the
// long-path prefixes are no pattern, and a line shows a pattern from the
// component that holds it.
TEST(PathText, PatternsPrefixesNamesAndJoins) {
    const struct {
        const wchar_t* path;
        const wchar_t* shown; // from the pattern's component on; null: no pattern
        const wchar_t* name;
        const wchar_t* ordinary;
    } paths[] = {
        {L"C:\\p\\a.htm", nullptr, L"a.htm", L"C:\\p\\a.htm"},
        {L"C:\\p\\a*.htm", L"a*.htm", L"a*.htm", L"C:\\p\\a*.htm"},
        {L"C:\\p?\\q\\a.htm", L"p?\\q\\a.htm", L"a.htm", L"C:\\p?\\q\\a.htm"},
        {L"C:\\日本/x*\\a.htm", L"x*\\a.htm", L"a.htm", L"C:\\日本/x*\\a.htm"},
        {L"\\\\?\\C:\\p\\a.htm", nullptr, L"a.htm", L"C:\\p\\a.htm"},
        {L"\\\\?\\UNC\\srv\\s\\a.htm", nullptr, L"a.htm", L"\\\\srv\\s\\a.htm"},
        {L"\\\\.\\C:\\a.htm", nullptr, L"a.htm", L"\\\\.\\C:\\a.htm"},
        {L"\\\\?\\C:\\p\\?.htm", L"?.htm", L"?.htm", L"C:\\p\\?.htm"},
        {L"\\\\?\\x*", L"x*", L"x*", L"x*"},
        {L"a.htm", nullptr, L"a.htm", L"a.htm"},
        {L"x*.htm", L"x*.htm", L"x*.htm", L"x*.htm"},
    };
    for (const auto& c : paths) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(c.shown != nullptr, HasWildcard(c.path));
        const wchar_t* shown = WildcardComponent(c.path);
        EXPECT_EQ(c.shown ? std::wstring(c.shown) : L"<none>", shown ? shown : L"<none>");
        EXPECT_EQ(std::wstring(c.name), FileNamePart(c.path));
        wchar_t out[64];
        EXPECT_TRUE(OrdinaryPathForm(c.path, out, 64));
        EXPECT_EQ(std::wstring(c.ordinary), out);
    }
    const struct {
        const wchar_t *folder, *name, *joined;
    } joins[] = {
        {L"C:\\p", L"a.htm", L"C:\\p\\a.htm"},
        {L"C:\\p\\", L"a.htm", L"C:\\p\\a.htm"},
        {L"C:\\p/", L"a.htm", L"C:\\p/a.htm"},
        {L"\\\\?\\C:\\p", L"*.*htm*", L"\\\\?\\C:\\p\\*.*htm*"},
        {L"C", L"a", L"C\\a"},
        {L"", L"a.htm", L"a.htm"},
    };
    for (const auto& j : joins) {
        wchar_t out[64];
        EXPECT_TRUE(JoinPath(j.folder, j.name, out, 64));
        EXPECT_EQ(std::wstring(j.joined), out);
    }
    // A join or a form that does not fit its buffer is refused, never cut,
    // and nothing is written past it.
    wchar_t out[9];
    wmemset(out, L'#', 9);
    EXPECT_TRUE(JoinPath(L"C:\\p", L"a.", out, 8));
    EXPECT_EQ(L'#', out[8]);
    EXPECT_FALSE(JoinPath(L"a", L"b", out, 0));
    EXPECT_FALSE(OrdinaryPathForm(L"a", out, 0));
    EXPECT_FALSE(JoinPath(L"C:\\p", L"a.h", out, 8));
    EXPECT_EQ(std::wstring(), out);
    wmemset(out, L'#', 9);
    EXPECT_TRUE(OrdinaryPathForm(L"\\\\?\\C:\\abcd", out, 8));
    EXPECT_EQ(L'#', out[8]);
    EXPECT_FALSE(OrdinaryPathForm(L"\\\\?\\C:\\abcde", out, 8));
    EXPECT_EQ(std::wstring(), out);
}

std::wstring Line(int32_t status, const std::wstring& name, size_t cchLine = 1024) {
    wchar_t buf[1024];
    FormatResultLine(status, name.c_str(), buf, cchLine);
    return buf;
}

TEST(ResultLine, TextByStatusAndLongNamesCut) {
    EXPECT_EQ(Line(STATUS_OK, L"p.htm"), L"p.htm [Ok]");
    EXPECT_EQ(Line(3, L"p.htm"), L"p.htm [Ошибка: 3]");
    EXPECT_EQ(Line(-3, L"p.htm"), L"p.htm [Ошибка: -3]");
    EXPECT_EQ(Line(STATUS_NOT_REPAIRED, L"p.htm"), L"p.htm [Ошибка: страница не исправлена]");
    EXPECT_EQ(Line(STATUS_WILDCARD_NAME, L"p?.htm"), L"p?.htm [Ошибка: в имени * или ?]");
    EXPECT_EQ(Line(STATUS_PATH_TOO_LONG, L"p.htm"), L"p.htm [Ошибка: путь длиннее 1023 символов]");
    EXPECT_EQ(Line(STATUS_NAME_REFUSED, L"p|.htm"), L"p|.htm [Ошибка: недопустимое имя]");
    EXPECT_EQ(Line(STATUS_FOLDER_UNREADABLE, L"F"), L"F [Ошибка: каталог не прочитан]");
    EXPECT_EQ(Line(STATUS_NO_ARCHIVER, L"p.htm"), L"Настройте параметры архиватора в ini файле");
    EXPECT_EQ(Line(STATUS_NO_ACTION, L"p.htm"), L"Отсутствуют заданные действия");
    EXPECT_EQ(Line(STATUS_NO_ACTION, L"p.htm", 8), L"Отсутст");
    const std::wstring tail = L" [Ошибка: -2147483648]";
    EXPECT_EQ(Line(STATUS_OK, std::wstring(1019, L'n')), std::wstring(1018, L'n') + L" [Ok]");
    EXPECT_EQ(Line(STATUS_OK, std::wstring(1018, L'n')), std::wstring(1018, L'n') + L" [Ok]");
    EXPECT_EQ(Line(INT32_MIN, std::wstring(1027, L'n')),
              std::wstring(1023 - tail.size(), L'n') + tail);
    // A character outside the Basic Multilingual Plane is two UTF-16 units
    // (one wchar_t where that is 32 bits wide): a cut never splits one, at
    // either end of the range of its first unit.
    const std::wstring n1016(1016, L'n'), first = L"\U00010000", last = L"\U0010FFFF";
    const bool utf16 = sizeof(wchar_t) == 2;
    const struct {
        std::wstring name;
        size_t cch;
        std::wstring cut; // the name's part that stays
    } cuts[] = {
        {n1016 + first + last, 1024, utf16 ? n1016 + first : n1016 + first + last},
        {n1016 + L"n" + last + L"x", 1024, utf16 ? n1016 + L"n" : n1016 + L"n" + last},
        {n1016 + L"n" + first, 1024, utf16 ? n1016 + L"n" : n1016 + L"n" + first},
        {last, 7, utf16 ? L"" : last},
    };
    for (const auto& c : cuts)
        EXPECT_EQ(Line(STATUS_OK, c.name, c.cch), c.cut + L" [Ok]") << c.name.size();
}

TEST(WindowPos, OpenAndSaveRules) {
    for (const auto& c : {std::pair<int, int>{-40, 2}, {-1, 2}, {0, 0}, {700, 700}})
        EXPECT_EQ(c.second, RestoredWindowPos(c.first)) << c.first;
    const int cx = 1032, cy = 776; // the maximized screen
    const struct {
        int left, top;
        bool write;
        int x, y;
    } cases[] = {
        {100, 50, true, 100, 50}, {-20, 50, true, 0, 50},
        {100, -7, true, 100, 0},  {cx - 1, cy - 1, true, cx - 1, cy - 1},
        {cx, 10, false, cx, 10},  {10, cy, false, 10, cy},
        {0, 0, true, 0, 0},
    };
    for (const auto& c : cases) {
        SavedWindowPos pos = SaveWindowPos(c.left, c.top, cx, cy);
        EXPECT_EQ(c.write, pos.bWrite) << c.left << "," << c.top;
        EXPECT_EQ(c.x, pos.nX) << c.left << "," << c.top;
        EXPECT_EQ(c.y, pos.nY) << c.left << "," << c.top;
    }
    EXPECT_EQ(std::wstring(CheckKeyText(true)), L"1");
    EXPECT_EQ(std::wstring(CheckKeyText(false)), L"0");
}

// halvok.ini as the settings functions read it, and keys written back in
// place, for UTF-8 files: every other byte stays.
TEST(IniText, EncodingReadsAndWritesInPlace) {
    const struct {
        std::string file;
        IniEncoding encoding;
    } encodings[] = {
        {"[Options]\r\nArc=C:\\7z.exe\r\n", IniEncoding::Ansi},
        {"Arc=C:\\\xCF\xF0\xEE\r\n", IniEncoding::Ansi}, // Windows-1251
        {"Arc=C:\\\xD0\x9F\r\n", IniEncoding::Utf8},
        {"\xEF\xBB\xBF[Options]", IniEncoding::Utf8Bom},
        {"\xFF\xFE[\0O\0", IniEncoding::Utf16},
        {"\xFE\xFF\0[", IniEncoding::Utf16},
        {"\xFF[O", IniEncoding::Ansi},
        {"\xFE[O", IniEncoding::Ansi},
        {"\xEF\xBB[", IniEncoding::Ansi},
        {"\xEF\xBB", IniEncoding::Ansi},
        {"\xEF[\xBF", IniEncoding::Ansi},
    };
    for (const auto& e : encodings)
        EXPECT_EQ(int(e.encoding), int(DetectIniEncoding(e.file.data(), e.file.size()))) << e.file;
    EXPECT_EQ(3u, IniBomSize(IniEncoding::Utf8Bom));
    EXPECT_EQ(0u, IniBomSize(IniEncoding::Utf8));

    const struct {
        std::string file, key;
        const char* value; // null: missing
    } reads[] = {
        {"[Options]\r\nArc=C:\\7z.exe\r\n", "Arc", "C:\\7z.exe"},
        {"[options]\r\n  ARC  =  C:\\Program Files\\7z.exe \t\r\n", "Arc", "C:\\Program Files\\7z.exe"},
        {"[Options]\nArc=first\nArc=second\n", "Arc", "first"},
        {"[Other]\nArc=no\n[ Options ]\nArc=yes\n[Options]\nArc=later\n", "Arc", "yes"},
        {"[Options]\n;Arc=comment\nCom=\"7za a \"%s.7z\"\"\n", "Com", "7za a \"%s.7z\""},
        {"[Options]\nCom='x'", "Com", "x"},
        {"[Options]\n;Arc=comment\n", "Arc", nullptr},
        {"Arc=outside\n[Options]\nArcx=1\n", "Arc", nullptr},
        {"[Options]\nArc=\n", "Arc", ""},
        {"[OPTIONS]\r\nAz =1\r\n", "aZ", "1"},
        {"[Options]\nXrc=1\n", "Arc", nullptr},
        {"[Options]\nCom=\"\"\n", "Com", ""},
        {"[Options]\nCom=\"x\n", "Com", "\"x"},
        {"[Options]\nCom=\"x'\n", "Com", "\"x'"},
        {"\n \n[Options]\n\n  ;Arc=no\n Arc = yes\n", "Arc", "yes"},
    };
    for (const auto& r : reads) {
        const char* p = nullptr;
        size_t cb = 0;
        const bool found = FindIniValue(r.file.data(), r.file.size(), "Options", r.key.c_str(), &p, &cb);
        EXPECT_EQ(r.value ? r.value : "<missing>", found ? std::string(p, cb) : "<missing>") << r.file;
    }
    for (const auto& n : {std::pair<const char*, int>{"", 7}, {"12", 12}, {" -40", -40}, {"+3x", 3},
                          {"0x10", 16}, {"abc", 0}, {"0XaF", 175}, {"-0x10", -16},
                          {"909", 909}, {"0x", 0}})
        EXPECT_EQ(n.second, IniIntValue(n.first, strlen(n.first), 7)) << n.first;

    const struct {
        std::string file, key, value, after;
    } writes[] = {
        {"[Options]\r\nposx = 10\r\nbArc=1\r\n", "PosX", "20", "[Options]\r\nposx = 20\r\nbArc=1\r\n"},
        {"[Options]\nArc=a\n\n[Next]\nx=1\n", "PosY", "3", "[Options]\nArc=a\nPosY=3\n\n[Next]\nx=1\n"},
        {"; mine\nx=1", "bMSIE", "0", "; mine\nx=1\n[Options]\nbMSIE=0\n"},
        {"", "bMSIE", "0", "[Options]\r\nbMSIE=0\r\n"},
        {"[Options]\nPosX=1\nPosX=9\n", "POSX", "2", "[Options]\nPosX=2\nPosX=9\n"},
        {"[Options]\r\nArc=C:\\\xD0\x9F\\7z.exe\r\nbArc=0", "bArc", "1",
         "[Options]\r\nArc=C:\\\xD0\x9F\\7z.exe\r\nbArc=1"},
        {"[Options]\r\nArc=x", "PosX", "5", "[Options]\r\nArc=x\r\nPosX=5\r\n"},
        {"[Options]\nArc=a\n  \n[Next]\n", "PosY", "3", "[Options]\nArc=a\nPosY=3\n  \n[Next]\n"},
        {"[Options]\nArc=a\n[Next]\n", "PosY", "3", "[Options]\nArc=a\nPosY=3\n[Next]\n"},
        // The most a write adds: a line ending, the section and the key.
        {"x=1\r\ny=2", "Key", "value", "x=1\r\ny=2\r\n[Options]\r\nKey=value\r\n"},
    };
    for (const auto& w : writes) {
        // Exactly the room promised: a write past it is caught.
        std::vector<char> out(IniSetRoom(w.file.size(), "Options", w.key.c_str(), w.value.c_str()));
        size_t cb = 0;
        SetIniValue(w.file.data(), w.file.size(), "Options", w.key.c_str(), w.value.c_str(),
                    out.data(), &cb);
        EXPECT_EQ(w.after, std::string(out.data(), cb)) << w.file;
    }
}

} // namespace
