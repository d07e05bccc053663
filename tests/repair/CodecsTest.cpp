// The growable buffer and the text codecs, byte for byte, malformed input
// included. Runs natively and under Wine, where AnsiToUtf8 goes through the
// platform's code page.
#include "repair/AnsiCodePage.h"
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

TEST(GrowBufAppend, GrowsInFixedStepsOrByTheLengthPlusOne) {
    const struct {
        int32_t used, capacity, len, increment, capacityAfter;
    } cases[] = {
        {0, 0, 100, 0x8000, 0x8000},       {0, 0, 40000, 0x8000, 40001},
        {32700, 32768, 67, 0x8000, 32768}, {32700, 32768, 68, 0x8000, 65536},
        {4000, 4096, 4200, 4096, 8297},    {0, 0, 0x8000, 0x8000, 0x8001},
    };
    for (const auto& c : cases) {
        GrowBufOwner owner;
        GrowBuf& b = owner.buf;
        if (c.capacity) {
            b.data = static_cast<char*>(std::malloc(size_t(c.capacity)));
            std::memset(b.data, 'x', size_t(c.used));
        }
        b.used = c.used;
        b.capacity = c.capacity;
        const std::string src(size_t(c.len), 'y');
        ASSERT_EQ(1, GrowBufAppend(&b, src.data(), c.len, c.increment));
        EXPECT_EQ(c.capacityAfter, b.capacity) << c.used << "+" << c.len;
        EXPECT_EQ(std::string(size_t(c.used), 'x') + src, std::string(b.data, size_t(b.used)));
    }
    // Beyond the signed 32-bit range: a failure, the block freed.
    GrowBuf b{static_cast<char*>(std::malloc(16)), INT32_MAX - 10, INT32_MAX - 5};
    EXPECT_TRUE(GrowBufAppend(&b, "0123456789abcdef", 16, 0x8000) == 0 && !b.data);
}

TEST(PercentDecode, DecodesUpperCaseEscapesOnly) {
    const struct {
        const char *in, *out;
        int flag;
        const char* keep; // bytes whose escapes stay as written
    } cases[] = {
        {"%41%42", "AB", 1, ""},
        {"%4a", "%4a", 0, ""},
        {"%%41", "%A", 1, ""},
        {"ab%4", "ab%4", 0, ""},
        {"%", "%", 0, ""},
        {"100%", "100%", 0, ""},
        {"%2541", "%41", 1, ""},
        {"%G1%1G", "%G1%1G", 0, ""},
        {"%ZZ%C0", "%ZZ\xC0", 1, ""},
        {"x%FFy", "x\xFFy", 1, ""},
        {"%\xC0\x31", "%\xC0\x31", 0, ""},
        {"a%00b", "a", 1, ""},
        {"%22%23%25%3F", "%22%23%25%3F", 0, "\"#%?"},
        {"%C0%22%E1%2541", "\xC0%22\xE1%2541", 1, "\"#%?"},
        {"%21%3E%00", "!>", 1, "\"#%?"},
    };
    for (const auto& c : cases) {
        std::string buf(c.in);
        EXPECT_EQ(c.flag, PercentDecode(&buf[0], c.keep)) << c.in;
        EXPECT_STREQ(c.out, buf.c_str()) << c.in;
    }
    // The byte behind a terminator would make a valid pair: never read.
    EXPECT_EQ(-1, HexPairValue("A\0"
                               "1"));
    EXPECT_EQ(0xC0, HexPairValue("C0x"));
}

TEST(Win1251ToKoi8, TranslatesEveryByte) {
    // Bytes 0xA0 to 0xFF; those below keep their value.
    const unsigned char kFromA0[] =
        "\x9A\xA1\xA2\xA3\xA4\xA5\xBB\xA7\xB3\xBF\xAA\xAB\xA8\xAD\xAE\xAF"
        "\x9C\xB1\xB2\xB3\xB4\xB5\xB6\x9E\xA3\xB9\xBA\xBB\xBC\xBD\xBE\xBF"
        "\xE1\xE2\xF7\xE7\xE4\xE5\xF6\xFA\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF0"
        "\xF2\xF3\xF4\xF5\xE6\xE8\xE3\xFE\xFB\xFD\xFF\xF9\xF8\xFC\xE0\xF1"
        "\xC1\xC2\xD7\xC7\xC4\xC5\xD6\xDA\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0"
        "\xD2\xD3\xD4\xD5\xC6\xC8\xC3\xDE\xDB\xDD\xDF\xD9\xD8\xDC\xC0\xD1";
    for (unsigned b = 1; b < 256; ++b) {
        char text[2] = {char(b), '\0'};
        Win1251ToKoi8(text);
        EXPECT_EQ(b < 0xA0 ? b : kFromA0[b - 0xA0], (unsigned char)text[0]) << std::hex << b;
        EXPECT_EQ('\0', text[1]);
    }
}

TEST(AnsiToUtf8, ConvertsFromCodePage1251) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"", ""},
        {"page_files/\xC0\xE1.png", "page_files/\xD0\x90\xD0\xB1.png"},
        {"\x88\xB9", "\xE2\x82\xAC\xE2\x84\x96"},
        {"\x98\xA0\xFF", "\xC2\x98\xC2\xA0\xD1\x8F"},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(c.in));
        ASSERT_NE(nullptr, utf8);
        EXPECT_STREQ(c.out, utf8.get());
    }
    // The letters: 0xC0 to 0xFF are U+0410 to U+044F, in order.
    std::string letters, expected;
    for (int i = 0; i < 64; ++i) {
        letters += char(0xC0 + i);
        expected += {char(0xC0 | (0x410 + i) >> 6), char(0x80 | ((0x410 + i) & 0x3F))};
    }
    const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(letters.c_str()));
    EXPECT_EQ(expected, utf8 ? utf8.get() : "");
}

#ifdef _WIN32
// The Windows build converts through the platform; the native build's table
// must give the very same units for every byte.
TEST(AnsiCodePage, PlatformAndTableAgreeOnEveryByte) {
    EXPECT_EQ(1251u, GetACP());
    char all[256];
    for (int i = 1; i < 256; ++i)
        all[i - 1] = char(i);
    all[255] = '\0';
    uint16_t platform[256], table[256];
    ASSERT_EQ(256, AnsiCodePageToUtf16(all, platform, 256));
    ASSERT_EQ(256, Cp1251ToUtf16(all, table, 256));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(platform[i], table[i]) << std::hex << i + 1;
}
#endif

TEST(IsMultiByteUtf8, AcceptsWellFormedTextWithAMultiByteSequence) {
    const struct {
        const char* text;
        bool result;
    } cases[] = {
        {"page_files/a.png", false}, {"a\xD0\x9F.png", true},     {"\xF4\x8F\xBF\xBF", true},
        {"\xC0\xE1", false},         {"\xE0\x80\xAF", false},     {"\xF0\x80\x80\xAF", false},
        {"\xED\xA0\x80", false},     {"\xF4\x90\x80\x80", false}, {"\xE2\x82", false},
        {"\xD0\x9F\x80", false},     {"\xF0\x90\x80\x80", true},  {"\xF5\x80\x80\x80", false},
        {"\xEF\xBF\xBD", true},      {"\xC3\xC0", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, IsMultiByteUtf8(c.text, int32_t(std::strlen(c.text))))
            << testing::PrintToString(std::string(c.text));
}

} // namespace
