// PagePieces: the rewrite's sink for halvok-repair, and its gathering write.
#include "tools/halvok-repair/PagePieces.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <sys/uio.h>

namespace {

// The blocks live from page to page, so they may grow in large steps.
constexpr int32_t kIncrement = 1 << 16;

} // namespace

PagePieces::~PagePieces() {
    std::free(m_pieces);
    std::free(m_refs.data);
}

void PagePieces::Reset(const char* pPage) {
    m_page = pPage;
    m_count = 0;
    m_refs.used = 0;
    m_size = 0;
}

bool PagePieces::Add(int32_t at, int32_t cb, bool bRef) {
    if (m_count == m_capacity) {
        const int32_t capacity = m_capacity ? 2 * m_capacity : 1024;
        void* block = capacity < INT32_MAX / int32_t(sizeof(Piece))
                          ? std::realloc(m_pieces, size_t(capacity) * sizeof(Piece))
                          : nullptr;
        if (!block)
            return false;
        m_pieces = static_cast<Piece*>(block);
        m_capacity = capacity;
    }
    m_pieces[m_count++] = {at, cb, bRef};
    m_size += cb;
    return true;
}

bool PagePieces::Keep(const char* p, int32_t cb) {
    // Only an empty page has an empty stretch; a write takes no empty piece.
    return cb == 0 || Add(int32_t(p - m_page), cb, false);
}

// A failed append has freed the references' block: the next page starts a
// new one.
char* PagePieces::BeginReference(const char* pRaw, int32_t cbRaw) {
    char* room = BeginReferenceIn(&m_refs, pRaw, cbRaw, kIncrement, &m_refStart);
    if (!room)
        m_refs = GrowBuf();
    return room;
}

bool PagePieces::EndReference(const char* p, int32_t cb) {
    if (!EndReferenceIn(&m_refs, m_refStart, p, cb, kIncrement)) {
        m_refs = GrowBuf();
        return false;
    }
    return Add(m_refStart, cb, true);
}

int PagePieces::WriteTo(int fd) const {
    iovec iov[IOV_MAX];
    off_t offset = 0;
    for (int32_t first = 0; first < m_count;) {
        int n = 0;
        for (; n < IOV_MAX && first + n < m_count; ++n) {
            const Piece& piece = m_pieces[first + n];
            iov[n].iov_base = const_cast<char*>((piece.bRef ? m_refs.data : m_page) + piece.at);
            iov[n].iov_len = size_t(piece.cb);
        }
        first += n;
        // A short write leaves the rest of the batch to the next call.
        for (iovec* next = iov; n > 0;) {
            // No EINTR: halvok-repair's signal handlers restart the call.
            const ssize_t written = pwritev(fd, next, n, offset);
            if (written < 0)
                return errno;
            if (written == 0)
                return EIO;
            offset += written;
            for (size_t left = size_t(written); left > 0;) {
                if (left >= next->iov_len) {
                    left -= next->iov_len;
                    ++next;
                    --n;
                } else {
                    next->iov_base = static_cast<char*>(next->iov_base) + left;
                    next->iov_len -= left;
                    left = 0;
                }
            }
        }
    }
    return 0;
}
