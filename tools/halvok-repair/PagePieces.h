// The rewritten page as a list of pieces for one gathering write: stretches
// of the page, which stay where they were read, and the repaired references,
// kept back to back in one block. No copy of the whole page is made.
#pragma once

#include "repair/GrowBuf.h"
#include "repair/PageRewrite.h"

#include <cstdint>

class PagePieces final : public PageSink {
  public:
    PagePieces() = default;
    ~PagePieces();
    PagePieces(const PagePieces&) = delete;
    PagePieces& operator=(const PagePieces&) = delete;

    // Empties the list for a rewrite of the page at pPage, which must stay
    // where it is until the pieces are written. The blocks are kept, so a
    // run over many pages allocates them once.
    void Reset(const char* pPage);

    bool Keep(const char* p, int32_t cb) override;
    char* BeginReference(const char* pRaw, int32_t cbRaw) override;
    bool EndReference(const char* p, int32_t cb) override;

    // The length of the new page.
    int64_t Size() const { return m_size; }

    // Writes the new page into fd from offset 0 on, without cutting the
    // file. 0, or the errno of the write that failed.
    int WriteTo(int fd) const;

  private:
    struct Piece {
        int32_t at; // offset in the page, or in m_refs for a reference
        int32_t cb;
        bool bRef;
    };
    bool Add(int32_t at, int32_t cb, bool bRef);

    const char* m_page = nullptr;
    Piece* m_pieces = nullptr; // from malloc; doubles when full
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    GrowBuf m_refs; // the references' bytes
    int32_t m_refStart = 0;
    int64_t m_size = 0;
};
