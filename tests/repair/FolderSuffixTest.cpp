// Folder suffixes that are not ASCII: widened from UTF-8 to UTF-16, and, in
// the Windows build, found beside a page and named to the archiver.
#include "repair/FolderSuffix.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include "worker/Archiver.h"
#include "worker/CmdTemplate.h"

#include <windows.h>
#endif

namespace {

TEST(FolderSuffix, WidenedFromUtf8ToUtf16) {
    const char* const kGreek = "_\xCE\xB1\xCF\x81\xCF\x87\xCE\xB5\xCE\xAF\xCE\xB1";
    wchar_t out[9];
    EXPECT_EQ(7, WidenFolderSuffix(kGreek, out, 8));
    EXPECT_EQ(std::wstring(L"_\u03B1\u03C1\u03C7\u03B5\u03AF\u03B1"), out);
    EXPECT_EQ(8, WidenFolderSuffix("_fi\xC5\x9Fiere", out, 9));
    EXPECT_EQ(std::wstring(L"_fi\u015Fiere"), out);
    EXPECT_EQ(-1, WidenFolderSuffix(kGreek, out, 7)); // no room for the zero
}

#ifdef _WIN32
TEST(FolderSuffix, WindowsFindsTheFolderAndNamesItToTheArchiver) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring page = std::wstring(temp) + L"\u0421\u0442\u0440.htm";
    const std::wstring folder =
        std::wstring(temp) + L"\u0421\u0442\u0440_\u03B1\u03C1\u03C7\u03B5\u03AF\u03B1";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    wchar_t stem[kArcBufSize], arcFolder[kArcBufSize];
    EXPECT_TRUE(SplitArcPath(page.c_str(), FindPageFolderSuffix(page.c_str()), stem, arcFolder,
                             kArcBufSize));
    EXPECT_EQ(folder, arcFolder);
    RemoveDirectoryW(folder.c_str());
}
#endif

} // namespace
