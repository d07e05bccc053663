// FixSavedPage on real files under Wine: pages it cannot have alone, and
// write-backs that fail. (The rewrite itself runs on the golden pages under
// Wine too, in tests/repair.)
#include "repair/FixSavedPage.h"
#include "repair/PageWriteOps.h"
#include "tests/win/WinRig.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Such a page is reported as not repaired.
TEST(FixSavedPage, PageHeldOpenOrReadOnlyIsUntouched) {
    ScratchDir dir("held");
    const char kPage[] = "<img src=\"page_files/%C0%E1.png\">";
    // Another handle sharing nothing or everything, the read-only attribute,
    // and last nothing in the way: then the page is repaired.
    const struct {
        bool open;
        DWORD share;
        bool readOnly;
    } cases[] = {{true, 0, false},
                 {true, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
                 {false, 0, true},
                 {false, 0, false}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = dir.File("p" + std::to_string(n++) + ".htm", kPage);
        ASSERT_TRUE(!c.readOnly || SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        HANDLE other = c.open ? CreateFileA(path.c_str(), GENERIC_READ, c.share, nullptr,
                                            OPEN_EXISTING, 0, nullptr)
                              : INVALID_HANDLE_VALUE;
        ASSERT_EQ(c.open, other != INVALID_HANDLE_VALUE);
        const bool bRepaired = FixSavedPage(Wide(path).c_str());
        if (c.open)
            CloseHandle(other);
        EXPECT_EQ(c.open || c.readOnly, ReadBytes(path) == kPage) << n;
        EXPECT_EQ(c.open || c.readOnly, !bRepaired) << n;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The write-back's operations, each failing once when its fault is armed:
// positioning fails, only half the text is written though the write reports
// success (a short write), or the text is written whole and the cut fails.
enum class Fault { None, Seek, ShortWrite, Cut };
Fault g_fault = Fault::None;

bool Take(Fault fault) {
    if (g_fault != fault)
        return false;
    g_fault = Fault::None;
    return true;
}

DWORD WINAPI SeekOrFail(HANDLE h, LONG lDist, PLONG plHigh, DWORD dwMethod) {
    if (Take(Fault::Seek)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_SET_FILE_POINTER;
    }
    return SetFilePointer(h, lDist, plHigh, dwMethod);
}

BOOL WINAPI WriteOrFail(HANDLE h, LPCVOID p, DWORD cb, LPDWORD pcbDone, LPOVERLAPPED pOv) {
    if (Take(Fault::ShortWrite)) {
        return WriteFile(h, p, cb / 2, pcbDone, pOv);
    }
    return WriteFile(h, p, cb, pcbDone, pOv);
}

BOOL WINAPI CutOrFail(HANDLE h) {
    return Take(Fault::Cut) ? FALSE : SetEndOfFile(h);
}

TEST(FixSavedPage, FailedWriteBackLeavesTheOriginalBytes) {
    // One page shrinks (%41 becomes A), one grows (raw Windows-1251 bytes on
    // a UTF-8 page become two bytes each); the reference comes first, so a
    // short write cuts into changed bytes.
    ScratchDir dir("fault");
    const std::string shrinking = "<p title=\"a_files/%41%42\">" + std::string(1000, 'x');
    const std::string growing =
        "<head>charset=utf-8\"</head><p title=\"a_files/%41" + std::string(1000, '\xC0') + "\">";
    const PageWriteOps saved = g_pageWriteOps;
    g_pageWriteOps = {SeekOrFail, WriteOrFail, CutOrFail};
    for (const std::string& page : {shrinking, growing})
        for (Fault fault : {Fault::Seek, Fault::ShortWrite, Fault::Cut, Fault::None}) {
            const std::string path = dir.File("p.htm", page);
            g_fault = fault;
            EXPECT_EQ(fault == Fault::None, FixSavedPage(Wide(path).c_str())) << int(fault);
            EXPECT_EQ(fault != Fault::None, ReadBytes(path) == page) << int(fault);
        }
    g_pageWriteOps = saved;
}

} // namespace
