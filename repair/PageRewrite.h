// The rewrite of a saved page: its percent-escaped references into its
// folder ("_files", or the suffix of the folder that is really there) become
// literal names in the charset the page declares.
// Bytes in, bytes out; reading and writing the file is the caller's part.
#pragma once

#include "repair/GrowBuf.h"
#include "repair/ReferenceReading.h"

#include <cstdint>

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
// The page is read as ReferenceReading.h says (its charset, its <base>).
// Each "_files" outside the references already handled makes the text
// between the nearest double quotes around it a stretch of references; a
// suffix that is not ASCII is found as the page's charset writes it and as
// UTF-8 escapes. Nothing of the page changes when its <base> leads
// elsewhere (a scheme or a host: the browser asks the web for every
// reference). A stretch is left whole when it spans markup ('<' or '>'),
// holds a '%' starting no escape of two upper-case hex digits, or an escape
// of a zero byte. Escapes of '"', '#', '%', '&', '?' and of control bytes
// stay as written: decoded, they would end the attribute or change the
// name; outside a double-quoted value of an attribute that holds one
// address (src, href, ...), so do those of blanks, quotes, '=', '`', '(',
// ')', ',', '<' and '>', which would end or split the value or the address.
// Each run of consecutive other escapes is then written in the page's
// charset by SpellRunIn, or stays as written when it cannot be (when such a
// run spells text in the ANSI code page, every run of the stretch stays: a
// browser reads the whole path in that code page); in a stretch that is not
// one address, so does a run within an address that starts with a scheme or
// a host. The bytes that were not escaped are
// already in the page's charset and stay as they are. Every other byte is
// copied unchanged and in order, and the page never grows.
PageRepair RewriteSavedPageInto(const char* pPage, int32_t cbPage, PageSink* pSink,
                                int32_t* pcRepaired = nullptr,
                                const char* pszFolderSuffix = "_files");

// The same rewrite into a buffer that grows in steps of 32 KiB. For
// Unchanged and Rewritten, *pOut (which must start empty) receives the whole
// new page, pOut->used bytes; its data is null for an empty page. The caller
// frees pOut->data. Otherwise *pOut is left empty.
PageRepair RewriteSavedPage(const char* pPage, int32_t cbPage, GrowBuf* pOut,
                            int32_t* pcRepaired = nullptr, const char* pszFolderSuffix = "_files");
