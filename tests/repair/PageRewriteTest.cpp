// The page rewrite as a function of bytes: the golden pages, and a page long
// enough to move the output block many times.
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
    const PageRepair result = RewriteSavedPage(exact.get(), int32_t(page.size()), &out.buf);
    return {result, std::string(out.buf.data ? out.buf.data : "", size_t(out.buf.used)),
            out.buf.capacity};
}

TEST(RewriteSavedPage, GoldenPages) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u);
    for (const GoldenPage& p : pages) {
        const Rewritten r = Rewrite(p.in);
        const bool zero = p.in.find('\0') != std::string::npos;
        EXPECT_EQ(zero                 ? PageRepair::Leave
                  : p.in == p.expected ? PageRepair::Unchanged
                                       : PageRepair::Rewritten,
                  r.result)
            << p.name;
        EXPECT_EQ(zero ? "" : p.expected, r.bytes) << p.name;
    }
}

TEST(RewriteSavedPage, LongPageInEveryCharset) {
    const struct {
        const char *charset, *name;
    } cases[] = {{"x", "\xC0\xE1"}, {"koi8-r", "\xE1\xC2"}, {"utf-8", "\xD0\x90\xD0\xB1"}};
    for (const auto& c : cases) {
        std::string in = std::string("<head><meta content=\"charset=") + c.charset + "\"></head>";
        std::string expected = in;
        for (int i = 0; i < 600; ++i) {
            const std::string text(size_t(i % 1500), 't');
            in += text + "<img src=\"p_files/%C0%E1.png\">";
            expected += text + "<img src=\"p_files/" + c.name + ".png\">";
        }
        const Rewritten r = Rewrite(in);
        EXPECT_EQ(PageRepair::Rewritten, r.result);
        EXPECT_TRUE(r.bytes == expected) << c.charset;
        EXPECT_EQ(0, r.capacity % 0x8000); // grown in whole steps of 32 KiB
    }
}

} // namespace
