// How a browser reads a saved page's references: the charset the page
// declares, its <base>, the tags and attributes around a reference, and the
// runs of %XX escapes in it, whose bytes spell UTF-8 or text in the ANSI
// code page. The page repair and halvok-repair --check read references
// through these functions alone, so that both read them alike.
#pragma once

#include <cstdint>

// Other: no declaration, or one of a charset not listed here.
enum class PageCharset { Other, Koi8r, Utf8, Cp1251 };

// The charset a browser reads the page in. A UTF-8 byte-order mark decides.
// Else the first <meta> before "</head" or "<body" (any letter case; the
// first 1024 bytes when the page has neither) that declares one: its
// charset attribute, quoted or not, or "charset=" inside the content of a
// meta whose http-equiv is Content-Type. Labels as browsers take them, in
// any letter case: utf-8 (utf8 and the like; a UTF-16 label too, which a
// browser reads as UTF-8 from a meta), koi8-r (koi8, koi8_r, koi, cskoi8r),
// windows-1251 (cp1251, x-cp1251); any other is Other. A page declaring
// nothing is Utf8 when all of it is well-formed UTF-8 with at least one
// multi-byte sequence (browsers recognise such a page), else Other.
PageCharset DetectPageCharset(const char* pPage, int32_t cbPage);

// Space, tab, line feed, form feed, carriage return.
bool IsHtmlBlank(char c);

// Whether the cb bytes at p are the ASCII text pszLower in any letter case.
bool EqualsNoCase(const char* p, int32_t cb, const char* pszLower);

// The first place in [p, end) where the ASCII text pszLower stands in any
// letter case, or end.
const char* FindNoCase(const char* p, const char* end, const char* pszLower);

// Finds the next start tag in [*pp, end), passing over comments, end tags
// and declarations. True with the tag's name ([*ppName, *ppName + *pcbName))
// and *pp right after the name, where its attributes begin; false at the end.
bool NextStartTag(const char** pp, const char* end, const char** ppName, int32_t* pcbName);

// One attribute of a start tag: its name, and its value between its quotes
// or unquoted (pValue null when it has no value).
struct MarkupAttribute {
    const char* pName;
    int32_t cbName;
    const char* pValue;
    int32_t cbValue;
};

// Reads the attribute at *pp (inside a start tag, after its name) as a
// browser does; *pp moves past it. False at the tag's end ('>', which *pp
// then points past) or the page's end. A quoted value without its closing
// quote runs to the page's end.
bool NextMarkupAttribute(const char** pp, const char* end, MarkupAttribute* pAttr);

// Whether the address leads away from the page's folder by itself: after
// any leading blanks and control characters (tabs and new lines count
// nowhere), it starts with a scheme ("http:", "ftp:", "file:", a drive
// letter "C:") or a host ("//", "\\" and their mixes).
bool IsAddressElsewhere(const char* p, int32_t cb);

// The href of the page's first <base> that has one; null when there is none.
struct PageBase {
    const char* pHref = nullptr;
    int32_t cbHref = 0;
};
PageBase FindPageBase(const char* pPage, int32_t cbPage);

// One piece of a reference: bytes as the page writes them, or a run of
// consecutive %XX escapes, each decoded by the reading's rules.
struct ReferencePiece {
    const char* p;
    int32_t cb;
    bool bRun;
};

// The rules for escapes: a run takes an escape of two hex digits (upper-case
// only, or either case), of a byte that is not zero and not in pszKeep (a
// set of non-zero bytes whose escapes stay as written, part of the bytes
// around the runs).
struct EscapeRules {
    const char* pszKeep;
    bool bAnyCaseHex;
};

// The next piece of the reference [*pp, end); *pp moves past it. False at
// the end.
bool NextReferencePiece(const char** pp, const char* end, const EscapeRules& rules,
                        ReferencePiece* pPiece);

// Decodes the run of escapes [p, p + cb) (each one a valid escape, hex
// digits of either case) into pOut, cb / 3 bytes and a zero byte; returns
// the number of bytes.
int32_t DecodeRun(const char* p, int32_t cb, char* pOut);

// What the bytes of a run of escapes spell: ASCII only, well-formed UTF-8
// with a multi-byte sequence (as current browsers escape names), or else
// text in the ANSI code page (Windows-1251 on the systems the tool is made
// for, as older browsers escaped names).
enum class RunSpelling { Ascii, Utf8, Ansi };
RunSpelling SpellingOfRun(const char* pBytes, int32_t cb);

// Rewrites the decoded run psz (cb bytes, NUL-terminated, no zero byte) in
// place as text in charset, for a page of that charset; psz has room for
// 3 * cb + 1 bytes. Returns the new length, or -1 when the run cannot be
// written in that charset and must stay escaped: a character the charset
// lacks, UTF-8 on a page of an unknown charset (Other), which cannot be
// known to hold it, or a conversion that failed. ASCII stays as it is. An ANSI run is converted to
// UTF-8 (through the system's code page), translated to KOI8-R (where each byte has a KOI8-R letter
// or sign), or kept as its bytes on a Windows-1251 page and on any other (the system's code page is
// taken to be the page's).
int32_t SpellRunIn(PageCharset charset, char* psz, int32_t cb);
