// The archiver's command line: the template filled without printf, within
// its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "worker/CmdTemplate.h"

namespace {

std::string Format(const std::string& tmpl, const std::string& s = "S", const std::string& p = "P",
                   const std::string& f = "F") {
    char out[kArcBufSize];
    EXPECT_TRUE(FormatArcCmd(out, sizeof out, tmpl.c_str(), s.c_str(), p.c_str(), f.c_str()));
    return out;
}

TEST(FormatArcCmd, ThreeStringsAndEverythingElseCopied) {
    const struct {
        const char* tmpl;
        const char* expected;
    } cases[] = {
        {" a %s", " a S"},
        {" a %s %s", " a S P"},
        {" 7za a \"%s.7z\" \"%s\" \"%s\"", " 7za a \"S.7z\" \"P\" \"F\""},
        {" %% %%s", " % %s"},
        {" %d %n %s", " %d %n S"},
        {" %5s %999s %s", " %5s %999s S"},
        {" %s%s%s%s%s%s%s%s%s%s", " SPF%s%s%s%s%s%s%s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Format(c.tmpl)) << c.tmpl;
    // The strings are never read as a template.
    EXPECT_EQ(" 100%s% P %%", Format(" %s %s %s", "100%s%", "P", "%%"));
    // The longest template with three of the longest paths fits.
    std::string tmpl = " " + std::string(252, 'x') + "%s%s%s", s(1029, 's'), p(1029, 'p');
    EXPECT_EQ(" " + std::string(252, 'x') + s + p + s, Format(tmpl, s, p, s));
}

TEST(FormatArcCmd, RefusesWhatDoesNotFit) {
    char out[16];
    memset(out, '#', sizeof out);
    EXPECT_TRUE(FormatArcCmd(out, 7, " %s-%%", "abc", "P", "F"));
    EXPECT_STREQ(" abc-%", out);
    EXPECT_FALSE(FormatArcCmd(out, 7, " %s-%%", "abcd", "P", "F"));
    EXPECT_STREQ("", out);
    EXPECT_EQ('#', out[7]);
}

} // namespace
