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

// Memory that runs out at the first reference, or at the end of a reference
// once it was rewritten: the rewrite gives up (Leave), it never goes on.
TEST(RewriteSavedPage, LeavesThePageWhenTheSinkRunsOutOfMemory) {
    struct FailingSink final : PageSink {
        bool bAtEnd;
        char room[64];
        explicit FailingSink(bool b) : bAtEnd(b) {}
        bool Keep(const char*, int32_t) override { return true; }
        char* BeginReference(const char* p, int32_t cb) override {
            return bAtEnd ? static_cast<char*>(std::memcpy(room, p, size_t(cb))) : nullptr;
        }
        bool EndReference(const char*, int32_t) override { return false; }
    };
    const std::string page = "<img src=\"a_files/%C0.png\"><img src=\"a_files/%C1.png\">";
    for (const bool bAtEnd : {false, true}) {
        FailingSink sink(bAtEnd);
        EXPECT_EQ(PageRepair::Leave,
                  RewriteSavedPageInto(page.data(), int32_t(page.size()), &sink));
    }
}

} // namespace
