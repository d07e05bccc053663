// halvok-repair as users run it: the golden pages on copies (the same
// expected bytes as the Windows build), its lines and exit codes, a locked
// page, and a write-back that fails for real (file-size limit).
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs the command through the shell with the arguments (redirections
// allowed) and returns its standard output; *pExit gets its exit code.
std::string RunTool(const std::string& args, int* pExit = nullptr) {
    std::string out;
    FILE* p = popen((std::string(HALVOK_REPAIR_TOOL) + " " + args).c_str(), "r");
    char chunk[4096];
    for (size_t n; p && (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;)
        out.append(chunk, n);
    const int status = p ? pclose(p) : -1;
    if (pExit)
        *pExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

class RepairToolTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(nullptr, mkdtemp(&m_dir[0])); }
    void TearDown() override { EXPECT_EQ(0, std::system(("rm -rf " + m_dir).c_str())); }
    std::string Put(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << bytes;
        return m_dir + "/" + name;
    }
    std::string m_dir = testing::TempDir() + "halvok-repair-XXXXXX";
};

TEST_F(RepairToolTest, GoldenPagesGiveTheExpectedBytesAndLines) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u);
    std::string args, expectedLines;
    for (const GoldenPage& p : pages) {
        args += " " + Put(p.name + ".htm", p.in);
        expectedLines += m_dir + "/" + p.name + ".htm " +
                         (p.in.find('\0') != std::string::npos ? "skipped: holds a zero byte"
                          : p.in == p.expected                 ? "unchanged"
                                                               : "rewritten") +
                         "\n";
    }
    int exitCode = -1;
    EXPECT_EQ(expectedLines, RunTool(args + " 2>&1", &exitCode));
    EXPECT_EQ(0, exitCode);
    for (const GoldenPage& p : pages)
        EXPECT_TRUE(ReadWholeFile(m_dir + "/" + p.name + ".htm") == p.expected) << p.name;
}

TEST_F(RepairToolTest, NoArgumentPrintsUsageOnErrorAndExits2) {
    int exitCode = -1;
    EXPECT_EQ(0u, RunTool("2>&1 >/dev/null", &exitCode).find("usage: halvok-repair PAGE..."));
    EXPECT_EQ(2, exitCode);
}

TEST_F(RepairToolTest, LockedAndMissingPagesAreSkipped) {
    const char kPage[] = "<img src=\"page_files/%C0%E1.png\">";
    const std::string locked = Put("locked.htm", kPage), good = Put("good.htm", kPage);
    const int fd = open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    const std::string out = RunTool(m_dir + "/missing.htm " + locked + " " + good);
    close(fd);
    EXPECT_EQ(m_dir + "/missing.htm skipped: " + std::strerror(ENOENT) + "\n" + locked +
                  " skipped: locked by another program\n" + good + " rewritten\n",
              out);
    EXPECT_EQ(kPage, ReadWholeFile(locked));
    EXPECT_EQ("<img src=\"page_files/\xC0\xE1.png\">", ReadWholeFile(good));
}

TEST_F(RepairToolTest, FailedWriteBackRestoresTheOriginal) {
    // On a UTF-8 page the raw Windows-1251 bytes become two bytes each: the
    // new page outgrows a file-size limit set to the old size.
    const std::string page = "<head>charset=utf-8\"</head>" + std::string(70000, 'x') +
                             "<img src=\"page_files/%41" + std::string(30000, '\xC0') + "\">";
    const std::string path = Put("grows.htm", page);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit = {page.size(), old.rlim_max};
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
    const std::string out = RunTool(path);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(path + " skipped: write failed (" + std::strerror(EFBIG) + "), original restored\n",
              out);
    EXPECT_TRUE(ReadWholeFile(path) == page);
    EXPECT_EQ(path + " rewritten\n", RunTool(path));
}

} // namespace
