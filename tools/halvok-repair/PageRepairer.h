// One page's repair for halvok-repair: read whole while no other program
// holds it, rewritten, and written back whole or not at all.
#pragma once

#include "tools/halvok-repair/PagePieces.h"

#include <cstddef>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

// What became of one page, for its line and the exit status.
struct PageOutcome {
    std::string text;          // "rewritten", "unchanged" or "skipped: REASON"
    bool bFailed = false;      // skipped for a failure: the page could not be repaired
    bool bWouldChange = false; // a dry run found references to repair
};

// Where a page lies: its name in a folder that the run opened when it began.
// Everything the repair opens, makes or removes is reached through dirfd,
// so that a folder moved, or swapped for a link, meanwhile leads nowhere
// else.
struct PagePlace {
    int dirfd = -1;    // the page's folder; not owned
    std::string name;  // the page's name in it (no '/')
    std::string shown; // the folder as the lines name it: empty, or ending in '/'
};

// The open page as it was read, to tell whether another program has touched
// it since: one look for each moment of the write-back. Under a write lease
// the kernel tells of any open by another program: it breaks the lease
// (sending the lease-break signal, which halvok-repair ignores) and from
// then on reports the lease as being given up. Without a lease (a page of
// another owner, a file system without leases) a change shows in the
// page's size and times.
struct PageWatch {
    const PagePlace& place;
    int fd;
    struct stat st; // as read
    bool bLease;    // a write lease is held on fd

    // Before any write, swap or rename: the page's name still names it,
    // nobody opened it, and its size, modification time and change time
    // are as read (a change of mode, owner, links or attributes sets the
    // change time). Null, or the reason to leave the page.
    const char* Before() const;
    // Right after the new file newFd has taken the page's name by a swap
    // (which sets the page's change time): nobody opened the page, and its
    // size, modification time, mode, owner, link count and extended
    // attributes (those given to newFd) are as read. Null, or the reason to
    // put the page back.
    const char* AfterSwap(int newFd) const;
};

class PageRepairer {
  public:
    // In a dry run nothing is written: Repair reports what would change.
    explicit PageRepairer(bool bDryRun) : m_bDryRun(bDryRun) {}
    ~PageRepairer();
    PageRepairer(const PageRepairer&) = delete;
    PageRepairer& operator=(const PageRepairer&) = delete;

    // Repairs the page, which must be a regular file under its name (never
    // a link). In a dry run, which opens the page only to read it, a page
    // that would change gives "rewritten: N references".
    //
    // A page is skipped, as a failure, when it cannot be opened or read,
    // when another program holds a lock on it (flock, or a POSIX or
    // open-file-description lock through fcntl or lockf), when, where the
    // system grants this process a write lease, another program has it
    // open, or when the file that an in-place write keeps beside it
    // (.NAME.halvok-old) is there already: a run was stopped while writing
    // the page. A page that holds a zero byte is skipped too, but as
    // handled: it is left as it is on purpose.
    //
    // The new page goes to a new file in the page's folder, which takes the
    // page's owner, mode, extended attributes and inode flags and then takes
    // the page's place. A page with more than one hard link, or whose new
    // file cannot be made, given the page's owner and attributes, or put in
    // its place, is written over in place, its old bytes kept beside it (on
    // the disk) until the new ones are on the disk; when the write fails,
    // the old bytes are written back. Either way, a page that another
    // program touched meanwhile (PageWatch) is left as that program left
    // it, and no file another program made is removed.
    PageOutcome Repair(const PagePlace& page);

  private:
    enum class Replace { Done, NotPossible, Failed };
    Replace ReplaceByNewFile(const PageWatch& watch, PageOutcome* pOutcome);
    PageOutcome WriteInPlace(const PageWatch& watch);
    int PutBack(int fd, off_t cbOld, off_t cbAt);

    bool m_bDryRun;
    // The page as read, and the pieces of the new one: kept from page to
    // page, so that a run over many pages allocates them once.
    char* m_page = nullptr;
    size_t m_capacity = 0;
    PagePieces m_pieces;
};
