// The portable intake pieces: the command-line split and the result line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/intake/Texts1251.h"
#include "ui/CmdLine.h"
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
        {"/dde", {}},
        {"/dDe", {}},
        {"/ddex", {"/ddex"}},
        {"\"\" a.htm", {"a.htm"}},  // an empty token yields nothing
        {"a\tb.htm", {"a\tb.htm"}}, // only the space separates
    };
    for (const auto& c : cases)
        EXPECT_EQ(Split(c.tail), c.tokens) << c.tail;
}

std::string Line(int32_t status, const std::string& name) {
    char buf[1024];
    FormatResultLine(status, name.c_str(), buf, sizeof buf);
    return buf;
}

TEST(ResultLine, LongNameIsCutSoTheLineFits) {
    const std::string tail = " [" TEXT_ERROR ": -2147483648]";
    EXPECT_EQ(Line(STATUS_OK, std::string(1019, 'n')), std::string(1018, 'n') + " [Ok]");
    EXPECT_EQ(Line(INT32_MIN, std::string(1027, 'n')), std::string(1023 - tail.size(), 'n') + tail);
}

} // namespace
