// halvok-repair as users run it: the golden pages through their folder (the
// Windows build's expected bytes), and one table of the command's outcomes.
// No row may leave a file behind or lose one.
#include "tests/repair/GoldenPages.h"

#include <gtest/gtest.h>

#include <map>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kPage = "<img src=\"page_files/%C0%E1.png\">";
const std::string kFixed = "<img src=\"page_files/\xC0\xE1.png\">";
const std::string kTwoRefs = "<a href=\"a_files/%41\">x</a><img src=\"a_files/%42\">";
const std::string kPlain = "<p>nothing to repair</p>";
// A page saved by a word processor: its folder is "w.files".
const std::string kWord = "<img src=\"w.files/%C0%E1.png\"><img src=\"w_files/%C0.png\">";
const std::string kWordFixed = "<img src=\"w.files/\xC0\xE1.png\"><img src=\"w_files/%C0.png\">";
// References as a browser resolves them: escapes in the system code page,
// a fragment and a query cut, a character reference, a srcset, a url( ) in
// a style; one file gone, and one reference that names a folder.
const std::string kAudit =
    "<img src=\"p_files/%C0%E1.png#top\" srcset=\"p_files/a%20b.css 1x, p_files/gone.png 2x\">"
    "<div style=\"background: url('./p_files/a b.css?v=1')\"></div>"
    "<a href='p_files/sub/'>x</a><a href=\"other_files/x.png\">y</a>";
// A rewrite never grows a page; on a UTF-8 page the escape of a euro sign
// (%88) becomes its three bytes: the new page is as long as the old, and a
// file-size limit one byte short of it makes every write of it fail.
const std::string kGrows =
    "<meta charset=utf-8><img src=\"page_files/" + std::string(1000, 'x') + "%88\">";
// kPage with the first bytes of kFixed written over it: a write in place cut short.
const std::string kTorn = kFixed + kPage.substr(kFixed.size());
// A name near the file system's limit: the names of the files made beside it are cut.
const std::string kLong = std::string(250, 'p') + ".htm";

struct Output {
    std::string out, err;
    int exitCode;
};

// Runs the tool in dir; as user nobody when bNobody and root (root writes in
// any folder), within a file-size limit when cbLimit is set, with the test
// hook (a shell command run at each stage of a write-back) when hook is set,
// its standard output into the shell redirection or pipe stdOut (or kept),
// under the command wrap (strace, unshare) when set, and twice when bTwice,
// the first run's output and status dropped.
Output RunTool(const std::string& dir, const std::string& args, bool bNobody = false,
               size_t cbLimit = 0, const std::string& hook = "", std::string stdOut = "",
               const std::string& wrap = "", bool bTwice = false) {
    std::string tool = HALVOK_REPAIR_TOOL, prefix;
    if (bNobody && geteuid() == 0) {
        tool = dir + "/../halvok-repair"; // a copy within nobody's reach
        fs::copy_file(HALVOK_REPAIR_TOOL, tool, fs::copy_options::overwrite_existing);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    if (!wrap.empty()) // the leak check cannot run under a tracer
        prefix = "ASAN_OPTIONS=detect_leaks=0 " + wrap + " " + prefix;
    if (cbLimit)
        prefix = "prlimit --fsize=" + std::to_string(cbLimit) + " " + prefix;
    if (!hook.empty())
        prefix = "HALVOK_REPAIR_TEST_HOOK='" + hook + "' " + prefix;
    const std::string out = dir + ".out", err = dir + ".err", code = dir + ".code"; // its own
    if (stdOut.empty())
        stdOut = ">" + out;
    const std::string run = prefix + tool + " " + args;
    std::system(("cd '" + dir + "' || exit 99; { " + (bTwice ? run + " >/dev/null 2>&1; " : "") +
                 run + " 2>" + err + "; echo $? >" + code + "; } " + stdOut)
                    .c_str());
    Output r{ReadWholeFile(out), ReadWholeFile(err), std::atoi(ReadWholeFile(code).c_str())};
    fs::remove(out), fs::remove(err), fs::remove(code);
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
        if (p.folderSuffix != "_files") // the folder the page really has
            fs::create_directory(m_dir + "/golden/" + p.name + p.folderSuffix);
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

enum Setup {
    kTwin = 1,           // page.htm has a second hard link, twin.htm
    kLocked = 2,         // by the test: locked.htm flock, held.htm a POSIX lock, open.htm open
    kReadOnlyFolder = 4, // ro/ takes no new file, ro/ro.htm is read-only, shut/ cannot be read
    kSizeLimit = 8,      // a file-size limit one byte short of kGrows
    kNobody = 16,        // run as nobody: no lease on the test's files
    kPipeClosed = 32,    // standard output is a pipe whose reader has gone
    kOutputFull = 64,    // standard output is /dev/full
    kTwice = 128,        // the tool runs twice: the second run's output and status count
    kImmutable = 256,    // page.htm is immutable (chattr +i), where the file system allows
};

struct Case {
    const char* what;
    std::map<std::string, std::string> files; // "x/": a folder; "->t": a link to t; "|": a FIFO
    int setup;
    const char* args;
    int exitCode;
    std::string out; // or, with exit code 2 or no output kept, the start of stderr
    // Changed files; "=" first: same inode; "-": the name no longer leads to the file
    std::map<std::string, std::string> after;
    const char* hook = ""; // run at each stage of a write-back
    const char* wrap = ""; // the command the tool runs under; the row is skipped where it fails
};

// clang-format off
const Case kCases[] = {
    {"a folder's regular files with a page's extension, in byte order (no sub-folder, no link, "
     "whatever it leads to); a named file of any name, a named link followed; control "
     "characters in a name escaped",
     {{"d/", ""}, {"d/b.htm", kPage}, {"d/a.HTML", kPage}, {"d/Z.shtml", kPlain},
      {"d/c.Htm", kPage}, {"d/e.mht", kPage}, {"d/f.htm b", kPage}, {"d/g", kPage},
      {"d/n\nl.htm", kPlain}, {"d/o\x1F p.htm", kPlain}, {"d/sub.htm/", ""}, {"d/sub.htm/x.htm", kPage},
      {"d/link.htm", "->../t.txt"}, {"t.txt", kPage}, {"notes.txt", kPage},
      {"named.htm", "->notes.txt"}},
     0, "d named.htm", 0,
     "d/Z.shtml unchanged\nd/a.HTML rewritten\nd/b.htm rewritten\nd/n\\nl.htm unchanged\n"
     "d/o\\x1F p.htm unchanged\n"
     "named.htm rewritten\n",
     {{"d/a.HTML", kFixed}, {"d/b.htm", kFixed}, {"notes.txt", kFixed}}},
    {"dry run: what would change, with counts; exit 1; nothing written (on pages of another "
     "owner, whose access time cannot be spared)",
     {{"two.htm", kTwoRefs}, {"one.htm", kPage}, {"plain.htm", kPlain}}, kNobody,
     "-n two.htm one.htm plain.htm", 1,
     "two.htm rewritten: 2 references\none.htm rewritten: 1 reference\nplain.htm unchanged\n", {}},
    {"a dry run that cannot check a locked page (flock, fcntl): exit 3",
     {{"page.htm", kPage}, {"locked.htm", kPage}, {"held.htm", kPage}}, kLocked,
     "--dry-run page.htm locked.htm held.htm", 3,
     "page.htm rewritten: 1 reference\nlocked.htm skipped: locked by another program\n"
     "held.htm skipped: locked by another program\n",
     {}},
    {"a web archive (.mhtml, any case) is no page: a folder scan passes it over, named it is "
     "skipped as handled, unchanged; a Word page's references into its .files folder repaired",
     {{"d/", ""}, {"d/x.mhtml", kPage}, {"d/y.MHTML", kPage}, {"d/w.htm", kWord},
      {"d/w.files/", ""}, {"z.mHtml", kPage}},
     0, "d z.mHtml", 0,
     "d/w.htm rewritten\nz.mHtml skipped: a web archive (.mhtml), not a page\n",
     {{"d/w.htm", kWordFixed}}},
    {"--check: each reference into the folder that opens no file, as a browser resolves it, "
     "then a count per page; exit 1; nothing changed",
     {{"p.htm", kAudit}, {"p_files/", ""}, {"p_files/\xD0\x90\xD0\xB1.png", ""},
      {"p_files/a b.css", ""}, {"p_files/sub/", ""}, {"x.mhtml", kAudit}},
     0, "--check . p.htm", 1,
     "./p.htm: p_files/gone.png -> missing\n./p.htm: p_files/sub/ -> missing\n"
     "./p.htm: 5 references into p_files/, 3 open\n"
     "p.htm: p_files/gone.png -> missing\np.htm: p_files/sub/ -> missing\n"
     "p.htm: 5 references into p_files/, 3 open\n",
     {}},
    {"--check: every reference opens (into the folder that is there, -Dateien): exit 0; a "
     "missing page: exit 3; with --dry-run: a usage error",
     {{"q.htm", "<img src=q-Dateien/i.png> <img src=\"q_files/no.png\">"}, {"q-Dateien/", ""},
      {"q-Dateien/i.png", ""}},
     0, "--check q.htm", 0, "q.htm: 1 reference into q-Dateien/, 1 open\n", {}},
    {"--check whose output's disk is full: the error on stderr, exit 3", {{"p.htm", kPage}},
     kOutputFull, "--check p.htm", 3,
     "halvok-repair: cannot write the output (No space left on device)\n", {}},
    {"--check of a page that is not there: exit 3", {}, 0, "--check gone.htm", 3,
     "gone.htm: skipped: No such file or directory\n", {}},
    {"--check takes no --dry-run: exit 2", {}, 0, "--check -n p.htm", 2,
     "halvok-repair: --check changes nothing already", {}},
    {"no path: usage on stderr, exit 2", {}, 0, "", 2, "halvok-repair: no PATH given", {}},
    {"an unknown option after known ones: exit 2", {}, 0, "-h -n --dry-run --bogus x", 2,
     "halvok-repair: unknown option --bogus", {}},
    {"--version: the name and the version from the build", {}, 0, "--version", 0,
     "halvok-repair " HALVOK_VERSION "\n", {}},
    {"missing pages, pages locked through flock or fcntl, a page open in another program (a "
     "lease tells it) and a link to a folder, skipped: exit 3; the others replaced by a new "
     "file; a page with a zero byte is handled",
     {{"locked.htm", kPage}, {"held.htm", kPage}, {"open.htm", kPage}, {"page.htm", kPage},
      {"zero.htm", std::string("a_files/%41\0", 12)}, {"dl", "->."}},
     kLocked, "missing.htm locked.htm held.htm open.htm page.htm zero.htm dl", 3,
     "missing.htm skipped: No such file or directory\nlocked.htm skipped: locked by another "
     "program\nheld.htm skipped: locked by another program\nopen.htm skipped: open in another "
     "program\npage.htm rewritten\nzero.htm skipped: holds a zero byte\n"
     "dl skipped: a link to a folder, not followed (dl/ takes the folder's pages)\n",
     {{"page.htm", kFixed}}},
    {"one file under several names (the same name, another spelling, a hard link, a folder's "
     "entry) is repaired once, each name with its line; a page with a second hard link is "
     "written in place",
     {{"page.htm", kPage}, {"d/", ""}, {"d/two.htm", kTwoRefs}}, kTwin,
     "page.htm page.htm ./page.htm twin.htm page.htm d d/two.htm ./d/two.htm", 0,
     "page.htm rewritten\npage.htm rewritten\n./page.htm rewritten\ntwin.htm rewritten\n"
     "page.htm rewritten\nd/two.htm rewritten\nd/two.htm rewritten\n./d/two.htm rewritten\n",
     {{"page.htm", "=" + kFixed}, {"twin.htm", kFixed},
      {"d/two.htm", "<a href=\"a_files/A\">x</a><img src=\"a_files/B\">"}},
     "sleep 0.1"},
    {"a page in a folder that takes no new file, not even one for its old bytes, a read-only "
     "page, and a folder that cannot be read: left alone, exit 3",
     {{"ro/", ""}, {"ro/page.htm", kPage}, {"ro/ro.htm", kPage}, {"shut/", ""}},
     kReadOnlyFolder | kNobody, "ro shut", 3,
     "ro/page.htm skipped: its old bytes cannot be kept beside it (Permission denied)\n"
     "ro/ro.htm skipped: Permission denied\nshut skipped: Permission denied\n",
     {}},
    {"a failed write in place: the original written back, exit 3",
     {{"page.htm", kPage}}, kTwin, "page.htm", 3,
     "page.htm skipped: write failed (No space left on device), original restored\n",
     {{"page.htm", "=" + kPage}, {"twin.htm", kPage}}, "",
     "strace -f -o /dev/null -e inject=pwritev:error=ENOSPC"},
    {"a page in place whose old bytes cannot be kept beside it (the disk is full for them): "
     "left alone, exit 3",
     {{"page.htm", kGrows}}, kTwin | kSizeLimit, "page.htm", 3,
     "page.htm skipped: its old bytes cannot be kept beside it (File too large)\n",
     {{"page.htm", "=" + kGrows}, {"twin.htm", kGrows}}},
    {"a failed write of the new file: the page kept, no file left behind, exit 3",
     {{"page.htm", kGrows}}, kSizeLimit, "page.htm", 3,
     "page.htm skipped: write failed (File too large), original kept\n", {}},
    {"a page saved by rename while it is repaired: the file saved stays, exit 3",
     {{"page.htm", kPage}, {"new.txt", kPlain}}, 0, "page.htm", 3,
     "page.htm skipped: replaced meanwhile\n", {{"page.htm", kPlain}, {"new.txt", "-"}},
     "[ $1 = swap ] && mv new.txt page.htm"},
    {"a page moved away while it is repaired: nothing written under either name, exit 3",
     {{"page.htm", kPage}}, 0, "page.htm", 3, "page.htm skipped: moved meanwhile\n",
     {{"page.htm", "-"}, {"page.htm.bak", kPage}}, "[ $1 = swap ] && mv page.htm page.htm.bak"},
    {"the same with a second hard link (written in place)",
     {{"page.htm", kPage}}, kTwin, "page.htm", 3, "page.htm skipped: moved meanwhile\n",
     {{"page.htm", "-"}, {"page.htm.bak", kPage}, {"twin.htm", kPage}},
     "mv page.htm page.htm.bak"},
    {"a page another program opens while it is repaired (the lease breaks): swapped back, "
     "exit 3",
     {{"page.htm", kPage}}, 0, "page.htm", 3,
     "page.htm skipped: opened by another program meanwhile\n", {{"page.htm", "=" + kPage}},
     "[ $1 = swap ] && timeout 0.2 cat page.htm"},
    {"a page appended to while it is repaired, without a lease: the text added stays, exit 3",
     {{"page.htm", kPage}}, kNobody, "page.htm", 3, "page.htm skipped: changed meanwhile\n",
     {{"page.htm", "=" + kPage + "more\n"}}, "echo more >>page.htm"},
    {"a page whose mode changes while it is repaired (its change time): the mode stays, exit 3",
     {{"page.htm", kPage}}, 0, "page.htm", 3, "page.htm skipped: changed meanwhile\n",
     {{"page.htm", "=" + kPage}}, "[ $1 = check ] && chmod 600 page.htm"},
    {"a mode change and a new link right before the swap: the page put back with both, exit 3",
     {{"page.htm", kPage}}, 0, "page.htm", 3, "page.htm skipped: changed meanwhile\n",
     {{"page.htm", "=" + kPage}, {"link.htm", kPage}},
     "[ $1 = swap ] && chmod 600 page.htm && ln page.htm link.htm"},
    {"an extended attribute set right before the swap: the page put back with it, exit 3",
     {{"page.htm", kPage}}, 0, "page.htm", 3, "page.htm skipped: changed meanwhile\n",
     {{"page.htm", "=" + kPage}},
     "[ $1 = swap ] && python3 -c \"import os, sys; os.setxattr(*sys.argv[1:], bytes())\" "
     "page.htm user.origin"},
    {"no swap on the file system: a page replaced by a rename; the looks before it find a mode "
     "change, exit 3",
     {{"page.htm", kPage}, {"b.htm", kPage}}, 0, "page.htm b.htm", 3,
     "page.htm skipped: changed meanwhile\nb.htm rewritten\n",
     {{"page.htm", "=" + kPage}, {"b.htm", kFixed}}, "[ $1 = swap ] && chmod 600 page.htm",
     "strace -f -o /dev/null -e inject=renameat2:error=EINVAL"},
    {"two saves by rename, one before the swap, one between it and the swap back (a page of a "
     "long name, in a folder whose name holds a new line): the last save kept where the line "
     "says, exit 3",
     {{"n\nl/", ""}, {"n\nl/" + kLong, kPage}, {"n\nl/s1.txt", kPlain}, {"n\nl/s2.txt", "last"}},
     0, "n?l", 3,
     "n\\nl/" + kLong + " skipped: replaced meanwhile; a file saved under its name meanwhile "
     "is now n\\nl/." + std::string(241, 'p') + ".halvok-new\n",
     {{"n\nl/" + kLong, kPlain}, {"n\nl/s1.txt", "-"}, {"n\nl/s2.txt", "-"},
      {"n\nl/." + std::string(241, 'p') + ".halvok-new", "last"}},
     "if [ $1 = swap ]; then cd n?l; mv s1.txt p*.htm; (for i in $(seq 500); do grep -qs "
     "nothing .p*-new && break; sleep 0.01; done; mv s2.txt p*.htm) & fi",
     "strace -f -o /dev/null -e inject=renameat2:delay_enter=1000000:when=2"},
    {"a scanned folder swapped for a link to another folder mid-run: its pages repaired where "
     "they are, nothing written outside it",
     {{"d/", ""}, {"d/a.htm", kPage}, {"d/b.htm", kPage}, {"o/", ""}, {"o/a.htm", kPage},
      {"o/b.htm", kPage}},
     0, "d", 0, "d/a.htm rewritten\nd/b.htm rewritten\n",
     {{"d", ""}, {"d/a.htm", "-"}, {"d/b.htm", "-"}, {"d.old", ""}, {"d.old/a.htm", kFixed},
      {"d.old/b.htm", kFixed}},
     "mv -T d d.old 2>/dev/null && ln -s o d"},
    {"a page written in place appended to before it is cut to length (without a lease): the old "
     "bytes back, the text added after them, exit 3",
     {{"page.htm", kGrows}}, kTwin | kNobody, "page.htm", 3,
     "page.htm skipped: changed meanwhile\n",
     {{"page.htm", "=" + kGrows + "more\n"}, {"twin.htm", kGrows + "more\n"}},
     "[ $1 = cut ] && echo more >>page.htm"},
    {"kill -9 while a page is written in place (named through a new line): its old bytes stay "
     "beside it, and the next run leaves both and says where, exit 3",
     {{"n\nl", "->."}, {"page.htm", kPage}}, kTwin | kTwice, "n?l/page.htm", 3,
     "n\\nl/page.htm skipped: an earlier run was stopped while writing it; its old bytes are in "
     "n\\nl/.page.htm.halvok-old\n",
     {{"page.htm", "=" + kTorn}, {"twin.htm", kTorn}, {".page.htm.halvok-old", kPage}},
     "[ $1 = cut ] && kill -9 $PPID"},
    {"no /proc/self/fd to name the new file through: a named new file, which kill -9 right "
     "before the swap leaves beside the page; the next run takes the next name",
     {{"page.htm", kPage}}, kTwice, "page.htm", 0, "page.htm rewritten\n",
     {{"page.htm", kFixed}, {".page.htm.halvok-new", kFixed}},
     "[ $1 = swap ] && [ ! -e .page.htm.halvok-new1 ] && kill -9 $PPID",
     "unshare -m sh -c 'mount -t tmpfs none /proc/$$/fd && exec \"$0\" \"$@\"'"},
    {"a dry run on a page that cannot be written (immutable): previewed, exit 1",
     {{"page.htm", kPage}}, kImmutable, "-n page.htm", 1, "page.htm rewritten: 1 reference\n",
     {{"page.htm", "=" + kPage}}},
    {"--check of a FIFO (its name with a new line): skipped at once, exit 3",
     {{"f\nf.htm", "|"}}, 0, "--check f?f.htm", 3, "f\\nf.htm: skipped: not a regular file\n",
     {}},
    {"Ctrl-C under --check once the first page's lines are out: the run ends as Ctrl-C ends it",
     {{"d/", ""}, {"d/a.htm", kPlain}, {"d/b.htm", kPlain}}, 0, "--check d", 128 + SIGINT,
     "d/a.htm: 0 references into a_files/, 0 open\n", {}, "",
     "strace -f -o /dev/null -e inject=write:signal=SIGINT:when=1"},
    {"the output's reader gone: the page in hand finished, the error on stderr, exit 3",
     {{"page.htm", kPage}}, kPipeClosed, "page.htm", 3,
     "halvok-repair: cannot write the output (Broken pipe)\n", {{"page.htm", kFixed}},
     "sleep 0.2"},
    {"the output's disk full: the same",
     {{"page.htm", kPage}}, kOutputFull, "page.htm", 3,
     "halvok-repair: cannot write the output (No space left on device)\n",
     {{"page.htm", kFixed}}},
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
            else if (bytes == "|")
                ASSERT_EQ(0, mkfifo((dir + "/" + name).c_str(), 0666));
            else
                std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        }
        if (c.setup & kTwin)
            fs::create_hard_link(dir + "/page.htm", dir + "/twin.htm");
        fs::permissions(dir, fs::perms::all);
        for (const auto& e : fs::recursive_directory_iterator(dir))
            fs::permissions(e.path(), fs::perms::all);
        const std::string page = "'" + dir + "/page.htm'";
        if (*c.wrap && std::system((c.wrap + std::string(" true")).c_str()) != 0) {
            std::printf("skipped here (cannot run under %s): %s\n", c.wrap, c.what);
            continue;
        }
        if (c.setup & kImmutable && std::system(("chattr +i " + page).c_str()) != 0) {
            std::printf("skipped here (no immutable files): %s\n", c.what);
            continue;
        }
        if (c.setup & kReadOnlyFolder) {
            fs::permissions(dir + "/ro/ro.htm",
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
            fs::permissions(dir + "/ro", fs::perms::all & ~fs::perms::owner_write &
                                             ~fs::perms::group_write & ~fs::perms::others_write);
            fs::permissions(dir + "/shut", fs::perms::none);
        }
        std::map<std::string, std::pair<struct stat, std::string>> before;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            auto& [st, bytes] = before[e.path().string()];
            lstat(e.path().c_str(), &st);
            bytes = S_ISREG(st.st_mode) ? ReadWholeFile(e.path()) : "";
        }

        const int locked = open((dir + "/locked.htm").c_str(), O_RDONLY);
        ASSERT_TRUE(!(c.setup & kLocked) || flock(locked, LOCK_EX) == 0);
        // A POSIX lock ends when the process closes any descriptor of the
        // file: taken after the last look at the files.
        const int held = open((dir + "/held.htm").c_str(), O_RDWR);
        const int other = open((dir + "/open.htm").c_str(), O_RDONLY);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        ASSERT_TRUE(!(c.setup & kLocked) || held < 0 || fcntl(held, F_SETLK, &lock) == 0);
        const Output r = RunTool(dir, c.args, c.setup & kNobody,
                                 c.setup & kSizeLimit ? kGrows.size() - 1 : 0, c.hook,
                                 c.setup & kPipeClosed   ? "| true"
                                 : c.setup & kOutputFull ? ">/dev/full"
                                                         : "",
                                 c.wrap, c.setup & kTwice);
        if (c.setup & kImmutable)
            std::system(("chattr -i " + page).c_str());
        close(locked);
        close(held);
        close(other);
        EXPECT_EQ(c.exitCode, r.exitCode);
        const bool bErr = c.exitCode == 2 || c.setup & (kPipeClosed | kOutputFull);
        EXPECT_EQ(c.out, bErr ? r.err.substr(0, c.out.size()) : r.out) << r.err;
        size_t nAfter = 0, nNew = 0, nGone = 0;
        for (const auto& [name, bytes] : c.after) {
            nGone += bytes == "-";
            struct stat st;
            EXPECT_TRUE(bytes != "-" || lstat((dir + "/" + name).c_str(), &st) != 0 ||
                        st.st_ino != before[dir + "/" + name].first.st_ino)
                << "not gone: " << name;
        }
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string path = e.path().string(), name = path.substr(dir.size() + 1);
            const auto changed = c.after.find(name);
            const auto old = before.find(path);
            ASSERT_TRUE(old != before.end() || changed != c.after.end()) << "left behind: " << name;
            struct stat st;
            lstat(path.c_str(), &st);
            ++nAfter;
            nNew += old == before.end();
            if (changed == c.after.end()) { // untouched: bytes and times
                const auto& [was, bytes] = old->second;
                EXPECT_TRUE(S_ISDIR(st.st_mode) || (st.st_mtim.tv_nsec == was.st_mtim.tv_nsec &&
                                                    st.st_ctim.tv_nsec == was.st_ctim.tv_nsec))
                    << name;
                EXPECT_TRUE(!S_ISREG(st.st_mode) || ReadWholeFile(path) == bytes) << name;
                continue;
            }
            const bool bSameInode = changed->second[0] == '=';
            EXPECT_TRUE((fs::is_directory(path) ? "" : ReadWholeFile(path)) ==
                        changed->second.substr(bSameInode))
                << name;
            if (old != before.end()) {
                const bool bGiven = c.files.count(name) || c.files.count(name + "/");
                EXPECT_EQ(bSameInode || !bGiven, st.st_ino == old->second.first.st_ino) << name;
            }
        }
        EXPECT_EQ(before.size() - nGone + nNew, nAfter); // none lost
    }
}

// Ctrl-C in the middle of a run, once the first line is out and a few
// milliseconds later: the pages in hand are finished and have their lines,
// so every page is either as it was and has no line, or repaired with its
// line; the run then ends as Ctrl-C ends a program.
TEST_F(RepairToolTest, CtrlCEndsTheRunWithALineForEveryPageRepaired) {
    const std::string tail(100000, 'x'), repaired = (kFixed + tail).substr(0, kPage.size());
    for (const char* delay : {"0", "0.003", "0.01"}) {
        for (int i = 0; i < 400; ++i)
            std::ofstream(m_dir + "/p" + std::to_string(i) + ".htm", std::ios::binary)
                << kPage << tail;
        const int status = std::system(("cd '" + m_dir +
                                        "' && rm -f out && { " HALVOK_REPAIR_TOOL
                                        " p*.htm >out & until [ -s out ]; do :; done; sleep " +
                                        delay + "; kill -INT $!; wait $!; }")
                                           .c_str());
        const std::string lines = ReadWholeFile(m_dir + "/out");
        EXPECT_EQ(128 + SIGINT, WEXITSTATUS(status)) << delay;
        EXPECT_TRUE(!lines.empty() && lines.back() == '\n') << delay;
        EXPECT_LT(std::count(lines.begin(), lines.end(), '\n'), 400) << "Ctrl-C came too late";
        for (int i = 0; i < 400; ++i) {
            const std::string name = "p" + std::to_string(i) + ".htm";
            std::string head(kPage.size(), '\0');
            std::ifstream(m_dir + "/" + name).read(&head[0], std::streamsize(head.size()));
            const bool bLine = lines.find(name + " rewritten\n") != std::string::npos;
            EXPECT_EQ(bLine ? repaired : kPage, head) << delay << " " << name;
        }
    }
}

// A replaced page keeps its mode, its owner, its extended attributes and its
// inode flags (chattr +d), and gains no attribute: not the access list that
// its folder's default list gives a new file.
TEST_F(RepairToolTest, ReplacedPageKeepsModeOwnerAndAttributes) {
    const std::string page = m_dir + "/page.htm";
    std::ofstream(page, std::ios::binary) << kPage;
    // The folder's default list, as the kernel stores it: a version, then
    // (tag, permissions, id) for the owner, user 65534, the group, the mask
    // and the others.
    const uint32_t acl[] = {2,   0x60001, ~0u, 0x40002, 65534, 0x40004,
                            ~0u, 0x40010, ~0u, 0x40020, ~0u};
    const bool bAcl = setxattr(m_dir.c_str(), "system.posix_acl_default", acl, sizeof acl, 0) == 0;
    ASSERT_EQ(0, chmod(page.c_str(), 0640));
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    ASSERT_EQ(0, chown(page.c_str(), owner, owner == geteuid() ? getegid() : owner));
    const bool bAttrs = setxattr(page.c_str(), "user.origin", "x", 1, 0) == 0 &&
                        setxattr(page.c_str(), "user.referrer", "", 0, 0) == 0;
    const bool bNoDump = std::system(("chattr +d '" + page + "' 2>/dev/null").c_str()) == 0;
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
    EXPECT_TRUE(!bAcl || getxattr(page.c_str(), "system.posix_acl_access", nullptr, 0) < 0);
    EXPECT_TRUE(!bNoDump || std::system(("lsattr '" + page + "' | grep -q ^......d").c_str()) == 0);
}

} // namespace
