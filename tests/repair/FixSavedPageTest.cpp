// FixSavedPage on real files under Wine: the golden pages (the same
// expected bytes as the Linux command; an empty page and pages with a zero
// byte among them), pages it must not touch, and write-backs that fail
// part-way.
#include "repair/FixSavedPage.h"
#include "repair/FixSavedPageFault.h"
#include "tests/helpers/WinScratch.h"
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class FixSavedPageTest : public testing::Test {
  protected:
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = m_dir / name;
        EXPECT_TRUE(WriteBytes(path, bytes)) << path;
        return path;
    }

    ScratchDir m_dir{"fix"};
};

const char kKoi8Page[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
    "</head><body><img src=\"page_files/%C0%E1.png\"></body></html>";
const char kKoi8Fixed[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
    "</head><body><img src=\"page_files/\xE1\xC2.png\"></body></html>";

TEST_F(FixSavedPageTest, GoldenPagesGiveTheExpectedBytes) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u) << GoldenDir();
    for (const GoldenPage& p : pages) {
        const std::string path = Put(p.name + ".htm", p.in);
        FixSavedPage(path.c_str());
        EXPECT_TRUE(Exists(path)) << p.name;
        EXPECT_TRUE(ReadBytes(path) == p.expected) << p.name;
    }
}

TEST_F(FixSavedPageTest, PageHeldOpenByAnotherHandleIsUntouched) {
    // Whatever the other opener shares, the repair wants the page alone.
    const DWORD shares[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    for (DWORD share : shares) {
        const std::string path = Put("held.htm", kKoi8Page);
        HANDLE other =
            CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        FixSavedPage(path.c_str());
        CloseHandle(other);
        EXPECT_EQ(kKoi8Page, ReadBytes(path)) << "share " << share;
    }
    // Once it is closed, the page is repaired.
    const std::string path = Put("held.htm", kKoi8Page);
    FixSavedPage(path.c_str());
    EXPECT_EQ(kKoi8Fixed, ReadBytes(path));
}

TEST_F(FixSavedPageTest, ReadOnlyPageIsUntouched) {
    const std::string path = Put("readonly.htm", kKoi8Page);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    FixSavedPage(path.c_str());
    EXPECT_EQ(kKoi8Page, ReadBytes(path));
}

TEST_F(FixSavedPageTest, MissingPageIsNotCreated) {
    const std::string path = m_dir / "missing.htm";
    FixSavedPage(path.c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

TEST_F(FixSavedPageTest, FailedWriteBackLeavesTheOriginalBytes) {
    // A page that shrinks and one that grows (raw Windows-1251 bytes on a
    // UTF-8 page become two bytes each), each with a big stretch before the
    // reference so that a short write really cuts into it.
    const std::string big(100000, 'x');
    const std::string shrinking = std::string(kKoi8Page) + big;
    const std::string growing =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "</head><body>" +
        big + "<img src=\"page_files/%41" + std::string(5000, '\xC0') + ".png\"></body></html>";
    const PageWriteFault faults[] = {PageWriteFault::Seek, PageWriteFault::ShortWrite,
                                     PageWriteFault::Cut};
    for (const std::string* page : {&shrinking, &growing}) {
        for (PageWriteFault fault : faults) {
            const std::string path = Put("fault.htm", *page);
            SetPageWriteFault(fault);
            FixSavedPage(path.c_str());
            EXPECT_TRUE(ReadBytes(path) == *page)
                << "fault " << int(fault) << ", page of " << page->size() << " bytes";
        }
        // Without a fault the same page is rewritten: the faults were real.
        const std::string path = Put("fault.htm", *page);
        FixSavedPage(path.c_str());
        EXPECT_FALSE(ReadBytes(path) == *page);
    }
}

} // namespace
