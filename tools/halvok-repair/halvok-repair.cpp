// halvok-repair PATH...: repairs saved pages on Linux with the same rewrite
// as the Windows program, taking folders the way its intake does, and says
// for each page what became of it.
#include "tools/halvok-repair/PageAudit.h"
#include "tools/halvok-repair/PageFolder.h"
#include "tools/halvok-repair/PageRepairer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUsage[] = "usage: halvok-repair [-n] PATH...\n"
                      "       halvok-repair --check PATH...\n";

const char kHelp[] =
    "Repairs the percent-escaped references of saved web pages: a reference into\n"
    "a page's folder becomes the literal name, in the page's charset. The folder\n"
    "is the one beside the page: its name without the extension, then \"_files\",\n"
    "or the first of \".files\" (a word processor's) and the words browsers in\n"
    "other languages write (\"-Dateien\", \"_fichiers\", ...; the manual page\n"
    "lists them) that exists; \"_files\" when none does. The charset is read as\n"
    "browsers read it (<meta charset>, http-equiv, any letter case): UTF-8,\n"
    "KOI8-R, Windows-1251, or other.\n"
    "Only the escapes change, each run of them by what it spells (UTF-8, else\n"
    "Windows-1251): it becomes the page's own letters where its charset has them\n"
    "all, and else stays as written. A text that spans markup (< or >), an\n"
    "address with a scheme or host (or under such a <base>) and a reference\n"
    "holding a '%' that starts no escape, or %00, are left whole; escaped blanks\n"
    "are decoded only in values read as one address (src, href, ...). Escapes of\n"
    "'\"', '#', '%', '&', '?' and of the control bytes always stay as written.\n"
    "\n"
    "A PATH that is a folder stands for its pages, one level deep: the entries\n"
    "that are regular files themselves (not links, wherever they lead) and whose\n"
    "extension (from the last \".\" of the name; none when a space or a backslash\n"
    "follows it) holds \"htm\" or \"HTM\": .htm, .html, .shtml, .HTM, but not .Htm,\n"
    "or .mht, nor .mhtml in any case (a single-file web archive, with no folder).\n"
    "They are taken in the byte order of their names. Sub-folders, a page's own\n"
    "folder among them, are never entered. A PATH that is a link to a folder is\n"
    "not followed (\"PATH/\" takes the pages of the folder it leads to). Any\n"
    "other PATH is repaired whatever its name, through the link if it is one; a\n"
    "web archive (.mhtml) named so is skipped as handled. Each folder is opened\n"
    "once, as the run begins, and its pages are reached through it alone: a\n"
    "folder moved, or swapped for a link, meanwhile leads nowhere else, and\n"
    "nothing is written outside the folders and pages given.\n"
    "\n"
    "A page is replaced whole or not at all: the new page is written to a new\n"
    "file in the page's folder, which takes the page's owner, mode, extended\n"
    "attributes and inode flags and then takes the page's place. The new file\n"
    "has no name until then where the file system allows, else the hidden name\n"
    ".NAME.halvok-new. A page with more than one hard link (a new file would\n"
    "part it from its other names), or whose owner or attributes cannot be given\n"
    "to a new file, is written over in place instead: its old bytes go first to\n"
    ".NAME.halvok-old beside it (same owner and mode, on the disk) and stay\n"
    "there until the new bytes are on the disk; should the write fail, the old\n"
    "bytes are written back. A page whose folder takes no file for its old\n"
    "bytes is not written.\n"
    "\n"
    "What a stop leaves: Ctrl-C and the other stopping signals let the pages at\n"
    "hand finish and print their lines; then the program ends as the signal ends\n"
    "it. After kill -9, each page replaced by a new file is either as it was or\n"
    "repaired, and a .NAME.halvok-new (a repaired copy that never took the\n"
    "page's place) may be left beside it; a page written in place may be part\n"
    "new, part old, its old bytes whole in .NAME.halvok-old. A later run skips\n"
    "such a page, says where its old bytes are, and leaves both to you. A crash\n"
    "of the system is another matter for a page replaced by a new file: the new\n"
    "file is not flushed to the disk before it takes the page's place.\n"
    "\n"
    "A page that another program holds is skipped: one locked through flock,\n"
    "fcntl or lockf, and, where the system grants this program a write lease\n"
    "(on pages it owns, or to root), one that another program has open at all.\n"
    "A page is written back only while nothing else has touched it since it was\n"
    "read: looked at again right before the new file takes its place, right\n"
    "after (while the new page can still be taken back), before a write in place\n"
    "and before it is cut to length. Otherwise nothing is written, or the page is\n"
    "put back as it was, and the line says why: \"opened by another program\n"
    "meanwhile\" (the lease tells), \"changed meanwhile\" (its size, times, mode,\n"
    "owner, links or extended attributes differ; text appended during a write in\n"
    "place stays after the old bytes), \"moved meanwhile\" (its path names no\n"
    "file: the file is not written under its new name) or \"replaced meanwhile\"\n"
    "(saved by rename: the file saved stays, and one saved during the swap is\n"
    "kept under the name the line gives). No file another program made is ever\n"
    "removed.\n"
    "\n"
    "One file under several names (a name given twice, a second hard link, a\n"
    "folder's page named also by itself) is repaired once, as the names lead\n"
    "when the run starts; each name gets its line, with that repair's outcome.\n"
    "\n"
    "When the output cannot be written (a reader that stopped early, a full\n"
    "disk), no new page is taken, the pages at hand are finished, a message goes\n"
    "to standard error and the exit status is 3. SIGPIPE is ignored.\n"
    "\n"
    "One line per page: its path, then \"rewritten\", \"unchanged\" or \"skipped:\n"
    "REASON\" (a locked, open, missing, unreadable or unwritable page, one that\n"
    "holds a zero byte, a write that failed). A backslash or a control\n"
    "character in a path is written as an escape (\\\\, \\n, \\t, \\xNN), so that\n"
    "each page keeps one line.\n"
    "\n"
    "  -n, --dry-run  write nothing, not even access times where the system\n"
    "                 allows; a page that would change gives \"rewritten: N\n"
    "                 references\", the number of references it would repair;\n"
    "                 pages are opened only to be read, so that a page that\n"
    "                 cannot be written (immutable, on a read-only mount) is\n"
    "                 previewed too\n"
    "  --check        change nothing: list each reference into the page's folder\n"
    "                 that opens no file, as a browser on a Russian Windows reads\n"
    "                 it, one line \"PAGE: REFERENCE -> missing\" each, and \"PAGE:\n"
    "                 REFERENCE -> opens where names ignore case (NAME)\" for one\n"
    "                 that opens only so; then \"PAGE: N references into FOLDER,\n"
    "                 M open\". Run it before and after a repair and compare the\n"
    "                 lines. What is not a regular file (a FIFO) is skipped;\n"
    "                 Ctrl-C stops it as it stops a repair\n"
    "  -h, --help     show this text\n"
    "  --version      show the name and version: halvok-repair " HALVOK_VERSION "\n"
    "  --             the arguments after it are paths, even if they begin with -\n"
    "\n"
    "Exit status:\n"
    "  0  every page was handled: rewritten, unchanged, or skipped for holding a\n"
    "     zero byte (such a page is left as it is on purpose)\n"
    "  1  with --dry-run, no failure and some page would change; with --check, no\n"
    "     failure and some reference opens no file\n"
    "  2  a usage error (no PATH, an unknown option)\n"
    "  3  some PATH or page was skipped for a failure: missing, unreadable,\n"
    "     unwritable, held by another program, opened, changed, moved or replaced\n"
    "     meanwhile, left by a run that was stopped while writing it, or a write\n"
    "     that failed (the original kept or written back); or the output could\n"
    "     not be written\n";

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "halvok-repair: %s\n%sTry 'halvok-repair --help'.\n", problem.c_str(),
                 kUsage);
    return 2;
}

// One line of the output: a page, or a path that names none (its outcome
// set).
struct Item {
    explicit Item(std::string path_) : path(std::move(path_)) {}
    std::string path;    // as the line names it
    PagePlace place;     // the page, in a folder the run holds open
    bool bDone = false;  // outcome is set
    bool bTaken = false; // a worker has it, or had it
    size_t first = 0;    // the first item naming the same file (itself, if none before)
    PageOutcome outcome;
};

// The folders that the run's pages lie in, each opened once, as the run
// begins, and closed when it ends.
class Folders {
  public:
    Folders() = default;
    ~Folders() {
        for (const auto& folder : m_open)
            close(folder.second);
    }
    Folders(const Folders&) = delete;
    Folders& operator=(const Folders&) = delete;

    // The folder at path, opened now: through links, as the system reads
    // the path, but with bNoFollow not through a link at its end. -1 (errno
    // set) when it cannot be opened.
    int Open(const std::string& path, bool bNoFollow) {
        const auto known = m_open.find(path);
        if (known != m_open.end())
            return known->second;
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK |
                                              (bNoFollow ? O_NOFOLLOW : 0));
        if (fd >= 0)
            m_open.emplace(path, fd);
        return fd;
    }

  private:
    std::map<std::string, int> m_open;
};

// Adds the items of one PATH: a folder's pages, or the page it names. A
// folder is opened once, never through a link at the end of the path (a
// path ending in "/" names the folder that the link leads to); its pages are
// its regular files with a page's extension, one level deep. A link to a
// page is followed once, now: the page is the file it leads to, in that
// file's folder.
void AddPath(const std::string& path, Folders* pFolders, std::vector<Item>* pItems) {
    const auto skip = [&](const std::string& why) {
        pItems->emplace_back(path);
        pItems->back().bDone = pItems->back().bTaken = true;
        pItems->back().outcome = {"skipped: " + why, true, false};
    };
    const int dirfd = pFolders->Open(path, true);
    if (dirfd >= 0) {
        int err;
        const std::vector<std::string> names = ListFolderPages(dirfd, &err);
        if (err != 0)
            return skip(std::strerror(err));
        const std::string shown = path.back() == '/' ? path : path + "/";
        for (const std::string& name : names) {
            pItems->emplace_back(shown + name);
            pItems->back().place = {dirfd, name, shown};
        }
        return;
    }
    if (errno != ENOTDIR)
        return skip(std::strerror(errno));
    std::string page = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return skip("a link to a folder, not followed (" + Printable(path) +
                        "/ takes the folder's pages)");
        std::unique_ptr<char, MallocDeleter> real(realpath(path.c_str(), nullptr));
        if (!real)
            return skip(std::strerror(errno));
        page = real.get();
    }
    const size_t slash = page.rfind('/');
    const std::string shown = slash == std::string::npos ? "" : page.substr(0, slash + 1);
    const int pagefd = pFolders->Open(shown.empty() ? "." : shown, false);
    if (pagefd < 0)
        return skip(std::strerror(errno));
    pItems->emplace_back(path);
    pItems->back().place = {pagefd, page.substr(shown.size()), shown};
}

// Marks each item with the first item that names the same file, as the
// names lead before any page is repaired: a swap gives a page a new file,
// and a later name of the page must not count as another file then.
void FindSameFiles(std::vector<Item>* pItems) {
    std::map<std::pair<dev_t, ino_t>, size_t> seen;
    for (size_t i = 0; i < pItems->size(); ++i) {
        Item& item = (*pItems)[i];
        struct stat st;
        item.first = i;
        if (!item.bDone &&
            fstatat(item.place.dirfd, item.place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            item.first = seen.emplace(std::make_pair(st.st_dev, st.st_ino), i).first->second;
    }
}

// The signal that asked the run to stop (Ctrl-C, a closed terminal, kill's
// default), or 0. The pages in hand are finished and reported first.
std::atomic<int> g_nStopSignal{0}; // lock-free: safe in a signal handler

void OnStopSignal(int nSignal) {
    g_nStopSignal = nSignal;
}

// Repairs the items on a few threads, each page whole on one of them, and
// prints their lines in order as they come. A file that several items name
// is repaired once, for the first of them; the others get its outcome.
class RepairRun {
  public:
    RepairRun(std::vector<Item>* pItems, bool bDryRun) : m_items(*pItems), m_bDryRun(bDryRun) {}

    // 0, or the errno of the output's write that failed: the run then took
    // no new page, and finished the pages in hand.
    int Run() {
        const size_t nThreads = std::min<size_t>(
            std::max(1u, std::min(4u, std::thread::hardware_concurrency())), m_items.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < nThreads; ++i)
            threads.emplace_back([this] { Work(); });
        for (Item& item : m_items) {
            std::unique_lock<std::mutex> lock(m_mutex);
            // A stop signal cannot wake the wait: it is looked at every 50 ms.
            while (!item.bDone && (item.bTaken || !g_nStopSignal))
                m_changed.wait_for(lock, std::chrono::milliseconds(50));
            if (!item.bDone)
                break; // stopped before this one began
            lock.unlock();
            std::printf("%s %s\n", Printable(item.path).c_str(), item.outcome.text.c_str());
            if (std::fflush(stdout) != 0) {
                lock.lock();
                m_outputErr = errno ? errno : EIO;
                break;
            }
        }
        for (std::thread& t : threads)
            t.join();
        return m_outputErr;
    }

  private:
    void Work() {
        PageRepairer repairer(m_bDryRun);
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!g_nStopSignal && !m_outputErr && m_next < m_items.size()) {
            Item& item = m_items[m_next++];
            item.bTaken = true;
            if (item.first != size_t(&item - m_items.data())) {
                // Taken earlier, in order: its outcome comes.
                const Item& first = m_items[item.first];
                m_changed.wait(lock, [&] { return first.bDone; });
                item.outcome = first.outcome;
            } else if (!item.bDone) {
                lock.unlock();
                PageOutcome outcome = repairer.Repair(item.place);
                lock.lock();
                item.outcome = std::move(outcome);
            }
            item.bDone = true;
            m_changed.notify_all();
        }
    }

    std::vector<Item>& m_items;
    const bool m_bDryRun;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0;   // the next item to take
    int m_outputErr = 0; // see Run
};

// halvok-repair --check: each page's references into its folder that open
// no file, and a count per page; nothing is changed. 0 when every reference
// opens, 1 when some do not, 3 when a page could not be read or the output
// could not be written. A stop signal ends the run after the page in hand.
int CheckPages(const std::vector<Item>& items) {
    bool bFailed = false, bMissing = false;
    for (const Item& item : items) {
        if (g_nStopSignal)
            break;
        const std::string page = Printable(item.path);
        if (item.bDone) { // a folder that could not be scanned
            std::printf("%s: %s\n", page.c_str(), item.outcome.text.c_str());
            bFailed = true;
        } else {
            const PageAudit audit = AuditPageFile(item.path);
            if (!audit.skipped.empty()) {
                std::printf("%s: skipped: %s\n", page.c_str(), audit.skipped.c_str());
                bFailed = bFailed || audit.bFailed;
            } else {
                for (const std::string& ref : audit.missing)
                    std::printf("%s: %s -> missing\n", page.c_str(), Printable(ref).c_str());
                for (const auto& [ref, name] : audit.caseBlind)
                    std::printf("%s: %s -> opens where names ignore case (%s)\n", page.c_str(),
                                Printable(ref).c_str(), Printable(name).c_str());
                const size_t n = audit.cReferences;
                std::printf("%s: %zu reference%s into %s/, %zu open\n", page.c_str(), n,
                            n == 1 ? "" : "s", Printable(audit.folder).c_str(),
                            n - audit.missing.size());
                bMissing = bMissing || !audit.missing.empty();
            }
        }
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "halvok-repair: cannot write the output (%s)\n",
                         std::strerror(errno ? errno : EIO));
            return 3;
        }
    }
    return bFailed ? 3 : bMissing ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    bool bDryRun = false, bCheck = false, bHelp = false, bVersion = false, bOptions = true;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!bOptions || arg[0] != '-' || arg[1] == '\0') {
            paths.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            bOptions = false;
        } else if (std::strcmp(arg, "-n") == 0 || std::strcmp(arg, "--dry-run") == 0) {
            bDryRun = true;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            bHelp = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            bVersion = true;
        } else if (std::strcmp(arg, "--check") == 0) {
            bCheck = true;
        } else {
            return UsageError(std::string("unknown option ") + arg);
        }
    }
    if (bHelp) {
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    }
    if (bVersion) {
        std::printf("halvok-repair %s\n", HALVOK_VERSION);
        return 0;
    }
    if (paths.empty())
        return UsageError("no PATH given");
    if (bCheck && bDryRun)
        return UsageError("--check changes nothing already; it takes no --dry-run");

    // A write beyond the file-size limit must fail with EFBIG, so that the
    // page can be kept or restored, rather than end the program; a program
    // opening a page under this program's lease must not end it either.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGIO, SIG_IGN);
    // A reader that stops early (| head) must not end the program in the
    // middle of a write either: the write of a line fails with EPIPE, and
    // the run stops as for a full disk.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    stop.sa_flags = SA_RESTART;
    for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
        sigaction(sig, &stop, nullptr);

    // The folders stay open until the run ends: a run over many folders may
    // need more descriptors than the soft limit gives.
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    Folders folders;
    std::vector<Item> items;
    for (const std::string& path : paths)
        AddPath(path, &folders, &items);
    int status;
    if (bCheck) {
        status = CheckPages(items);
    } else {
        FindSameFiles(&items);
        const int outputErr = RepairRun(&items, bDryRun).Run();
        if (outputErr != 0)
            std::fprintf(stderr, "halvok-repair: cannot write the output (%s)\n",
                         std::strerror(outputErr));
        bool bFailed = false, bWouldChange = false;
        for (const Item& item : items) {
            bFailed = bFailed || item.outcome.bFailed;
            bWouldChange = bWouldChange || item.outcome.bWouldChange;
        }
        status = bFailed || outputErr != 0 ? 3 : bWouldChange ? 1 : 0;
    }
    if (const int nSignal = g_nStopSignal) {
        // Ended as the signal ends a program, now that every page in hand is
        // whole and reported.
        std::signal(nSignal, SIG_DFL);
        std::raise(nSignal);
    }
    return status;
}
