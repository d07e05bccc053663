// One page's repair for halvok-repair: read whole while no other program
// holds it, rewritten, and written back whole or not at all.
#pragma once

#include "tools/halvok-repair/PagePieces.h"

#include <cstddef>
#include <string>

#include <sys/stat.h>

// What became of one page, for its line and the exit status.
struct PageOutcome {
    std::string text;          // "rewritten", "unchanged" or "skipped: REASON"
    bool bFailed = false;      // skipped for a failure: the page could not be repaired
    bool bWouldChange = false; // a dry run found references to repair
};

// The open page as it was read, to tell whether another program has touched
// it since. Under a write lease the kernel tells of any open by another
// program: it breaks the lease (sending the lease-break signal, which
// halvok-repair ignores) and from then on reports the lease as being given
// up. Without a lease (a page of another owner, a file system without
// leases) a change shows in the page's size and times.
struct PageWatch {
    int fd;
    struct stat st; // as read
    bool bLease;    // a write lease is held on fd

    // Null while nobody has opened or changed the page, else the reason to
    // leave it. bCtime: whether the change time counts (a rename of the page
    // sets it).
    const char* Touched(bool bCtime = true) const;
};

class PageRepairer {
  public:
    // In a dry run nothing is written: Repair reports what would change.
    explicit PageRepairer(bool bDryRun) : m_bDryRun(bDryRun) {}
    ~PageRepairer();
    PageRepairer(const PageRepairer&) = delete;
    PageRepairer& operator=(const PageRepairer&) = delete;

    // Repairs the page at pszPath. A page named on the command line is
    // followed if it is a symbolic link (bFollowLink); a page found in a
    // folder scan must be the regular file its path names. In a dry run a
    // page that would change gives "rewritten: N references".
    //
    // A page is skipped, as a failure, when it cannot be opened or read,
    // when another program holds a lock on it (flock, or a POSIX or
    // open-file-description lock through fcntl or lockf), or when, where the
    // system grants this process a write lease, another program has it open.
    // A page that holds a zero byte is skipped too, but as handled: it is
    // left as it is on purpose.
    //
    // The new page goes to a new file in the page's folder, which takes the
    // page's owner, mode and extended attributes and then takes the page's
    // place. A page with more than one hard link, or whose new file cannot
    // be made, given the page's owner and attributes, or put in its place,
    // is written over in place; when that fails, its original bytes are
    // written back. Either way, a page whose path names another file by the
    // time it is written back (saved by rename meanwhile), or that another
    // program opened meanwhile (seen through the lease), is skipped and the
    // file the path names is left alone.
    PageOutcome Repair(const char* pszPath, bool bFollowLink);

  private:
    enum class Replace { Done, NotPossible, Failed };
    // *pTarget: the path to replace, looked up again right before the swap.
    Replace ReplaceByNewFile(const PageWatch& watch, const char* pszPath, bool bFollowLink,
                             std::string* pTarget, PageOutcome* pOutcome);
    PageOutcome WriteInPlace(int fd, size_t cbOld);

    bool m_bDryRun;
    // The page as read, and the pieces of the new one: kept from page to
    // page, so that a run over many pages allocates them once.
    char* m_page = nullptr;
    size_t m_capacity = 0;
    PagePieces m_pieces;
};
