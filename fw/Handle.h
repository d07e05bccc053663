// Owning wrappers for kernel handles: one non-copyable class per handle
// kind, each with its own "empty" value and closing call.
#pragma once

#include <windows.h>

template <class Traits>
class CHandleT {
public:
    CHandleT() = default;
    explicit CHandleT(HANDLE h) : m_h(h) {}
    ~CHandleT() { Close(); }
    CHandleT(const CHandleT&) = delete;
    CHandleT& operator=(const CHandleT&) = delete;

    bool IsValid() const { return m_h != Traits::Empty(); }
    HANDLE Get() const { return m_h; }
    void Close() {
        if (IsValid())
            Traits::Free(m_h);
        m_h = Traits::Empty();
    }
    // Closes the handle held, if any, and holds h.
    void Reset(HANDLE h) {
        Close();
        m_h = h;
    }
    // Gives the handle up to the caller, who closes it.
    HANDLE Detach() {
        HANDLE h = m_h;
        m_h = Traits::Empty();
        return h;
    }

private:
    HANDLE m_h = Traits::Empty();
};

struct CKernelHandleTraits {  // events, mutexes, threads, processes: NULL
    static HANDLE Empty() { return nullptr; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
struct CFileHandleTraits {    // CreateFile
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
struct CFindHandleTraits {    // FindFirstFile
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { FindClose(h); }
};

using CHandle = CHandleT<CKernelHandleTraits>;
using CFileHandle = CHandleT<CFileHandleTraits>;
using CFindHandle = CHandleT<CFindHandleTraits>;
