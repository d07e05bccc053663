// The platform's ANSI code page under Wine is 1251, and its conversion to
// UTF-16 gives the same units as the built-in table of the native build.
#include "repair/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(AnsiCodePage, IsWindows1251) {
    EXPECT_EQ(1251u, GetACP());
}

TEST(AnsiCodePage, PlatformAndTableAgreeOnEveryByte) {
    for (unsigned b = 0; b < 256; ++b) {
        const char text[2] = {static_cast<char>(b), '\0'};
        WCHAR platform[4] = {};
        const int n = MultiByteToWideChar(GetACP(), 0, text, -1, platform, 4);
        uint16_t table[4] = {};
        ASSERT_EQ(n, Cp1251ToUtf16(text, table, 4)) << std::hex << b;
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(static_cast<uint16_t>(platform[i]), table[i]) << std::hex << b;
    }
}

TEST(AnsiCodePage, SeamCountsAndConvertsWholeTexts) {
    char all[256];
    for (int i = 1; i < 256; ++i)
        all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    ASSERT_EQ(256, AnsiCodePageToUtf16(all, nullptr, 0));
    uint16_t seam[256], table[256];
    ASSERT_EQ(256, AnsiCodePageToUtf16(all, seam, 256));
    ASSERT_EQ(256, Cp1251ToUtf16(all, table, 256));
    EXPECT_EQ(0, memcmp(seam, table, sizeof seam));
}

} // namespace
