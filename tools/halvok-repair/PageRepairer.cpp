// PageRepairer: the file side of halvok-repair (see PageRepairer.h).
#include "tools/halvok-repair/PageRepairer.h"

#include "tools/halvok-repair/PageFile.h"
#include "tools/halvok-repair/PageFolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A new file beside the page that is to replace it. Where the file system
// can, it has no name until just before it replaces the page, so that even
// a kill leaves none behind; elsewhere it is made with a hidden name. Either
// way it is removed on scope exit unless it has taken the page's place.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile() {
        if (m_fd < 0)
            return;
        if (!m_path.empty())
            unlink(m_path.c_str());
        close(m_fd);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Makes the file in the folder of target; false when no file can be made
    // there. Its name ends in a fixed extension that no folder scan takes
    // for a page.
    bool Create(const std::string& target) {
        const size_t slash = target.rfind('/');
        m_prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        m_fd =
            open(m_prefix.empty() ? "." : m_prefix.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            return true;
        m_path = m_prefix + ".halvok-XXXXXX.tmp";
        m_fd = mkostemps(&m_path[0], 4, O_CLOEXEC);
        return m_fd >= 0;
    }
    int Get() const { return m_fd; }
    const std::string& Path() const { return m_stuck; }

    // Puts the file in the place of target, which must still name the page
    // that was read and which nobody may have touched (watch). Where the file
    // system can swap two names at once, the two are swapped and what comes
    // out is looked at: a file saved there meanwhile goes back at once, and
    // so does the page when it was opened or changed meanwhile. Done;
    // Moved (target names no file) or Replaced (another file): nothing
    // changed; Touched: the page is back in its place, *ppszWhy says why;
    // Failed with *pErr the errno of the step that failed; or Stuck: the file
    // that came out of target (*ppszWhy says why it must go back) could not
    // be swapped back, and stays under the name Path() now gives (the new
    // page is in target).
    enum class Swap { Done, Moved, Replaced, Touched, Failed, Stuck };
    Swap Replace(const std::string& target, const PageWatch& watch, const char** ppszWhy,
                 int* pErr) {
        if (m_path.empty() && !Name()) {
            *pErr = errno;
            return Swap::Failed;
        }
        struct stat out;
        if (renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
            const bool bPage = lstat(m_path.c_str(), &out) == 0 && SameFile(out, watch.st);
            // The swap itself sets the page's change time.
            *ppszWhy = bPage ? watch.Touched(false) : "replaced meanwhile";
            if (bPage && !*ppszWhy) {
                unlink(m_path.c_str()); // the old page
                Forget();
                return Swap::Done;
            }
            if (renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) !=
                0) {
                // The other file stays where the swap put it: never removed.
                *pErr = errno;
                m_stuck = m_path;
                Forget();
                return Swap::Stuck;
            }
            return bPage ? Swap::Touched : Swap::Replaced;
        }
        if (errno == ENOENT && lstat(target.c_str(), &out) != 0)
            return Swap::Moved;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
            *pErr = errno;
            return Swap::Failed;
        }
        // No swap here: the page's place is checked just before the rename.
        if (lstat(target.c_str(), &out) != 0)
            return Swap::Moved;
        if (!SameFile(out, watch.st))
            return Swap::Replaced;
        if (rename(m_path.c_str(), target.c_str()) != 0) {
            *pErr = errno;
            return Swap::Failed;
        }
        Forget();
        return Swap::Done;
    }

  private:
    // Links the unnamed file into its folder under a name of its own.
    bool Name() {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        const std::string stem = m_prefix + ".halvok-" + std::to_string(getpid()) + "-";
        for (int n = 0; n < 100; ++n) {
            const std::string path = stem + std::to_string(n) + ".tmp";
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                m_path = path;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // The file has taken the page's place: it is the page's now.
    void Forget() {
        close(m_fd);
        m_fd = -1;
        m_path.clear();
    }

    std::string m_prefix; // the folder, with its "/"
    std::string m_path;   // empty while the file has no name
    std::string m_stuck;  // see Swap::Stuck
    int m_fd = -1;
};

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Writes cb bytes at the start of the file and cuts it there. 0, or the
// errno of the step that failed.
int WriteWhole(int fd, const char* p, size_t cb) {
    size_t done = 0;
    while (done < cb) {
        const ssize_t n = pwrite(fd, p + done, cb - done, static_cast<off_t>(done));
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        done += static_cast<size_t>(n);
    }
    if (ftruncate(fd, static_cast<off_t>(cb)) != 0)
        return errno;
    return 0;
}

// The names of the file's extended attributes, each ending in a zero byte;
// false when they cannot be read. A file system without them has none.
bool ListAttributes(int fd, std::vector<char>* pNames) {
    for (;;) {
        const ssize_t cb = flistxattr(fd, nullptr, 0);
        if (cb < 0 && errno == ENOTSUP) {
            pNames->clear();
            return true;
        }
        if (cb < 0)
            return false;
        pNames->resize(size_t(cb));
        const ssize_t got = cb ? flistxattr(fd, pNames->data(), size_t(cb)) : 0;
        if (got >= 0) {
            pNames->resize(size_t(got));
            return true;
        }
        if (errno != ERANGE) // ERANGE: the list grew meanwhile
            return false;
    }
}

bool HasName(const std::vector<char>& names, const char* pszName) {
    for (size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1)
        if (std::strcmp(&names[at], pszName) == 0)
            return true;
    return false;
}

// Gives the file `to` the extended attributes of `from` (access lists among
// them), and removes those that `from` lacks (a folder's default access
// list, say). False when one of them cannot be carried over.
bool CopyAttributes(int from, int to) {
    std::vector<char> names, toNames, value;
    if (!ListAttributes(from, &names) || !ListAttributes(to, &toNames))
        return false;
    for (size_t at = 0; at < toNames.size(); at += std::strlen(&toNames[at]) + 1)
        if (!HasName(names, &toNames[at]) && fremovexattr(to, &toNames[at]) != 0)
            return false;
    for (size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
        const char* pszName = &names[at];
        const ssize_t cb = fgetxattr(from, pszName, nullptr, 0);
        if (cb < 0)
            return false;
        value.resize(size_t(cb));
        const ssize_t got = cb ? fgetxattr(from, pszName, value.data(), size_t(cb)) : 0;
        if (got < 0 || fsetxattr(to, pszName, value.data(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

// The path whose name the new file must take: pszPath itself, or, when it is
// a symbolic link to be followed, the file it leads to. Empty when neither
// names the file that was opened, with *ppszWhy saying why: the name names
// no file now (moved meanwhile) or another one (replaced meanwhile).
std::string ReplaceTarget(const char* pszPath, const struct stat& st, bool bFollowLink,
                          const char** ppszWhy) {
    *ppszWhy = "moved meanwhile";
    struct stat named;
    if (lstat(pszPath, &named) != 0)
        return std::string();
    if (SameFile(named, st))
        return pszPath;
    *ppszWhy = "replaced meanwhile";
    if (!bFollowLink || !S_ISLNK(named.st_mode))
        return std::string();
    std::unique_ptr<char, MallocDeleter> real(realpath(pszPath, nullptr));
    if (!real || lstat(real.get(), &named) != 0) {
        *ppszWhy = "moved meanwhile";
        return std::string();
    }
    if (!SameFile(named, st))
        return std::string();
    return real.get();
}

// Null when the page may be written back now: nobody has opened or changed
// it, and its path still names it (*pTarget gets the path to write to).
// Else the reason to leave it.
const char* WhyNotWrite(const char* pszPath, bool bFollowLink, const PageWatch& watch,
                        std::string* pTarget) {
    // The name first: a rename sets the change time too.
    const char* pszWhy;
    *pTarget = ReplaceTarget(pszPath, watch.st, bFollowLink, &pszWhy);
    return pTarget->empty() ? pszWhy : watch.Touched();
}

PageOutcome Handled(std::string text) {
    return {std::move(text), false, false};
}

PageOutcome Skipped(const std::string& reason) {
    return {"skipped: " + reason, true, false};
}

// Whether another program holds the open page: a lock through flock, or
// through fcntl or lockf (a POSIX lock, or one on an open file description),
// or, where the system grants a write lease, the page open at all. A lease
// taken here (*pbLease) tells later whether anyone opened the page
// meanwhile; it ends when the page is closed. The reason to skip the page,
// or null.
const char* HeldElsewhere(int fd, bool* pbLease, int* pErr) {
    *pbLease = false;
    *pErr = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *pErr = errno;
        return errno == EWOULDBLOCK ? "locked by another program" : nullptr;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET; // from the start to the end, however it grows
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0 && errno != EINVAL) {
        *pErr = errno;
        return errno == EAGAIN || errno == EACCES ? "locked by another program" : nullptr;
    }
    // Refused with EAGAIN when another descriptor of the page is open; other
    // refusals (a page of another owner, a file system without leases) say
    // nothing of other programs.
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0)
        *pbLease = true;
    else if (errno == EAGAIN)
        return "open in another program";
    return nullptr;
}

// A test seam: the shell command in HALVOK_REPAIR_TEST_HOOK, when set, runs
// with $1 "check" once a page is read and rewritten, before the looks that
// precede its write-back, and with $1 "swap" after the last look and right
// before the new file takes the page's place. A test can change, open, move
// or replace the page at exactly these moments, or hold the page in hand.
// Only the tests set it.
void RunTestHook(const char* pszStage) {
    static const char* const pszHook = std::getenv("HALVOK_REPAIR_TEST_HOOK");
    if (!pszHook)
        return;
    // What the command does is its own affair, its exit status included.
    const int status = std::system(("set -- " + std::string(pszStage) + "; " + pszHook).c_str());
    (void)status;
}

} // namespace

const char* PageWatch::Touched(bool bCtime) const {
    if (bLease && fcntl(fd, F_GETLEASE) != F_WRLCK)
        return "opened by another program meanwhile";
    struct stat now;
    if (fstat(fd, &now) != 0 || now.st_size != st.st_size || !SameTime(now.st_mtim, st.st_mtim) ||
        (bCtime && !SameTime(now.st_ctim, st.st_ctim)))
        return "changed meanwhile";
    return nullptr;
}

PageRepairer::~PageRepairer() {
    std::free(m_page);
}

PageOutcome PageRepairer::Repair(const char* pszPath, bool bFollowLink) {
    // A single-file web archive has no folder and no references to repair;
    // it is not a page, whatever its name holds.
    const char* pszName = std::strrchr(pszPath, '/');
    if (IsWebArchiveName(pszName ? pszName + 1 : pszPath))
        return Handled("skipped: a web archive (.mhtml), not a page");
    // O_NONBLOCK: a page under another program's lease gives EWOULDBLOCK at
    // once rather than a wait. A dry run leaves even the page's access time
    // alone, where the system lets it (on pages the user owns).
    const int flags = O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | (bFollowLink ? 0 : O_NOFOLLOW);
    FileDescriptor file(open(pszPath, m_bDryRun ? flags | O_NOATIME : flags));
    if (file.Get() < 0 && m_bDryRun && errno == EPERM)
        file.Reset(open(pszPath, flags));
    if (file.Get() < 0) {
        if (errno == ELOOP && !bFollowLink)
            return Skipped("replaced meanwhile"); // a link now, not the file scanned
        return Skipped(errno == EWOULDBLOCK ? "open in another program" : ErrnoText(errno));
    }
    struct stat st;
    if (fstat(file.Get(), &st) != 0)
        return Skipped(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return Skipped("not a regular file");
    bool bLease;
    int err;
    if (const char* pszHeld = HeldElsewhere(file.Get(), &bLease, &err))
        return Skipped(pszHeld);
    if (err != 0)
        return Skipped(ErrnoText(err));
    if (st.st_size >= INT_MAX)
        return Skipped("too large");
    const size_t size = static_cast<size_t>(st.st_size);

    // The block only grows; its old bytes need not survive, so no realloc.
    // It holds at least one byte, so that even an empty page has an address.
    if (!m_page || size > m_capacity) {
        std::free(m_page);
        m_capacity = size ? size : 1;
        m_page = static_cast<char*>(std::malloc(m_capacity));
        if (!m_page)
            return Skipped("out of memory");
    }
    if (!ReadWhole(file.Get(), m_page, size))
        return Skipped("read failed");

    m_pieces.Reset(m_page);
    int32_t cRepaired = 0;
    // The references lead into the folder that is really beside the page.
    switch (RewriteSavedPageInto(m_page, static_cast<int32_t>(size), &m_pieces, &cRepaired,
                                 FindPageFolderSuffix(pszPath))) {
    case PageRepair::Leave:
        return Skipped("out of memory");
    case PageRepair::ZeroByte:
        return Handled("skipped: holds a zero byte");
    case PageRepair::Unchanged:
        return Handled("unchanged");
    case PageRepair::Rewritten:
        break;
    }
    if (m_bDryRun)
        return {"rewritten: " + std::to_string(cRepaired) +
                    (cRepaired == 1 ? " reference" : " references"),
                false, true};

    // From here on the page must still be the file its path names, and
    // nobody may have opened or changed it: a program that did would
    // otherwise go on with a file that is no longer the page, or lose what
    // it wrote. Looked at now, and again right before each write.
    const PageWatch watch{file.Get(), st, bLease};
    std::string target;
    if (const char* pszWhy = WhyNotWrite(pszPath, bFollowLink, watch, &target))
        return Skipped(pszWhy);
    RunTestHook("check");
    PageOutcome outcome;
    if (st.st_nlink == 1 &&
        ReplaceByNewFile(watch, pszPath, bFollowLink, &target, &outcome) != Replace::NotPossible)
        return outcome;
    // A rename would part the page from its other names, or there is no new
    // file to rename.
    if (const char* pszWhy = WhyNotWrite(pszPath, bFollowLink, watch, &target))
        return Skipped(pszWhy);
    return WriteInPlace(file.Get(), size);
}

PageRepairer::Replace PageRepairer::ReplaceByNewFile(const PageWatch& watch, const char* pszPath,
                                                     bool bFollowLink, std::string* pTarget,
                                                     PageOutcome* pOutcome) {
    const std::string& target = *pTarget;
    const int fd = watch.fd;
    const struct stat& st = watch.st;
    TempFile temp;
    if (!temp.Create(target))
        return Replace::NotPossible;
    // The owner first: a change of owner clears the set-id bits of the mode.
    if (fchown(temp.Get(), st.st_uid, st.st_gid) != 0 || !CopyAttributes(fd, temp.Get()) ||
        fchmod(temp.Get(), st.st_mode & 07777) != 0)
        return Replace::NotPossible;
    int err = m_pieces.WriteTo(temp.Get());
    if (err != 0) {
        *pOutcome = Skipped("write failed (" + ErrnoText(err) + "), original kept");
        return Replace::Failed;
    }
    // Writing the new file took time: the page is looked at again.
    const char* pszWhy = WhyNotWrite(pszPath, bFollowLink, watch, pTarget);
    if (pszWhy) {
        *pOutcome = Skipped(pszWhy);
        return Replace::Failed;
    }
    RunTestHook("swap");
    switch (temp.Replace(target, watch, &pszWhy, &err)) {
    case TempFile::Swap::Done:
        *pOutcome = Handled("rewritten");
        return Replace::Done;
    case TempFile::Swap::Moved:
        *pOutcome = Skipped("moved meanwhile");
        return Replace::Failed;
    case TempFile::Swap::Replaced:
        *pOutcome = Skipped("replaced meanwhile");
        return Replace::Failed;
    case TempFile::Swap::Touched:
        *pOutcome = Skipped(pszWhy);
        return Replace::Failed;
    case TempFile::Swap::Stuck:
        *pOutcome =
            Skipped(std::string(pszWhy) + "; the file that was there could not be put back (" +
                    ErrnoText(err) + ") and is now " + temp.Path());
        return Replace::Failed;
    case TempFile::Swap::Failed:
        break;
    }
    return Replace::NotPossible;
}

PageOutcome PageRepairer::WriteInPlace(int fd, size_t cbOld) {
    int err = m_pieces.WriteTo(fd);
    if (err == 0 && ftruncate(fd, static_cast<off_t>(m_pieces.Size())) != 0)
        err = errno;
    if (err == 0)
        return Handled("rewritten");
    // The page as read is still in memory: put it back.
    const int errRestore = WriteWhole(fd, m_page, cbOld);
    if (errRestore == 0)
        return Skipped("write failed (" + ErrnoText(err) + "), original restored");
    return Skipped("write failed (" + ErrnoText(err) + "), restore failed (" +
                   ErrnoText(errRestore) + ")");
}
