// The portable pieces of the intake and the results display: the
// command-line split, the page-extension test and the result line's length.
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
        // An unclosed quote is dropped and the rest splits at spaces.
        {"\"C:\\My Pages\\a.htm", {"C:\\My", "Pages\\a.htm"}},
        {"\"", {}},
        // The whole tail "/dde" in any case names nothing; anything more does.
        {"/dde", {}},
        {"/dDe", {}},
        {"/dde ", {"/dde"}},
        {"/dd", {"/dd"}},
        {"/ddex", {"/ddex"}},
        // Empty tokens and blanks yield nothing.
        {"\"\"", {}},
        {"\"\" a.htm", {"a.htm"}},
        {"   ", {}},
        {"  a.htm    b.htm  ", {"a.htm", "b.htm"}},
        // Only the space separates; a quote inside a token is ordinary.
        {"a\tb.htm", {"a\tb.htm"}},
        {"a\"b c", {"a\"b", "c"}},
        {"\" \"", {" "}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(Split(c.tail), c.tokens) << "tail [" << c.tail << "]";
    EXPECT_TRUE(Split(nullptr).empty());
    // The tail is read, never written.
    char tail[] = "\"a b\" \"c d";
    EXPECT_EQ(Split(tail), (std::vector<std::string>{"a b", "c", "d"}));
    EXPECT_STREQ(tail, "\"a b\" \"c d");
}

TEST(PageExtension, HtmOrHTMCaseSensitive) {
    struct {
        const char* ext;
        bool page;
    } const cases[] = {
        {".htm", true},   {".HTM", true},  {".xhtml", true}, {".Htm", false},
        {".hTm", false},  {".mht", false}, {"", false},      {".", false},
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

TEST(ResultLine, LongNameIsCutSoTheLineFits) {
    // The name field holds up to 1027 characters; the line buffer 1023.
    const std::string n1018(1018, 'n'), tail = " [" TEXT_ERROR ": -2147483648]";
    EXPECT_EQ(Line(STATUS_OK, n1018.c_str()), n1018 + " [Ok]");         // fits exactly
    EXPECT_EQ(Line(STATUS_OK, (n1018 + "n").c_str()), n1018 + " [Ok]"); // one too many
    EXPECT_EQ(Line(INT32_MIN, std::string(1027, 'n').c_str()),
              std::string(1023 - tail.size(), 'n') + tail);
    // A fixed message is never longer than a tiny buffer allows.
    EXPECT_EQ(Line(STATUS_NO_ACTION, "x", 4), std::string(TEXT_NO_ACTION).substr(0, 3));
    EXPECT_EQ(Line(5, "name", 6), std::string(" [") + "\xCE\xF8\xE8");
}

} // namespace
