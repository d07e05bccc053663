// PageRepairer: the file side of halvok-repair (see PageRepairer.h).
#include "tools/halvok-repair/PageRepairer.h"

#include "tools/halvok-repair/PageFile.h"
#include "tools/halvok-repair/PageFolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether name, in the folder dirfd, names the file st (not through a link).
bool Names(int dirfd, const std::string& name, const struct stat& st) {
    struct stat named;
    return fstatat(dirfd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, st);
}

// The name of a file of this program's beside the page: ".NAME" and the
// suffix, and a number n when n > 0. A long name is cut so that the whole
// fits the file system's limit. Neither suffix makes a page extension, so
// that no folder scan takes such a file for a page.
const char kNewSuffix[] = ".halvok-new"; // the new page, before it takes the page's place
const char kOldSuffix[] = ".halvok-old"; // the old bytes, while the page is written in place

std::string SiblingName(const std::string& page, const char* pszSuffix, int n = 0) {
    const size_t room = NAME_MAX - 1 - std::strlen(pszSuffix) - 2; // 2: the number
    return "." + page.substr(0, room) + pszSuffix + (n > 0 ? std::to_string(n) : "");
}

// A file that this program makes beside a page, under a name of its own.
// On scope exit it is removed, but only while its name still names it: a
// file that another program put under that name stays.
class SiblingFile {
  public:
    explicit SiblingFile(int dirfd) : m_dirfd(dirfd) {}
    ~SiblingFile() {
        if (!m_name.empty() && Names(m_dirfd, m_name, m_st))
            unlinkat(m_dirfd, m_name.c_str(), 0);
    }
    SiblingFile(const SiblingFile&) = delete;
    SiblingFile& operator=(const SiblingFile&) = delete;

    int Get() const { return m_fd.Get(); }
    const std::string& Name() const { return m_name; }
    // The file under its name is left where it is from now on.
    void Leave() { m_name.clear(); }

  protected:
    // Makes the file under name, which nothing may hold yet; false (errno
    // set) when it cannot be made.
    bool Make(const std::string& name) {
        m_fd.Reset(openat(m_dirfd, name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (m_fd.Get() < 0 || fstat(m_fd.Get(), &m_st) != 0)
            return false;
        m_name = name;
        return true;
    }

    const int m_dirfd;
    FileDescriptor m_fd{-1};
    std::string m_name; // empty while the file has no name, or is no longer this program's
    struct stat m_st {};
};

// The new file that is to take the page's place. Where the file system can,
// it has no name until just before it does, so that even a kill leaves none
// behind; elsewhere (no unnamed files, or no /proc to name one through) it
// is made as .NAME.halvok-new.
class NewFile : public SiblingFile {
  public:
    NewFile(int dirfd, const std::string& page) : SiblingFile(dirfd), m_page(page) {}

    // False when no file can be made beside the page.
    bool Create() {
        m_fd.Reset(openat(m_dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        struct stat proc;
        if (m_fd.Get() >= 0 && fstat(m_fd.Get(), &m_st) == 0 &&
            stat(ProcPath().c_str(), &proc) == 0 && SameFile(proc, m_st))
            return true;
        return UnderFreeName([this](const std::string& name) { return Make(name); });
    }

    // Puts the file in the page's place, which nobody may have touched
    // (watch). Where the file system can swap two names at once, the two
    // are swapped and what comes out is looked at: a file saved there
    // meanwhile goes back at once, and so does the page when it was opened
    // or changed meanwhile. Done; Left: the page is (back) in its place and
    // nothing else changed, *ppszWhy says why; Failed, with *pErr the errno
    // of the step that failed; Kept: the page is back, *ppszWhy says why,
    // but a file another program put under the page's name meanwhile came
    // out in the swap back and is kept under Name(); or Stuck: the file that
    // came out of the page's name (*ppszWhy says why it must go back) could
    // not be swapped back, and stays under Name() (the new page is in the
    // page's place).
    enum class Swap { Done, Left, Failed, Kept, Stuck };
    Swap Replace(const PageWatch& watch, const char** ppszWhy, int* pErr);

  private:
    static constexpr int kTries = 10;
    std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(m_fd.Get()); }

    // Gives the file a name through nameIt(name): .NAME.halvok-new, or while
    // that is taken (left by a run that was killed, say) the same with 1, 2...
    template <typename NameIt> bool UnderFreeName(NameIt nameIt) {
        for (int n = 0; n < kTries; ++n) {
            if (nameIt(SiblingName(m_page, kNewSuffix, n)))
                return true;
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Links the unnamed file into the folder under a name of its own.
    bool Link() {
        return UnderFreeName([this](const std::string& name) {
            if (linkat(AT_FDCWD, ProcPath().c_str(), m_dirfd, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return false;
            m_name = name;
            return true;
        });
    }

    const std::string m_page;
};

void RunTestHook(const char* pszStage);

NewFile::Swap NewFile::Replace(const PageWatch& watch, const char** ppszWhy, int* pErr) {
    if (m_name.empty() && !Link()) {
        *pErr = errno;
        return Swap::Failed;
    }
    if ((*ppszWhy = watch.Before()) != nullptr)
        return Swap::Left;
    RunTestHook("swap");
    const char* pszPage = watch.place.name.c_str();
    if (renameat2(m_dirfd, m_name.c_str(), m_dirfd, pszPage, RENAME_EXCHANGE) == 0) {
        // What came out: the page, which no program can reach by its name
        // any more, looked at once more; or a file saved there meanwhile.
        const bool bPage = Names(m_dirfd, m_name, watch.st);
        *ppszWhy = bPage ? watch.AfterSwap(Get()) : "replaced meanwhile";
        if (!*ppszWhy) {
            if (Names(m_dirfd, m_name, watch.st))
                unlinkat(m_dirfd, m_name.c_str(), 0); // the old page
            Leave();
            return Swap::Done;
        }
        if (renameat2(m_dirfd, m_name.c_str(), m_dirfd, pszPage, RENAME_EXCHANGE) != 0) {
            *pErr = errno;
            return Swap::Stuck; // the file that came out is never removed
        }
        // A file saved under the page's name between the two swaps came out
        // in the second one: it stays.
        return Names(m_dirfd, m_name, m_st) ? Swap::Left : Swap::Kept;
    }
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) {
        *ppszWhy = watch.Before(); // moved away meanwhile, say
        *pErr = err;
        return *ppszWhy ? Swap::Left : Swap::Failed;
    }
    // No swap on this file system: the same looks, right before a rename
    // that cannot be taken back.
    if ((*ppszWhy = watch.Before()) != nullptr)
        return Swap::Left;
    if (renameat(m_dirfd, m_name.c_str(), m_dirfd, pszPage) != 0) {
        *pErr = errno;
        return Swap::Failed;
    }
    Leave();
    return Swap::Done;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Writes cb bytes at offset at of the file. 0, or the errno of the write
// that failed.
int WriteAt(int fd, const char* p, size_t cb, off_t at) {
    for (size_t done = 0; done < cb;) {
        const ssize_t n = pwrite(fd, p + done, cb - done, at + off_t(done));
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        done += size_t(n);
    }
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

// The value of the file's extended attribute; false when it cannot be read.
bool ReadAttribute(int fd, const char* pszName, std::vector<char>* pValue) {
    const ssize_t cb = fgetxattr(fd, pszName, nullptr, 0);
    if (cb < 0)
        return false;
    pValue->resize(size_t(cb));
    const ssize_t got = cb ? fgetxattr(fd, pszName, pValue->data(), size_t(cb)) : 0;
    if (got < 0)
        return false;
    pValue->resize(size_t(got));
    return true;
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
        if (!ReadAttribute(from, &names[at], &value) ||
            fsetxattr(to, &names[at], value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// Whether the two files have the same extended attributes, with the same
// values (in whatever order the file system lists them).
bool SameAttributes(int a, int b) {
    std::vector<char> names, bNames, value, bValue;
    if (!ListAttributes(a, &names) || !ListAttributes(b, &bNames) || names.size() != bNames.size())
        return false;
    for (size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
        if (!HasName(bNames, &names[at]) || !ReadAttribute(a, &names[at], &value) ||
            !ReadAttribute(b, &names[at], &bValue) || value != bValue)
            return false;
    }
    return true;
}

// The inode flags (chattr) that say how a file is to be kept, which its
// owner may set: carried from the page to its new file. Not i and a: the
// page could not have been opened for writing with them.
constexpr int kCarriedFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
                              FS_NOATIME_FL | FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL |
                              FS_NOCOW_FL;

// Gives the file `to` the carried inode flags of `from`. False when the page
// has some that cannot be given; a file system without inode flags has none.
bool CopyInodeFlags(int from, int to) {
    int flags = 0, toFlags = 0;
    if (ioctl(from, FS_IOC_GETFLAGS, &flags) != 0)
        return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL;
    flags &= kCarriedFlags;
    if (ioctl(to, FS_IOC_GETFLAGS, &toFlags) != 0)
        return flags == 0;
    const int wanted = (toFlags & ~kCarriedFlags) | flags;
    return wanted == toFlags || ioctl(to, FS_IOC_SETFLAGS, &wanted) == 0;
}

// The old bytes of a page written in place, in .NAME.halvok-old beside it,
// with the page's owner and mode. Made and on the disk before the first
// byte of the page is written, removed once the page is whole again, on the
// disk; a run that ends between the two leaves it for the user (and the
// next run finds it).
class OldBytes : public SiblingFile {
  public:
    using SiblingFile::SiblingFile;

    // 0, or the errno of the step that failed (nothing is then left).
    int Keep(const std::string& page, const char* p, size_t cb, const struct stat& st) {
        if (!Make(SiblingName(page, kOldSuffix)))
            return errno;
        // The page's owner where this program may give it; else only this
        // program's user, who could read the page, can read the copy.
        const bool bOwner = fchown(Get(), st.st_uid, st.st_gid) == 0;
        int err = WriteAt(Get(), p, cb, 0);
        if (err == 0 && fchmod(Get(), st.st_mode & (bOwner ? 0777 : 0700)) != 0)
            err = errno;
        if (err == 0 && (fsync(Get()) != 0 || fsync(m_dirfd) != 0))
            err = errno;
        return err;
    }
};

PageOutcome Handled(std::string text) {
    return {std::move(text), false, false};
}

PageOutcome Skipped(const std::string& reason) {
    return {"skipped: " + reason, true, false};
}

// Whether another program holds the open page: a lock through flock, or
// through fcntl or lockf (a POSIX lock, or one on an open file description),
// or, where the system grants a write lease, the page open at all. A lock
// and lease taken here (*pbLease) tell later whether anyone opened the page
// meanwhile; they end when the page is closed. A dry run, which opens the
// page only to read it, looks for another program's lock without taking
// one. The reason to skip the page, or null.
const char* HeldElsewhere(int fd, bool bDryRun, bool* pbLease, int* pErr) {
    *pbLease = false;
    *pErr = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *pErr = errno;
        return errno == EWOULDBLOCK ? "locked by another program" : nullptr;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET; // from the start to the end, however it grows
    const int got = fcntl(fd, bDryRun ? F_OFD_GETLK : F_OFD_SETLK, &lock);
    if (got != 0 && errno != EINVAL) {
        *pErr = errno;
        return errno == EAGAIN || errno == EACCES ? "locked by another program" : nullptr;
    }
    if (got == 0 && bDryRun && lock.l_type != F_UNLCK)
        return "locked by another program";
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
// precede its write-back; with $1 "swap" after the last look and right
// before the new file takes the page's place; and with $1 "cut" once the
// new bytes of a page written in place are written, before it is cut to
// length. A test can change, open, move or replace the page at exactly
// these moments, hold the page in hand, or end the run there. Only the
// tests set it.
void RunTestHook(const char* pszStage) {
    static const char* const pszHook = std::getenv("HALVOK_REPAIR_TEST_HOOK");
    if (!pszHook)
        return;
    // What the command does is its own affair, its exit status included.
    const int status = std::system(("set -- " + std::string(pszStage) + "; " + pszHook).c_str());
    (void)status;
}

} // namespace

const char* PageWatch::Before() const {
    // The name first: a rename sets the change time too.
    struct stat now;
    if (fstatat(place.dirfd, place.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? "moved meanwhile" : std::strerror(errno);
    if (!SameFile(now, st))
        return "replaced meanwhile";
    if (bLease && fcntl(fd, F_GETLEASE) != F_WRLCK)
        return "opened by another program meanwhile";
    if (fstat(fd, &now) != 0 || now.st_size != st.st_size || !SameTime(now.st_mtim, st.st_mtim) ||
        !SameTime(now.st_ctim, st.st_ctim))
        return "changed meanwhile";
    return nullptr;
}

const char* PageWatch::AfterSwap(int newFd) const {
    if (bLease && fcntl(fd, F_GETLEASE) != F_WRLCK)
        return "opened by another program meanwhile";
    struct stat now;
    if (fstat(fd, &now) != 0 || now.st_size != st.st_size || !SameTime(now.st_mtim, st.st_mtim) ||
        now.st_mode != st.st_mode || now.st_uid != st.st_uid || now.st_gid != st.st_gid ||
        now.st_nlink != st.st_nlink || !SameAttributes(fd, newFd))
        return "changed meanwhile";
    return nullptr;
}

PageRepairer::~PageRepairer() {
    std::free(m_page);
}

PageOutcome PageRepairer::Repair(const PagePlace& page) {
    // A single-file web archive has no folder and no references to repair;
    // it is not a page, whatever its name holds.
    const char* pszName = page.name.c_str();
    if (IsWebArchiveName(pszName))
        return Handled("skipped: a web archive (.mhtml), not a page");
    // The old bytes of a write in place still beside the page: a run was
    // stopped (kill -9, a crash) while it wrote the page, which may be part
    // new, part old. Which to keep is the user's choice.
    const std::string old = SiblingName(page.name, kOldSuffix);
    struct stat st;
    if (fstatat(page.dirfd, old.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return Skipped("an earlier run was stopped while writing it; its old bytes are in " +
                       Printable(page.shown + old));
    // O_NONBLOCK: a page under another program's lease gives EWOULDBLOCK at
    // once rather than a wait, and a FIFO does not wait for a writer. A dry
    // run only reads, so that it previews pages it could not write (an
    // immutable page, a read-only mount), and leaves even the page's access
    // time alone where the system lets it (on pages the user owns).
    const int flags =
        (m_bDryRun ? O_RDONLY : O_RDWR) | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    FileDescriptor file(openat(page.dirfd, pszName, m_bDryRun ? flags | O_NOATIME : flags));
    if (file.Get() < 0 && m_bDryRun && errno == EPERM)
        file.Reset(openat(page.dirfd, pszName, flags));
    if (file.Get() < 0) {
        if (errno == ELOOP)
            return Skipped("replaced meanwhile"); // a link now, not the file taken
        return Skipped(errno == EWOULDBLOCK ? "open in another program" : ErrnoText(errno));
    }
    if (fstat(file.Get(), &st) != 0)
        return Skipped(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return Skipped("not a regular file");
    bool bLease;
    int err;
    if (const char* pszHeld = HeldElsewhere(file.Get(), m_bDryRun, &bLease, &err))
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
                                 FindPageFolderSuffix(page.name, page.dirfd))) {
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

    // From here on the page must still be the file its name names, and
    // nobody may have opened or changed it: a program that did would
    // otherwise go on with a file that is no longer the page, or lose what
    // it wrote. Looked at now, and again at each step of the write-back.
    const PageWatch watch{page, file.Get(), st, bLease};
    if (const char* pszWhy = watch.Before())
        return Skipped(pszWhy);
    RunTestHook("check");
    PageOutcome outcome;
    // A rename would part a page of several links from its other names.
    if (st.st_nlink == 1 && ReplaceByNewFile(watch, &outcome) != Replace::NotPossible)
        return outcome;
    return WriteInPlace(watch);
}

PageRepairer::Replace PageRepairer::ReplaceByNewFile(const PageWatch& watch,
                                                     PageOutcome* pOutcome) {
    const int fd = watch.fd;
    const struct stat& st = watch.st;
    NewFile temp(watch.place.dirfd, watch.place.name);
    if (!temp.Create())
        return Replace::NotPossible;
    // The owner first: a change of owner clears the set-id bits of the mode.
    if (fchown(temp.Get(), st.st_uid, st.st_gid) != 0 || !CopyAttributes(fd, temp.Get()) ||
        !CopyInodeFlags(fd, temp.Get()) || fchmod(temp.Get(), st.st_mode & 07777) != 0)
        return Replace::NotPossible;
    int err = m_pieces.WriteTo(temp.Get());
    if (err != 0) {
        *pOutcome = Skipped("write failed (" + ErrnoText(err) + "), original kept");
        return Replace::Failed;
    }
    const char* pszWhy = nullptr;
    switch (temp.Replace(watch, &pszWhy, &err)) {
    case NewFile::Swap::Done:
        *pOutcome = Handled("rewritten");
        return Replace::Done;
    case NewFile::Swap::Left:
        *pOutcome = Skipped(pszWhy);
        return Replace::Failed;
    case NewFile::Swap::Kept:
        *pOutcome =
            Skipped(std::string(pszWhy) + "; a file saved under its name meanwhile is now " +
                    Printable(watch.place.shown + temp.Name()));
        temp.Leave();
        return Replace::Failed;
    case NewFile::Swap::Stuck:
        *pOutcome =
            Skipped(std::string(pszWhy) + "; the file that was there could not be put back (" +
                    ErrnoText(err) + ") and is now " + Printable(watch.place.shown + temp.Name()));
        temp.Leave();
        return Replace::Failed;
    case NewFile::Swap::Failed:
        break;
    }
    return Replace::NotPossible;
}

PageOutcome PageRepairer::WriteInPlace(const PageWatch& watch) {
    const PagePlace& page = watch.place;
    const int fd = watch.fd;
    const off_t cbOld = watch.st.st_size, cbNew = off_t(m_pieces.Size());
    if (const char* pszWhy = watch.Before())
        return Skipped(pszWhy);
    OldBytes old(page.dirfd);
    if (const int err = old.Keep(page.name, m_page, size_t(cbOld), watch.st))
        return Skipped("its old bytes cannot be kept beside it (" + ErrnoText(err) + ")");
    const std::string there = Printable(page.shown + old.Name());
    // Keeping them took a while: the page is looked at again.
    if (const char* pszWhy = watch.Before())
        return Skipped(pszWhy);

    // The page takes its new length before the first byte, so that whatever
    // another program appends meanwhile lands past the new bytes, where the
    // look before the cut finds it. cbAt: the length this run gave it.
    off_t cbAt = cbOld;
    int err = 0;
    if (cbNew > cbOld) {
        if (ftruncate(fd, cbNew) == 0)
            cbAt = cbNew;
        else
            err = errno;
    }
    if (err == 0)
        err = m_pieces.WriteTo(fd);
    RunTestHook("cut");
    struct stat now;
    if (err == 0 && fstat(fd, &now) != 0)
        err = errno;
    if (err == 0 && now.st_size < cbAt) {
        // Cut by another program meanwhile: what it wrote is not written over.
        old.Leave();
        return Skipped("changed meanwhile; its old bytes are in " + there);
    }
    if (err == 0 && now.st_size > cbAt) {
        // Appended to meanwhile: the old bytes go back, and the text added
        // stays after them.
        const int errBack = PutBack(fd, cbOld, cbAt);
        if (errBack == 0)
            return Skipped("changed meanwhile");
        old.Leave();
        return Skipped("changed meanwhile; putting it back failed (" + ErrnoText(errBack) +
                       "); its old bytes are in " + there);
    }
    if (err == 0 && cbNew < cbOld && ftruncate(fd, cbNew) != 0)
        err = errno;
    if (err == 0 && fsync(fd) != 0)
        err = errno;
    if (err == 0)
        return Handled("rewritten"); // the old bytes go with `old`
    // The page as read is still in memory: put it back.
    const int errRestore = PutBack(fd, cbOld, cbAt);
    if (errRestore == 0)
        return Skipped("write failed (" + ErrnoText(err) + "), original restored");
    old.Leave();
    return Skipped("write failed (" + ErrnoText(err) + "), restore failed (" +
                   ErrnoText(errRestore) + "); its old bytes are in " + there);
}

// Writes the page as read back over fd, which this run left cbAt bytes long,
// and keeps what another program appended past that: the old bytes, then
// the appended ones, the file cut after them, and all on the disk. 0, or the
// errno of the step that failed.
int PageRepairer::PutBack(int fd, off_t cbOld, off_t cbAt) {
    std::string added;
    for (;;) {
        const size_t have = added.size();
        added.resize(have + 65536);
        const ssize_t n = pread(fd, &added[have], 65536, cbAt + off_t(have));
        if (n < 0)
            return errno;
        added.resize(have + size_t(n));
        if (n == 0)
            break;
    }
    int err = WriteAt(fd, m_page, size_t(cbOld), 0);
    if (err == 0)
        err = WriteAt(fd, added.data(), added.size(), cbOld);
    if (err == 0 && ftruncate(fd, cbOld + off_t(added.size())) != 0)
        err = errno;
    if (err == 0 && fsync(fd) != 0)
        err = errno;
    return err;
}
