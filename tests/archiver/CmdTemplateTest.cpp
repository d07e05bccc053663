// The archiver's command line: stem and folder of a page, and the template
// filled without printf, within its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "worker/CmdTemplate.h"

namespace {

std::string Format(const std::string& tmpl, const char* stem = "S", const char* path = "P",
                   const char* folder = "F") {
    char out[kArcBufSize];
    EXPECT_TRUE(FormatArcCmd(out, sizeof out, tmpl.c_str(), stem, path, folder)) << tmpl;
    return out;
}

} // namespace

TEST(SplitArcPath, CutsAtTheLastDotOfTheWholePath) {
    struct {
        const char* path;
        const char* stem;
        const char* folder;
    } const cases[] = {
        {"C:\\Pages\\news.htm", "C:\\Pages\\news", "C:\\Pages\\news_files"},
        {"C:\\a\\b.c\\page.htm", "C:\\a\\b.c\\page", "C:\\a\\b.c\\page_files"},
        {"C:\\a\\b.c\\page", "C:\\a\\b", "C:\\a\\b_files"},
        {"C:\\a\\page", "C:\\a\\page", "C:\\a\\page"},
        {"C:\\a\\page.", "C:\\a\\page", "C:\\a\\page_files"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        char stem[kArcBufSize], folder[kArcBufSize];
        ASSERT_TRUE(SplitArcPath(c.path, stem, folder, kArcBufSize)) << c.path;
        EXPECT_STREQ(c.stem, stem) << c.path;
        EXPECT_STREQ(c.folder, folder) << c.path;
    }
}

TEST(SplitArcPath, RefusesWhatDoesNotFit) {
    char stem[16], folder[16];
    EXPECT_TRUE(SplitArcPath("123456789.htm", stem, folder, sizeof stem)); // 15 + NUL
    EXPECT_STREQ("123456789_files", folder);
    EXPECT_FALSE(SplitArcPath("1234567890.htm", stem, folder, sizeof stem));
    EXPECT_STREQ("", stem);
    EXPECT_STREQ("", folder);
    EXPECT_TRUE(SplitArcPath("123456789012345", stem, folder, sizeof stem));
    EXPECT_FALSE(SplitArcPath("1234567890123456", stem, folder, sizeof stem));
}

TEST(FormatArcCmd, SubstitutesThreeStringsAndCopiesEverythingElse) {
    struct {
        const char* tmpl;
        const char* expected;
    } const cases[] = {
        {"", ""},
        {" ", " "},
        {" a %s %s", " a S P"},
        {" 7za a \"%s.7z\" \"%s\" \"%s\"", " 7za a \"S.7z\" \"P\" \"F\""},
        {" %%", " %"},
        {" %%s %s", " %s S"},
        {" %d %s", " %d S"},
        {" %5s %s", " %5s S"},
        {" %S %x %", " %S %x %"},
        {" %s%s%s%s%s%s%s%s%s%s", " SPF%s%s%s%s%s%s%s"},
        {" %s %s %s %% %s", " S P F % %s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Format(c.tmpl)) << c.tmpl;
}

TEST(FormatArcCmd, StringsAreNeverReadAsTemplate) {
    EXPECT_EQ(" 100%s% P %%", Format(" %s %s %s", "100%s%", "P", "%%"));
}

TEST(FormatArcCmd, LongestTemplateWithLongestStringsFits) {
    // 259 characters, three of the "%s" among them; three 1029-character strings.
    std::string tmpl = " " + std::string(252, 'x') + "%s%s%s";
    ASSERT_EQ(259u, tmpl.size());
    std::string stem(1029, 's'), path(1029, 'p'), folder(1029, 'f');
    EXPECT_EQ(" " + std::string(252, 'x') + stem + path + folder,
              Format(tmpl, stem.c_str(), path.c_str(), folder.c_str()));
}

TEST(FormatArcCmd, NeverWritesPastItsBuffer) {
    std::string big(2100, 'b');
    char out[kArcBufSize + 16];
    memset(out, '#', sizeof out);
    EXPECT_FALSE(FormatArcCmd(out, kArcBufSize, " %s %s %s", big.c_str(), big.c_str(), "F"));
    EXPECT_STREQ("", out);
    EXPECT_EQ(std::string(16, '#'), std::string(out + kArcBufSize, 16));

    // Exactly full: the text and its NUL; one byte less is refused.
    EXPECT_TRUE(FormatArcCmd(out, 7, " %s-%%", "abc", "P", "F"));
    EXPECT_STREQ(" abc-%", out);
    EXPECT_FALSE(FormatArcCmd(out, 7, " %s-%%x", "abc", "P", "F"));
    EXPECT_FALSE(FormatArcCmd(out, 7, " %s-%%", "abcd", "P", "F"));
    EXPECT_FALSE(FormatArcCmd(out, 0, "", "S", "P", "F"));
}
