// The portable pieces of the intake and the results display: the
// command-line split, the page-extension test and the result-line text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/intake/Texts1251.h"
#include "ui/CmdLine.h"
#include "ui/PageExt.h"
#include "ui/ResultLine.h"
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

struct SplitCase {
    const char* tail;
    std::vector<std::string> tokens;
};

TEST(CmdLineSplit, EveryRule) {
    const SplitCase cases[] = {
        {"", {}},
        {"C:\\a.htm", {"C:\\a.htm"}},
        {"\"C:\\My Pages\\a.htm\" C:\\b.html", {"C:\\My Pages\\a.htm", "C:\\b.html"}},
        // A closing quote ends its token: no blank needed before the next.
        {"\"C:\\a.htm\"\"C:\\b.htm\"", {"C:\\a.htm", "C:\\b.htm"}},
        {"\"a b\"c", {"a b", "c"}},
        // An unclosed quote is dropped and the rest splits at spaces.
        {"\"C:\\My Pages\\a.htm", {"C:\\My", "Pages\\a.htm"}},
        {"x \"unclosed y", {"x", "unclosed", "y"}},
        {"\"", {}},
        // The whole tail "/dde" in any case names nothing; anything more does.
        {"/dde", {}},
        {"/dDe", {}},
        {"/dde ", {"/dde"}},
        {" /dde", {"/dde"}},
        {"/dd", {"/dd"}},
        {"/ddex", {"/ddex"}},
        // Empty tokens and blanks yield nothing.
        {"\"\"", {}},
        {"\"\" a.htm", {"a.htm"}},
        {"a.htm   ", {"a.htm"}},
        {"   ", {}},
        {"  a.htm    b.htm  ", {"a.htm", "b.htm"}},
        // Only the space separates; a quote inside a token is ordinary.
        {"a\tb.htm", {"a\tb.htm"}},
        {"a\"b c", {"a\"b", "c"}},
        {"a\"b\"", {"a\"b\""}},
        {"\" \"", {" "}},
        {"C:\\dir\\*.html", {"C:\\dir\\*.html"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(Split(c.tail), c.tokens) << "tail [" << c.tail << "]";
}

TEST(CmdLineSplit, NullTailAndTailUnchanged) {
    EXPECT_TRUE(Split(nullptr).empty());
    char tail[] = "\"a b\" \"c d";
    const std::string before = tail;
    EXPECT_EQ(Split(tail), (std::vector<std::string>{"a b", "c", "d"}));
    EXPECT_EQ(before, tail);
}

TEST(PageExtension, HtmOrHTMCaseSensitive) {
    struct {
        const char* ext;
        bool page;
    } const cases[] = {
        {".htm", true},   {".html", true}, {".shtml", true}, {".HTML", true}, {".HTM", true},
        {".xhtml", true}, {".Htm", false}, {".Html", false}, {".hTm", false}, {".mht", false},
        {".txt", false},  {".bak", false}, {"", false},      {".", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPageExtension(c.ext), c.page) << c.ext;
}

std::string Line(int32_t status, const char* name, size_t cb = 1024) {
    std::vector<char> buf(cb, '\x55');
    size_t n = FormatResultLine(status, name, buf.data(), cb);
    EXPECT_EQ(n, strlen(buf.data()));
    return std::string(buf.data());
}

TEST(ResultLine, TextByStatus) {
    struct {
        int32_t status;
        const char* line;
    } const cases[] = {
        {STATUS_NO_ACTION, TEXT_NO_ACTION},
        {STATUS_NO_ARCHIVER, TEXT_NO_ARCHIVER},
        {STATUS_OK, "page.htm [Ok]"},
        {2, "page.htm [" TEXT_ERROR ": 2]"},
        // An exit code of 0xFFFFFFFD reads as a signed status.
        {(int32_t)0xFFFFFFFDu, "page.htm [" TEXT_ERROR ": -3]"},
        {INT32_MIN, "page.htm [" TEXT_ERROR ": -2147483648]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Line(c.status, "page.htm"), c.line) << c.status;
    EXPECT_EQ(Line(STATUS_OK, ""), " [Ok]");
}

TEST(ResultLine, LongNameIsCutSoTheLineFits) {
    // The name field holds up to 1027 characters; the line buffer 1023.
    const std::string name1027(1027, 'n');
    struct {
        int32_t status;
        size_t nameLen;
        const char* tail;
    } const cases[] = {
        {STATUS_OK, 1018, " [Ok]"}, // fits exactly
        {STATUS_OK, 1019, " [Ok]"}, // one too many
        {STATUS_OK, 1027, " [Ok]"},
        {7, 1027, " [" TEXT_ERROR ": 7]"},
        {INT32_MIN, 1027, " [" TEXT_ERROR ": -2147483648]"},
    };
    for (const auto& c : cases) {
        const std::string name = name1027.substr(0, c.nameLen);
        const std::string tail = c.tail;
        const std::string line = Line(c.status, name.c_str());
        const size_t keep = std::min(c.nameLen, 1023 - tail.size());
        EXPECT_EQ(line, name.substr(0, keep) + tail) << c.status << "/" << c.nameLen;
        EXPECT_LE(line.size(), 1023u);
    }
    // A fixed message is never longer than a tiny buffer allows.
    EXPECT_EQ(Line(STATUS_NO_ACTION, "x", 4), std::string(TEXT_NO_ACTION).substr(0, 3));
    EXPECT_EQ(Line(5, "name", 6), std::string(" [") + "\xCE\xF8\xE8");
}

} // namespace
