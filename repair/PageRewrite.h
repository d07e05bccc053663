// The rewrite of a saved page: its percent-escaped references into its
// folder ("_files", or the suffix of the folder that is really there) become
// literal names in the charset the page declares.
// Bytes in, bytes out; reading and writing the file is the caller's part.
#pragma once

#include "repair/GrowBuf.h"

#include <cstdint>

enum class PageCharset { Other, Koi8r, Utf8 };

// The charset that the page declares: the unquoted value after the first
// "charset" (which must come before the first "</head>"), up to the next
// double quote or semicolon, spaces and tabs trimmed, "koi8-r" or "utf-8"
// in any letter case. Anything else counts as Other.
PageCharset DetectPageCharset(const char* pPage, int32_t cbPage);

enum class PageRepair {
    Leave,     // write nothing back: memory ran out
    ZeroByte,  // write nothing back: the page holds a zero byte, left as it is on purpose
    Unchanged, // no reference needed repair; the output equals the page
    Rewritten, // at least one reference was repaired
};

// Where the rewrite puts the new page: piece by piece, in order.
class PageSink {
  public:
    // cb bytes of the page that go out as they are; p points into the page.
    // False when memory ran out: the rewrite stops with Leave.
    virtual bool Keep(const char* p, int32_t cb) = 0;
    // Room holding a copy of the cbRaw bytes of a reference followed by a
    // zero byte, in which the rewrite decodes the reference; null when
    // memory ran out. Valid until the next call on the sink.
    virtual char* BeginReference(const char* pRaw, int32_t cbRaw) = 0;
    // The reference's new bytes: either the decoded text in the room
    // (p is the room, cb its new length) or a converted text elsewhere,
    // which the sink copies. False when memory ran out.
    virtual bool EndReference(const char* p, int32_t cb) = 0;

  protected:
    ~PageSink() = default;
};

// PageSink's BeginReference and EndReference for a sink that keeps the
// references at the end of a block growing in steps of increment: the room
// is appended there (*pStart gets its offset), and the reference's new bytes
// end up in its place. Null or false when memory ran out; the block is then
// freed, as GrowBufAppend leaves it.
char* BeginReferenceIn(GrowBuf* pBuf, const char* pRaw, int32_t cbRaw, int32_t increment,
                       int32_t* pStart);
bool EndReferenceIn(GrowBuf* pBuf, int32_t start, const char* p, int32_t cb, int32_t increment);

// Rewrites the cbPage bytes at pPage (which are not modified and need no
// terminator) into pSink. For Unchanged and Rewritten the sink received the
// whole new page; otherwise it may hold part of one, to be discarded.
// *pcRepaired, when given, receives the number of references repaired (at
// least 1 exactly when the result is Rewritten, 0 otherwise).
//
// pszFolderSuffix is the text that names the page's folder in a reference:
// "_files", or another suffix of the table in FolderSuffix.h when the page's
// folder on disk has that one. Below, "_files" stands for it.
//
// Each "_files" outside the references already handled makes the text
// between the nearest double quotes around it a reference. An escape of
// '"', '#', '%', '&', '?' or a control byte (%22, %23, %25, %26, %3F,
// %01-%1F, %7F) stays as written: decoded, it would end the attribute or
// change the name the reference gives. A reference with at least one other
// %XX escape (upper-case digits) has those decoded; then, on a KOI8-R page,
// translated from Windows-1251 to KOI8-R; on a UTF-8 page, kept as decoded
// when the bytes already are UTF-8 with a multi-byte sequence, else
// converted from the ANSI code page to UTF-8. A reference that would decode
// to a zero byte, or that holds a '%' starting no such escape, and a
// "_files" with no double quote before or after it, stay as they are.
// Every other byte is copied unchanged and in order.
PageRepair RewriteSavedPageInto(const char* pPage, int32_t cbPage, PageSink* pSink,
                                int32_t* pcRepaired = nullptr,
                                const char* pszFolderSuffix = "_files");

// The same rewrite into a buffer that grows in steps of 32 KiB. For
// Unchanged and Rewritten, *pOut (which must start empty) receives the whole
// new page, pOut->used bytes; its data is null for an empty page. The caller
// frees pOut->data. Otherwise *pOut is left empty.
PageRepair RewriteSavedPage(const char* pPage, int32_t cbPage, GrowBuf* pOut,
                            int32_t* pcRepaired = nullptr,
                            const char* pszFolderSuffix = "_files");
