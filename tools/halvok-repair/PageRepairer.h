// One page's repair for halvok-repair: read whole under an exclusive lock,
// rewritten, and written back whole or not at all.
#pragma once

#include "tools/halvok-repair/PagePieces.h"

#include <cstddef>
#include <string>

#include <sys/stat.h>

class PageRepairer {
  public:
    // In a dry run nothing is written: Repair reports what would change.
    explicit PageRepairer(bool bDryRun) : m_bDryRun(bDryRun) {}
    ~PageRepairer();
    PageRepairer(const PageRepairer&) = delete;
    PageRepairer& operator=(const PageRepairer&) = delete;

    // Repairs the page at pszPath and returns what became of it, for its
    // line: "rewritten", "unchanged" or "skipped: REASON". In a dry run a
    // page that would change gives "rewritten: N references" and sets
    // *pbWouldChange (which is false otherwise).
    //
    // The new page goes to a new file in the page's folder, which takes the
    // page's owner, mode and extended attributes and then replaces it (the
    // page's links are followed to the file they name). A page with more
    // than one hard link, or whose new file cannot be made, given the
    // page's owner and attributes, or put in its place, is written over in
    // place; when that fails, its original bytes are written back.
    std::string Repair(const char* pszPath, bool* pbWouldChange);

  private:
    enum class Replace { Done, Failed, NotPossible };
    Replace ReplaceByNewFile(int fd, const struct stat& st, const char* pszPath, int* pErr);
    std::string WriteInPlace(int fd, size_t cbOld);

    bool m_bDryRun;
    // The page as read, and the pieces of the new one: kept from page to
    // page, so that a run over many pages allocates them once.
    char* m_page = nullptr;
    size_t m_capacity = 0;
    PagePieces m_pieces;
};
