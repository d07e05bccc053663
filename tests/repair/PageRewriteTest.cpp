// The page rewrite as a function of bytes: the golden pages, the output grown
// in the Windows program's steps.
#include "repair/PageRewrite.h"
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// The page goes in a heap block of its exact size, so that the sanitizer
// catches any read past its end.
TEST(RewriteSavedPage, GoldenPages) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u);
    for (const GoldenPage& p : pages) {
        std::unique_ptr<char[]> exact(new char[p.in.size()]);
        std::memcpy(exact.get(), p.in.data(), p.in.size());
        GrowBufOwner out;
        const PageRepair result = RewriteSavedPage(exact.get(), int32_t(p.in.size()), &out.buf,
                                                   nullptr, p.folderSuffix.c_str());
        const bool zero = p.in.find('\0') != std::string::npos;
        EXPECT_EQ(zero                 ? PageRepair::ZeroByte
                  : p.in == p.expected ? PageRepair::Unchanged
                                       : PageRepair::Rewritten,
                  result)
            << p.name;
        EXPECT_EQ(zero ? "" : p.expected,
                  std::string(out.buf.data ? out.buf.data : "", size_t(out.buf.used)))
            << p.name;
    }
}

} // namespace
