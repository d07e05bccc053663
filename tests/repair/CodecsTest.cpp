// The growable buffer and the text codecs, byte for byte, malformed input
// included. Runs natively and under Wine (where AnsiToUtf8 goes through the
// platform's code page 1251).
#include "repair/AnsiCodePage.h"
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

using HeapText = std::unique_ptr<char, MallocDeleter>;

TEST(GrowBufAppend, GrowsInFixedStepsOrByTheLengthPlusOne) {
    struct Case {
        int32_t used, capacity, len, increment;
        int32_t capacityAfter;
    } cases[] = {
        {0, 0, 100, 0x8000, 32768},   // one step
        {0, 0, 40000, 0x8000, 40001}, // one step is not enough
        {32700, 32768, 100, 0x8000, 65536},
        {32700, 32768, 67, 0x8000, 32768}, // fills to capacity - 1: no growth
        {32700, 32768, 68, 0x8000, 65536}, // the next byte grows it
        {0, 0, 1, 4096, 4096},
        {4000, 4096, 4200, 4096, 8297}, // one step is not enough: length + 1
    };
    for (const Case& c : cases) {
        GrowBufOwner owner;
        GrowBuf& b = owner.buf;
        if (c.capacity) {
            b.data = static_cast<char*>(std::malloc(static_cast<size_t>(c.capacity)));
            std::memset(b.data, 'x', static_cast<size_t>(c.used));
        }
        b.used = c.used;
        b.capacity = c.capacity;
        const std::string src(static_cast<size_t>(c.len), 'y');
        ASSERT_EQ(1, GrowBufAppend(&b.data, &b.used, src.data(), c.len, &b.capacity, c.increment));
        EXPECT_EQ(c.capacityAfter, b.capacity) << c.used << "+" << c.len;
        EXPECT_EQ(c.used + c.len, b.used);
        EXPECT_LT(b.used, b.capacity);
        EXPECT_EQ(std::string(static_cast<size_t>(c.used), 'x') + src,
                  std::string(b.data, static_cast<size_t>(b.used)));
    }
}

TEST(GrowBufAppend, ZeroBytesAllocateNothing) {
    GrowBufOwner owner;
    EXPECT_EQ(1, GrowBufAppend(&owner.buf, "abc", 0, 0x8000));
    EXPECT_EQ(nullptr, owner.buf.data);
    EXPECT_EQ(0, owner.buf.used);
    EXPECT_EQ(0, owner.buf.capacity);
}

TEST(GrowBufAppend, SizeBeyondSignedRangeFailsAndFreesTheBlock) {
    // The sizes are 32-bit: a sum past INT32_MAX must fail, not wrap.
    GrowBuf b;
    b.data = static_cast<char*>(std::malloc(16));
    b.used = INT32_MAX - 10;
    b.capacity = INT32_MAX - 5;
    EXPECT_EQ(0, GrowBufAppend(&b.data, &b.used, "0123456789abcdef", 16, &b.capacity, 0x8000));
    EXPECT_EQ(nullptr, b.data);

    b = GrowBuf();
    b.data = static_cast<char*>(std::malloc(16));
    EXPECT_EQ(0, GrowBufAppend(&b.data, &b.used, "x", -1, &b.capacity, 0x8000));
    EXPECT_EQ(nullptr, b.data);
}

TEST(HexPairValue, ReadsTwoUpperCaseDigits) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"00", 0},    {"09", 9},  {"0A", 10}, {"FF", 255},      {"7F", 127},
        {"C0x", 192}, {"A", -1},  {"", -1},   {"0G", -1},       {"G0", -1},
        {"4a", -1},   {"a4", -1}, {"ff", -1}, {"0/", -1},       {"0:", -1},
        {"0@", -1},   {" 1", -1}, {"%4", -1}, {"\xC0\x31", -1}, {"1\xC0", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, HexPairValue(c.text)) << '"' << c.text << '"';
}

TEST(HexPairValue, StopsAtTheTerminator) {
    // "A" then the terminator: the byte behind it must not be examined
    // (it would make a valid pair).
    const char text[3] = {'A', '\0', '1'};
    EXPECT_EQ(-1, HexPairValue(text));
    const char empty[2] = {'\0', '1'};
    EXPECT_EQ(-1, HexPairValue(empty));
}

TEST(PercentDecode, DecodesValidEscapesOnly) {
    struct Case {
        const char* in;
        const char* out;
        int flag;
    } cases[] = {
        {"%41%42", "AB", 1},
        {"%4a", "%4a", 0},
        {"%%41", "%A", 1},
        {"ab%4", "ab%4", 0},
        {"", "", 0},
        {"%", "%", 0},
        {"%%", "%%", 0},
        {"%%%", "%%%", 0},
        {"100%", "100%", 0},
        {"%ZZ%C0", "%ZZ\xC0", 1},
        {"%C0%E1.png", "\xC0\xE1.png", 1},
        {"%2541", "%41", 1}, // one pass: a decoded "%" starts nothing
        {"%252", "%2", 1},
        {"%G1%1G", "%G1%1G", 0},
        {"x%FFy", "x\xFFy", 1},
        {"%\xC0\x31", "%\xC0\x31", 0},
        {"a b%20c", "a b c", 1},
        {"a%00b", "a", 1}, // a zero escape ends the text
    };
    for (const Case& c : cases) {
        std::string buf(c.in);
        EXPECT_EQ(c.flag, PercentDecode(&buf[0])) << c.in;
        EXPECT_STREQ(c.out, buf.c_str()) << c.in;
    }
}

// The KOI8-R layout of the Cyrillic letters (RFC 1489), small letters from
// 0xC0 in order, capitals 0x20 higher; Windows-1251 has them alphabetically
// from 0xE0 (small) and 0xC0 (capital). Transliterated to keep this
// independent of the table under test.
const char* const kAlphabet[32] = {"a", "b",  "v",  "g",  "d",    "e", "zh",   "z",  "i",  "j", "k",
                                   "l", "m",  "n",  "o",  "p",    "r", "s",    "t",  "u",  "f", "h",
                                   "c", "ch", "sh", "sc", "hard", "y", "soft", "eh", "yu", "ya"};
const char* const kKoi8Layout[32] = {
    "yu", "a",  "b", "c", "d", "e", "f",  "g", "h",    "i", "j", "k",  "l",  "m",  "n",  "o",
    "p",  "ya", "r", "s", "t", "u", "zh", "v", "soft", "y", "z", "sh", "eh", "sc", "ch", "hard"};

unsigned char ExpectedKoi8(unsigned b) {
    if (b < 0xA0)
        return static_cast<unsigned char>(b);
    if (b < 0xC0) {
        static const unsigned char kA0[32] = {0x9A, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xBB, 0xA7,
                                              0xB3, 0xBF, 0xAA, 0xAB, 0xA8, 0xAD, 0xAE, 0xAF,
                                              0x9C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0x9E,
                                              0xA3, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF};
        return kA0[b - 0xA0];
    }
    const bool capital = b < 0xE0;
    const char* letter = kAlphabet[(b - 0xC0) % 32];
    for (unsigned k = 0; k < 32; ++k)
        if (std::strcmp(kKoi8Layout[k], letter) == 0)
            return static_cast<unsigned char>(0xC0 + k + (capital ? 0x20 : 0));
    return 0;
}

TEST(Win1251ToKoi8, TranslatesEveryByte) {
    for (unsigned b = 1; b < 256; ++b) {
        char text[2] = {static_cast<char>(b), '\0'};
        Win1251ToKoi8(text);
        EXPECT_EQ(ExpectedKoi8(b), static_cast<unsigned char>(text[0])) << std::hex << b;
        EXPECT_EQ('\0', text[1]);
    }
}

TEST(Win1251ToKoi8, WholeText) {
    std::string text = "page_files/\xCF\xF0\xE8\xE2\xE5\xF2.png";
    Win1251ToKoi8(&text[0]);
    EXPECT_EQ("page_files/\xF0\xD2\xC9\xD7\xC5\xD4.png", text);
}

TEST(AnsiToUtf8, ConvertsFromCodePage1251) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"\xC0", "\xD0\x90"},
        {"\x88", "\xE2\x82\xAC"},
        {"page_files/a b.png", "page_files/a b.png"},
        {"\xC0\xE1.png", "\xD0\x90\xD0\xB1.png"},
        {"\xB9", "\xE2\x84\x96"},
        {"\xA8\xB8", "\xD0\x81\xD1\x91"},
        {"\x98", "\xC2\x98"},
        {"\xA0", "\xC2\xA0"},
        {"\xFF", "\xD1\x8F"},
    };
    for (const Case& c : cases) {
        HeapText utf8(AnsiToUtf8(c.in));
        ASSERT_NE(nullptr, utf8) << c.in;
        EXPECT_STREQ(c.out, utf8.get()) << c.in;
    }
}

TEST(Cp1251ToUtf16, CountsAndFillsWithTheTerminator) {
    EXPECT_EQ(1, Cp1251ToUtf16("", nullptr, 0));
    EXPECT_EQ(4, Cp1251ToUtf16("a\xC0\x88", nullptr, 0));
    uint16_t units[4] = {1, 1, 1, 1};
    ASSERT_EQ(4, Cp1251ToUtf16("a\xC0\x88", units, 4));
    const uint16_t expected[4] = {0x61, 0x410, 0x20AC, 0};
    EXPECT_EQ(0, std::memcmp(expected, units, sizeof units));
    EXPECT_EQ(0, Cp1251ToUtf16("a\xC0\x88", units, 3)); // too small: failure
}

TEST(IsMultiByteUtf8, AcceptsWellFormedTextWithAMultiByteSequence) {
    struct Case {
        const char* text;
        bool result;
    } cases[] = {
        {"", false},
        {"page_files/a.png", false}, // ASCII only
        {"\xD0\x9F", true},          // U+041F
        {"a\xD0\x9F\xD1\x80.png", true},
        {"\xE2\x82\xAC", true},      // U+20AC
        {"\xF0\x9F\x98\x80", true},  // U+1F600
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xC0\xE1", false},         // Windows-1251 letters
        {"\xC0\x80", false},         // overlong
        {"\xC1\xBF", false},         // overlong
        {"\xE0\x80\xAF", false},     // overlong
        {"\xF0\x80\x80\xAF", false}, // overlong
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\xD0", false}, // cut short
        {"\xE2\x82", false},
        {"\x80", false}, // stray continuation
        {"\xD0\x9F\x80", false},
        {"\xD0\x41", false},
        {"\xFF", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, IsMultiByteUtf8(c.text, int32_t(std::strlen(c.text))))
            << testing::PrintToString(std::string(c.text));
}

} // namespace
