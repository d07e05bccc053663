// halvok-repair as users run it: the golden pages on copies (the same
// expected bytes as the Windows build), its lines and exit codes, a locked
// page, and a write-back that fails for real (file-size limit).
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

std::string Drain(int fd) {
    std::string text;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(chunk, size_t(n));
    return text;
}

// Runs the command with the arguments; fileSizeLimit > 0 caps the size of
// any file it writes.
ToolRun RunTool(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
    ToolRun run;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (fileSizeLimit) {
            const rlimit limit = {fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(HALVOK_REPAIR_TOOL));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    // Small outputs: reading one pipe after the other cannot block the child.
    run.out = Drain(outPipe[0]);
    run.err = Drain(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

class RepairToolTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/halvok-repair-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&templ[0]));
        m_dir = templ + "/";
    }
    void TearDown() override {
        const std::string cmd = "rm -rf '" + m_dir + "'";
        EXPECT_EQ(0, std::system(cmd.c_str()));
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(WriteWholeFile(m_dir + name, bytes));
        return m_dir + name;
    }
    static std::string Read(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(path, &bytes)) << path;
        return bytes;
    }
    std::string m_dir;
};

const char kPage[] = "<p><img src=\"page_files/%C0%E1.png\"></p>";
const char kFixed[] = "<p><img src=\"page_files/\xC0\xE1.png\"></p>";

TEST_F(RepairToolTest, GoldenPagesGiveTheExpectedBytesAndLines) {
    const std::vector<GoldenPage> pages = GoldenPages();
    ASSERT_GE(pages.size(), 30u) << GoldenDir();
    std::vector<std::string> paths;
    std::string expectedLines;
    for (const GoldenPage& p : pages) {
        paths.push_back(Put(p.name + ".htm", p.in));
        const char* outcome = p.in.find('\0') != std::string::npos ? "skipped: holds a zero byte"
                              : p.in == p.expected                 ? "unchanged"
                                                                   : "rewritten";
        expectedLines += paths.back() + " " + outcome + "\n";
    }
    const ToolRun run = RunTool(paths);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(expectedLines, run.out);
    EXPECT_EQ("", run.err);
    for (const GoldenPage& p : pages)
        EXPECT_TRUE(Read(m_dir + p.name + ".htm") == p.expected) << p.name;
}

TEST_F(RepairToolTest, NoArgumentPrintsUsage) {
    const ToolRun run = RunTool({});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0u, run.err.find("usage: halvok-repair PAGE..."));
}

TEST_F(RepairToolTest, PagesThatCannotBeRepairedAreSkipped) {
    const std::string locked = Put("locked.htm", kPage);
    const std::string good = Put("good.htm", kPage);
    const int fd = open(locked.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    const ToolRun run = RunTool({m_dir + "missing.htm", m_dir, locked, good});
    close(fd);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(m_dir + "missing.htm skipped: " + std::strerror(ENOENT) + "\n" + //
                  m_dir + " skipped: " + std::strerror(EISDIR) + "\n" +        //
                  locked + " skipped: locked by another program\n" +           //
                  good + " rewritten\n",
              run.out);
    EXPECT_EQ(kPage, Read(locked));
    EXPECT_EQ(kFixed, Read(good));
    struct stat st;
    EXPECT_NE(0, stat((m_dir + "missing.htm").c_str(), &st)); // not created
}

TEST_F(RepairToolTest, FailedWriteBackRestoresTheOriginal) {
    // On a UTF-8 page the raw Windows-1251 bytes of the reference become two
    // bytes each: the new page outgrows the file-size limit, set to the old
    // size, and the write fails part-way.
    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "</head><body>" +
        std::string(70000, 'x') + "<img src=\"page_files/%41" + std::string(30000, '\xC0') +
        ".png\"></body></html>";
    const std::string path = Put("grows.htm", page);
    const ToolRun run = RunTool({path}, page.size());
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(path + " skipped: write failed (" + std::strerror(EFBIG) + "), original restored\n",
              run.out);
    EXPECT_TRUE(Read(path) == page);
    // Without the limit the same page is rewritten.
    EXPECT_EQ(path + " rewritten\n", RunTool({path}).out);
    EXPECT_EQ(page.size() - 2 + 30000, Read(path).size()); // %41 -> A, C0 -> D0 90
}

} // namespace
