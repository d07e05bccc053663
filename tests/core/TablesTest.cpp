// The portable rules outside the page repair, as tables: the command-line
// split, the archiver's template, the result line, the window position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/WindowPos.h"
#include "ui/CmdLine.h"
#include "ui/ResultLine.h"
#include "worker/CmdTemplate.h"
#include "worker/WrkDefs.h"

namespace {

std::vector<std::string> Split(const char* tail) {
    std::vector<std::string> tokens;
    CmdLineSplitter split(tail);
    const char* p;
    size_t n;
    while (split.Next(&p, &n))
        tokens.emplace_back(p, n);
    return tokens;
}

TEST(CmdLineSplit, EveryRule) {
    const struct {
        const char* tail;
        std::vector<std::string> tokens;
    } cases[] = {
        {"", {}},
        {"  a.htm    b.htm  ", {"a.htm", "b.htm"}},
        {"\"C:\\My Pages\\a.htm\" C:\\b.html", {"C:\\My Pages\\a.htm", "C:\\b.html"}},
        {"\"a.htm\"\"b.htm\"", {"a.htm", "b.htm"}},            // a closing quote ends its token
        {"\"C:\\My Pages\\a.htm", {"C:\\My", "Pages\\a.htm"}}, // unclosed quote dropped
        {"a\"b c\".htm", {"a\"b", "c\".htm"}},                 // a quote inside a token is text
        {"/dde", {}},
        {"/dDe", {}},
        {"/ddex", {"/ddex"}},
        {"/dde ", {"/dde"}},
        {"\"\" \"a.htm\" \"b c\"", {"a.htm", "b c"}}, // an empty token yields nothing
        {"a\tb.htm", {"a\tb.htm"}},                   // only the space separates
    };
    for (const auto& c : cases)
        EXPECT_EQ(Split(c.tail), c.tokens) << c.tail;
}

std::string Format(const std::string& tmpl, const std::string& s = "S", const std::string& p = "P",
                   const std::string& f = "F") {
    char out[kArcBufSize];
    EXPECT_TRUE(FormatArcCmd(out, sizeof out, tmpl.c_str(), s.c_str(), p.c_str(), f.c_str()));
    return out;
}

TEST(FormatArcCmd, ThreeStringsAndEverythingElseCopiedWithinItsBuffer) {
    for (const auto& c : {
             std::pair<const char*, const char*>{" a %s", " a S"},
             {" a %s %s", " a S P"},
             {" 7za a \"%s.7z\" \"%s\" \"%s\"", " 7za a \"S.7z\" \"P\" \"F\""},
             {" %% %%s", " % %s"},
             {" %d %n %s", " %d %n S"},
             {" %5s %999s %s", " %5s %999s S"},
             {" %s%s%s%s%s%s%s%s%s%s", " SPF%s%s%s%s%s%s%s"},
             {" 7za a \"%s\" 100%", " 7za a \"S\" 100%"}, // on the heap: no reading past it
         })
        EXPECT_EQ(c.second, Format(c.first)) << c.first;
    // The strings are never read as a template.
    EXPECT_EQ(" 100%s% P %%", Format(" %s %s %s", "100%s%", "P", "%%"));
    // The longest template with three of the longest paths fits.
    std::string tmpl = " " + std::string(252, 'x') + "%s%s%s", s(1029, 's'), p(1029, 'p');
    EXPECT_EQ(" " + std::string(252, 'x') + s + p + s, Format(tmpl, s, p, s));
    // Nothing is written past the buffer; what does not fit is refused.
    char out[16];
    memset(out, '#', sizeof out);
    EXPECT_TRUE(FormatArcCmd(out, 7, " %s-%%", "abc", "P", "F"));
    EXPECT_STREQ(" abc-%", out);
    EXPECT_FALSE(FormatArcCmd(out, 7, " %s-%%", "abcd", "P", "F"));
    EXPECT_STREQ("", out);
    EXPECT_EQ('#', out[7]);
}

std::string Line(int32_t status, const std::string& name, size_t cbLine = 1024) {
    char buf[1024];
    FormatResultLine(status, name.c_str(), buf, cbLine);
    return buf;
}

TEST(ResultLine, TextByStatusAndLongNamesCut) {
    EXPECT_EQ(Line(STATUS_OK, "p.htm"), "p.htm [Ok]");
    EXPECT_EQ(Line(3, "p.htm"), "p.htm [Ошибка: 3]");
    EXPECT_EQ(Line(-3, "p.htm"), "p.htm [Ошибка: -3]");
    EXPECT_EQ(Line(STATUS_NO_ARCHIVER, "p.htm"), "Настройте параметры архиватора в ini файле");
    EXPECT_EQ(Line(STATUS_NO_ACTION, "p.htm"), "Отсутствуют заданные действия");
    EXPECT_EQ(Line(STATUS_NO_ACTION, "p.htm", 8), "Отсутст");
    const std::string tail = " [Ошибка: -2147483648]";
    EXPECT_EQ(Line(STATUS_OK, std::string(1019, 'n')), std::string(1018, 'n') + " [Ok]");
    EXPECT_EQ(Line(STATUS_OK, std::string(1018, 'n')), std::string(1018, 'n') + " [Ok]");
    EXPECT_EQ(Line(INT32_MIN, std::string(1027, 'n')), std::string(1023 - tail.size(), 'n') + tail);
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
    EXPECT_STREQ(CheckKeyText(true), "1");
    EXPECT_STREQ(CheckKeyText(false), "0");
}

} // namespace
