// The page rewrite as a function of bytes: charset detection, the golden
// pages, and pages long enough to make the output grow many times.
#include "repair/PageRewrite.h"
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct Rewritten {
    PageRepair result;
    std::string bytes;
    int32_t capacity;
};

// The page goes in a heap block of its exact size, so that the sanitizer
// catches any read past its end.
Rewritten Rewrite(const std::string& page) {
    std::unique_ptr<char[]> exact(new char[page.size()]);
    std::memcpy(exact.get(), page.data(), page.size());
    GrowBufOwner out;
    out.buf.used = -1; // must be reset by the call
    Rewritten r;
    r.result = RewriteSavedPage(exact.get(), int32_t(page.size()), &out.buf);
    r.bytes.assign(out.buf.data ? out.buf.data : "", size_t(out.buf.used));
    r.capacity = out.buf.capacity;
    return r;
}

TEST(DetectPageCharset, FollowsTheDeclarationRules) {
    struct Case {
        const char* page;
        PageCharset charset;
    } cases[] = {
        {"<head><meta content=\"text/html; charset=koi8-r\"></head>", PageCharset::Koi8r},
        {"<head><meta content=\"text/html; charset=utf-8\"></head>", PageCharset::Utf8},
        {"<head><meta content=\"text/html; charset=UTF-8\"></head>", PageCharset::Utf8},
        {"<head><meta content=\"text/html; charset= \tKoi8-R\t \"></head>", PageCharset::Koi8r},
        {"<head><meta content=\"text/html; charset=utf-8;x\"></head>", PageCharset::Utf8},
        {"<head><meta content=\"text/html; charset=windows-1251\"></head>", PageCharset::Other},
        {"<head><meta content=\"text/html; charset=utf-8x\"></head>", PageCharset::Other},
        {"<head><meta content=\"text/html; charset=utf8\"></head>", PageCharset::Other},
        {"<head><meta charset=\"utf-8\"></head>", PageCharset::Other}, // quoted value
        {"<head><meta content=\"charset=\"></head>", PageCharset::Other},
        {"<head><meta content=\"text/html; CHARSET=utf-8\"></head>", PageCharset::Other},
        {"<head><meta content=\"text/html; charset=utf-8\"></HEAD>", PageCharset::Other},
        {"<head></head><meta content=\"text/html; charset=utf-8\">", PageCharset::Other},
        {"<head><meta content=text/html;charset=utf-8></head>", PageCharset::Other},
        {"<head>charset</head><p a=utf-8;>", PageCharset::Utf8}, // "=" beyond the head
        {"<head>charset</head>", PageCharset::Other},            // no "=" at all
        {"charset=koi8-r\"</head>", PageCharset::Koi8r},
        {"", PageCharset::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.charset, DetectPageCharset(c.page, int32_t(std::strlen(c.page)))) << c.page;
}

TEST(RewriteSavedPage, GoldenPages) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u) << GoldenDir();
    for (const GoldenPage& p : pages) {
        const Rewritten r = Rewrite(p.in);
        if (p.in.find('\0') != std::string::npos) {
            EXPECT_EQ(PageRepair::Leave, r.result) << p.name;
            EXPECT_EQ(p.in, p.expected) << p.name;
            EXPECT_TRUE(r.bytes.empty()) << p.name;
        } else {
            EXPECT_EQ(p.in == p.expected ? PageRepair::Unchanged : PageRepair::Rewritten, r.result)
                << p.name;
            EXPECT_EQ(p.expected, r.bytes) << p.name;
        }
    }
}

TEST(RewriteSavedPage, EmptyPageGivesEmptyOutput) {
    GrowBufOwner out;
    EXPECT_EQ(PageRepair::Unchanged, RewriteSavedPage("", 0, &out.buf));
    EXPECT_EQ(nullptr, out.buf.data);
    EXPECT_EQ(0, out.buf.used);
}

TEST(RewriteSavedPage, DoesNotReadPastTheGivenLength) {
    // The bytes after the page (a quote, an escape) must not take part.
    const char text[] = "x\"a_files/%41\"b_files/%42\"";
    const Rewritten r = Rewrite(std::string(text, 24)); // cut after "b_files/%4"
    EXPECT_EQ(PageRepair::Rewritten, r.result);
    EXPECT_EQ("x\"a_files/A\"b_files/%4", r.bytes);
    const Rewritten first = Rewrite(std::string(text, 9)); // x"a_files
    EXPECT_EQ(PageRepair::Unchanged, first.result);
    EXPECT_EQ("x\"a_files", first.bytes);
}

TEST(RewriteSavedPage, OutputGrowsInSteps) {
    // A page without references is copied with one append: length + 1.
    const std::string plain(40000, 'p');
    EXPECT_EQ(40001, Rewrite(plain).capacity);
    // With references the output grows by whole steps of 32 KiB.
    std::string page;
    while (page.size() < 100000)
        page += "<img src=\"p_files/%41.png\">";
    const Rewritten r = Rewrite(page);
    EXPECT_EQ(PageRepair::Rewritten, r.result);
    EXPECT_EQ(0, r.capacity % 0x8000);
}

std::string LongPage(PageCharset charset, bool escaped, int references) {
    std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
    page += charset == PageCharset::Koi8r ? "koi8-r" : charset == PageCharset::Utf8 ? "utf-8" : "x";
    page += "\"></head><body>\n";
    for (int i = 0; i < references; ++i) {
        page += "<p>" + std::string(size_t(i % 1500), 't') + "</p><img src=\"page_files/";
        page += escaped ? "%C0%E1" : "\xC0\xE1";
        page += std::to_string(i) + ".png\">\n";
    }
    return page + "</body></html>\n";
}

TEST(RewriteSavedPage, LongPagesEveryCharset) {
    // Hundreds of references, the output block moving many times while each
    // reference is decoded inside it.
    struct Case {
        PageCharset charset;
        const char* name;
    } cases[] = {
        {PageCharset::Other, "\xC0\xE1"},
        {PageCharset::Koi8r, "\xE1\xC2"},
        {PageCharset::Utf8, "\xD0\x90\xD0\xB1"},
    };
    for (const Case& c : cases) {
        const std::string in = LongPage(c.charset, true, 600);
        std::string expected = LongPage(c.charset, false, 600);
        for (size_t at = 0; (at = expected.find("page_files/\xC0\xE1", at)) != std::string::npos;
             at += 11)
            expected.replace(at + 11, 2, c.name);
        const Rewritten r = Rewrite(in);
        ASSERT_EQ(PageRepair::Rewritten, r.result);
        EXPECT_TRUE(r.bytes == expected) << "charset " << int(c.charset);
    }
}

} // namespace
