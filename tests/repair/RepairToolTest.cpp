// halvok-repair as users run it: the golden pages through their folder (the
// Windows build's expected bytes), and one table of the command's outcomes.
// No row may leave a file behind or lose one.
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kPage = "<img src=\"page_files/%C0%E1.png\">";
const std::string kFixed = "<img src=\"page_files/\xC0\xE1.png\">";
const std::string kTwoRefs = "<a href=\"a_files/%41\">x</a><img src=\"a_files/%42\">";
const std::string kPlain = "<p>nothing to repair</p>";
// On a UTF-8 page raw Windows-1251 bytes become two bytes each: a file-size
// limit of the old page's size makes the write of the new one fail.
const std::string kGrows =
    "<head>charset=utf-8\"</head><img src=\"page_files/%41" + std::string(3000, '\xC0') + "\">";

struct Output {
    std::string out, err;
    int exitCode;
};

// Runs the tool in dir; as user nobody when bNobody and root (root writes in
// any folder), within a file-size limit when cbLimit is set.
Output RunTool(const std::string& dir, const std::string& args, bool bNobody = false,
               size_t cbLimit = 0) {
    std::string tool = HALVOK_REPAIR_TOOL, prefix;
    if (bNobody && geteuid() == 0) {
        tool = dir + "/../halvok-repair"; // a copy within nobody's reach
        fs::copy_file(HALVOK_REPAIR_TOOL, tool, fs::copy_options::overwrite_existing);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    if (cbLimit)
        prefix = "prlimit --fsize=" + std::to_string(cbLimit) + " " + prefix;
    const std::string out = dir + ".out", err = dir + ".err"; // beside dir, its own
    const int status = std::system(
        ("cd '" + dir + "' && " + prefix + tool + " " + args + " >" + out + " 2>" + err).c_str());
    Output r{ReadWholeFile(out), ReadWholeFile(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    fs::remove(out), fs::remove(err);
    return r;
}

class RepairToolTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, mkdtemp(&m_dir[0]));
        fs::permissions(m_dir, fs::perms::all);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(m_dir, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    std::string m_dir = testing::TempDir() + "halvok-repair-XXXXXX";
};

TEST_F(RepairToolTest, GoldenPagesThroughTheirFolder) {
    std::map<std::string, GoldenPage> pages; // in the byte order of their names
    for (GoldenPage& p : GoldenPages())
        pages[p.name + ".htm"] = p;
    ASSERT_GE(pages.size(), 30u);
    fs::create_directory(m_dir + "/golden");
    std::string expected;
    for (const auto& [name, p] : pages) {
        std::ofstream(m_dir + "/golden/" + name, std::ios::binary) << p.in;
        expected += "golden/" + name +
                    (p.in.find('\0') != std::string::npos ? " skipped: holds a zero byte\n"
                     : p.in == p.expected                 ? " unchanged\n"
                                                          : " rewritten\n");
    }
    const Output r = RunTool(m_dir, "golden");
    EXPECT_EQ(expected, r.out);
    EXPECT_EQ(0, r.exitCode);
    for (const auto& [name, p] : pages)
        EXPECT_TRUE(ReadWholeFile(m_dir + "/golden/" + name) == p.expected) << name;
}

enum Setup { kTwin = 1, kLocked = 2, kReadOnlyFolder = 4, kSizeLimit = 8 };

struct Case {
    const char* what;
    std::map<std::string, std::string> files; // "x/": a folder; "->t": a link to t
    int setup;
    const char* args;
    int exitCode;
    std::string out;                          // or, with exit code 2, the start of stderr
    std::map<std::string, std::string> after; // changed files; "=" first: same inode
};

// clang-format off
const Case kCases[] = {
    {"a folder's pages (links followed, no sub-folder) in byte order; a named file of any name",
     {{"d/", ""}, {"d/b.htm", kPage}, {"d/a.HTML", kPage}, {"d/Z.shtml", kPlain},
      {"d/c.Htm", kPage}, {"d/e.mht", kPage}, {"d/f.htm b", kPage}, {"d/g", kPage},
      {"d/sub.htm/", ""}, {"d/sub.htm/x.htm", kPage}, {"d/link.htm", "->../t.txt"},
      {"t.txt", kPage}, {"notes.txt", kPage}},
     0, "d notes.txt", 0,
     "d/Z.shtml unchanged\nd/a.HTML rewritten\nd/b.htm rewritten\nd/link.htm rewritten\n"
     "notes.txt rewritten\n",
     {{"d/a.HTML", kFixed}, {"d/b.htm", kFixed}, {"t.txt", kFixed}, {"notes.txt", kFixed}}},
    {"dry run: what would change, with counts; exit 1; nothing written",
     {{"two.htm", kTwoRefs}, {"one.htm", kPage}, {"plain.htm", kPlain}}, 0,
     "-n two.htm one.htm plain.htm", 1,
     "two.htm rewritten: 2 references\none.htm rewritten: 1 reference\nplain.htm unchanged\n", {}},
    {"dry run where nothing would change: exit 0; a locked page skipped",
     {{"page.htm", kPlain}, {"locked.htm", kPage}}, kLocked, "--dry-run page.htm locked.htm", 0,
     "page.htm unchanged\nlocked.htm skipped: locked by another program\n", {}},
    {"no path: usage on stderr, exit 2", {}, 0, "", 2, "halvok-repair: no PATH given", {}},
    {"missing and locked pages skipped; the others replaced by a new file",
     {{"locked.htm", kPage}, {"page.htm", kPage}}, kLocked, "missing.htm locked.htm page.htm", 0,
     "missing.htm skipped: No such file or directory\n"
     "locked.htm skipped: locked by another program\npage.htm rewritten\n",
     {{"page.htm", kFixed}}},
    {"a page with a second hard link is written in place",
     {{"page.htm", kPage}}, kTwin, "page.htm", 0, "page.htm rewritten\n",
     {{"page.htm", "=" + kFixed}, {"twin.htm", kFixed}}},
    {"a page in a folder that takes no new file is written in place",
     {{"ro/", ""}, {"ro/page.htm", kPage}}, kReadOnlyFolder, "ro/page.htm", 0,
     "ro/page.htm rewritten\n", {{"ro/page.htm", "=" + kFixed}}},
    {"a failed write in place: the original written back",
     {{"page.htm", kGrows}}, kTwin | kSizeLimit, "page.htm", 0,
     "page.htm skipped: write failed (File too large), original restored\n",
     {{"page.htm", "=" + kGrows}, {"twin.htm", kGrows}}},
    {"a failed write of the new file: the page kept, no file left behind",
     {{"page.htm", kGrows}}, kSizeLimit, "page.htm", 0,
     "page.htm skipped: write failed (File too large), original kept\n", {}},
};
// clang-format on

TEST_F(RepairToolTest, Outcomes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string dir = m_dir + "/" + std::to_string(&c - kCases);
        fs::create_directory(dir);
        for (const auto& [name, bytes] : c.files) {
            if (name.back() == '/')
                fs::create_directory(dir + "/" + name);
            else if (bytes.compare(0, 2, "->") == 0)
                fs::create_symlink(bytes.substr(2), dir + "/" + name);
            else
                std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        }
        if (c.setup & kTwin)
            fs::create_hard_link(dir + "/page.htm", dir + "/twin.htm");
        for (const auto& e : fs::recursive_directory_iterator(dir))
            fs::permissions(e.path(), fs::perms::all);
        if (c.setup & kReadOnlyFolder)
            fs::permissions(dir + "/ro", fs::perms::all & ~fs::perms::owner_write &
                                             ~fs::perms::group_write & ~fs::perms::others_write);
        const int locked = open((dir + "/locked.htm").c_str(), O_RDONLY);
        ASSERT_TRUE(!(c.setup & kLocked) || flock(locked, LOCK_EX) == 0);
        std::map<std::string, std::pair<struct stat, std::string>> before;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            auto& [st, bytes] = before[e.path().string()];
            lstat(e.path().c_str(), &st);
            bytes = S_ISREG(st.st_mode) ? ReadWholeFile(e.path()) : "";
        }

        const Output r = RunTool(dir, c.args, c.setup & kReadOnlyFolder,
                                 c.setup & kSizeLimit ? kGrows.size() : 0);
        close(locked);
        EXPECT_EQ(c.exitCode, r.exitCode);
        EXPECT_EQ(c.out, c.exitCode == 2 ? r.err.substr(0, c.out.size()) : r.out) << r.err;
        size_t nAfter = 0;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string path = e.path().string(), name = path.substr(dir.size() + 1);
            ASSERT_TRUE(before.count(path)) << "left behind: " << name;
            const auto& [was, bytes] = before.at(path);
            struct stat st;
            lstat(path.c_str(), &st);
            ++nAfter;
            auto changed = c.after.find(name);
            if (changed == c.after.end()) { // untouched: bytes and times
                EXPECT_TRUE(S_ISDIR(st.st_mode) || (st.st_mtim.tv_nsec == was.st_mtim.tv_nsec &&
                                                    st.st_ctim.tv_nsec == was.st_ctim.tv_nsec))
                    << name;
                EXPECT_TRUE(!S_ISREG(st.st_mode) || ReadWholeFile(path) == bytes) << name;
                continue;
            }
            const bool bSameInode = changed->second[0] == '=';
            EXPECT_TRUE(ReadWholeFile(path) == changed->second.substr(bSameInode)) << name;
            EXPECT_EQ(bSameInode || !c.files.count(name), st.st_ino == was.st_ino) << name;
        }
        EXPECT_EQ(before.size(), nAfter); // none lost
    }
}

// A replaced page keeps its mode, its owner and its extended attributes.
TEST_F(RepairToolTest, ReplacedPageKeepsModeOwnerAndAttributes) {
    const std::string page = m_dir + "/page.htm";
    std::ofstream(page, std::ios::binary) << kPage;
    ASSERT_EQ(0, chmod(page.c_str(), 0640));
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    ASSERT_EQ(0, chown(page.c_str(), owner, owner == geteuid() ? getegid() : owner));
    const bool bAttrs = setxattr(page.c_str(), "user.origin", "x", 1, 0) == 0 &&
                        setxattr(page.c_str(), "user.referrer", "", 0, 0) == 0;
    struct stat was, st;
    ASSERT_EQ(0, stat(page.c_str(), &was));
    ASSERT_EQ("page.htm rewritten\n", RunTool(m_dir, "page.htm").out);
    ASSERT_EQ(0, stat(page.c_str(), &st));
    EXPECT_NE(was.st_ino, st.st_ino); // a new file, not a write in place
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(owner, st.st_uid);
    char value[8];
    EXPECT_TRUE(!bAttrs || (getxattr(page.c_str(), "user.origin", value, sizeof value) == 1 &&
                            getxattr(page.c_str(), "user.referrer", value, sizeof value) == 0));
}

} // namespace
