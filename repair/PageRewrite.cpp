// The saved-page rewrite: the repair of the references into the page's folder.
#include "repair/PageRewrite.h"

#include "repair/Codecs.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The output grows in steps of 32 KiB.
constexpr int32_t kPageIncrement = 0x8000;

// First occurrence of the needle in [p, end), or null.
const char* FindBytes(const char* p, const char* end, const char* needle, size_t cbNeedle) {
    while (static_cast<size_t>(end - p) >= cbNeedle) {
        const void* hit = std::memchr(p, needle[0], static_cast<size_t>(end - p) - cbNeedle + 1);
        if (!hit)
            return nullptr;
        p = static_cast<const char*>(hit);
        if (std::memcmp(p + 1, needle + 1, cbNeedle - 1) == 0)
            return p;
        ++p;
    }
    return nullptr;
}

// Last double quote in [lo, hi), or null.
const char* FindQuoteBackward(const char* lo, const char* hi) {
    while (hi > lo)
        if (*--hi == '"')
            return hi;
    return nullptr;
}

// Escapes that stay as written in a reference: decoded, a '"' would end the
// attribute, a '#' start a fragment, a '?' a query, a '&' a character
// reference ("x&copy.png" reads as the copyright sign), a '%' be decoded
// once more, and a control byte (a tab, a new line) be dropped from the
// address. Each names another file than the escape did.
const char kKeptEscapes[] = "\"#%&?\x7F"
                            "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                            "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F";

// Outside a value that holds one address, the escapes of the characters
// that end or split a value (blanks, quotes, '=', '`'), an address in a
// list or a style ('(', ')', ','), or that would make markup of text ('<',
// '>') stay as written too.
const char kKeptInLists[] = "\"#%&?\x7F"
                            "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                            "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F"
                            " '=`(),<>";

// Characters that end an address in a list, a style or a script.
bool IsAddressDelimiter(char c) {
    return IsHtmlBlank(c) || c == ',' || c == '(' || c == ')' || c == '\'' || c == '=' || c == ';';
}

// Whether the attribute's double-quoted value is read by browsers as one
// address, in which an escaped blank belongs to the name.
bool IsOneAddressAttribute(const char* p, int32_t cb) {
    static const char* const kNames[] = {
        "src",    "href",     "background", "poster",     "data",       "action",
        "cite",   "longdesc", "codebase",   "formaction", "icon",       "manifest",
        "lowsrc", "dynsrc",   "usemap",     "classid",    "xlink:href",
    };
    for (const char* name : kNames) {
        if (EqualsNoCase(p, cb, name))
            return true;
    }
    return false;
}

// The name of the attribute whose value the double quote at pOpen opens:
// the name before an '=' and blanks; cb 0 when the quote opens no
// attribute's value. Never looks below lo.
void AttributeBefore(const char* lo, const char* pOpen, const char** ppName, int32_t* pcbName) {
    const char* q = pOpen;
    while (q > lo && IsHtmlBlank(q[-1]))
        --q;
    *pcbName = 0;
    if (q == lo || q[-1] != '=')
        return;
    --q;
    while (q > lo && IsHtmlBlank(q[-1]))
        --q;
    const char* nameEnd = q;
    while (q > lo && !IsHtmlBlank(q[-1]) && q[-1] != '"' && q[-1] != '\'' && q[-1] != '<' &&
           q[-1] != '>' && q[-1] != '/' && q[-1] != '=')
        --q;
    *ppName = q;
    *pcbName = int32_t(nameEnd - q);
}

// Whether the stretch [p, end) must stay whole: a '%' starts no escape the
// repair decodes (two upper-case hex digits inside the stretch), so that
// decoding around it could make a new escape of it ("%%34%31" would become
// "%41", which the browser decodes once more), or an escape is %00, which
// would end the text. *pbRun: whether it holds an escape to decode.
bool MustStayWhole(const char* p, const char* end, const char* pszKeep, bool* pbRun) {
    *pbRun = false;
    for (; p < end; ++p) {
        if (*p != '%')
            continue;
        // 0 stands for no escape, as for %00: the stretch stays whole either way.
        const int32_t value = end - p < 3 ? 0 : HexPairValue(p + 1);
        if (value <= 0)
            return true;
        *pbRun = *pbRun || !IsKeptEscape(pszKeep, value);
        p += 2;
    }
    return false;
}

// The spellings under which the page names its folder's suffix: the suffix
// itself as the page's charset writes it, and its UTF-8 escapes (upper-case
// digits) when it is not ASCII. Each is searched once from each place
// onwards, so the search stays linear in the page's size.
class SuffixSearch {
  public:
    SuffixSearch(const char* pszSuffix, PageCharset charset, const char* pPage, const char* end)
        : m_end(end) {
        const size_t cb = std::strlen(pszSuffix);
        bool bAscii = true;
        for (size_t i = 0; i < cb; ++i)
            bAscii = bAscii && static_cast<unsigned char>(pszSuffix[i]) < 0x80;
        // Room for the suffix in the page's charset (3 * cb + 1 bytes, as
        // SpellRunIn needs) and for its escapes; without it, as it is given.
        if (!bAscii)
            m_block.reset(static_cast<char*>(std::malloc(6 * cb + 1)));
        if (!m_block) {
            Add(pszSuffix, cb, pPage);
            return;
        }
        char* raw = m_block.get();
        std::memcpy(raw, pszSuffix, cb + 1);
        const int32_t cbRaw = SpellRunIn(charset, raw, int32_t(cb));
        if (cbRaw > 0)
            Add(raw, size_t(cbRaw), pPage);
        char* escaped = raw + 3 * cb + 1;
        size_t cbEscaped = 0;
        for (size_t i = 0; i < cb; ++i) {
            static const char kHex[] = "0123456789ABCDEF";
            const unsigned char c = static_cast<unsigned char>(pszSuffix[i]);
            if (c < 0x80) {
                escaped[cbEscaped++] = char(c);
            } else {
                escaped[cbEscaped++] = '%';
                escaped[cbEscaped++] = kHex[c >> 4];
                escaped[cbEscaped++] = kHex[c & 15];
            }
        }
        Add(escaped, cbEscaped, pPage);
    }

    // The first spelling at or after p, or null; *pcb gets its length.
    const char* Next(const char* p, int32_t* pcb) {
        const char* first = nullptr;
        for (int i = 0; i < m_count; ++i) {
            Spelling& s = m_spellings[i];
            if (s.hit && s.hit < p)
                s.hit = FindBytes(p, m_end, s.text, s.cb);
            if (s.hit && (!first || s.hit < first)) {
                first = s.hit;
                *pcb = int32_t(s.cb);
            }
        }
        return first;
    }

  private:
    void Add(const char* text, size_t cb, const char* pPage) {
        if (cb == 0)
            return;
        Spelling& s = m_spellings[m_count++];
        s.text = text;
        s.cb = cb;
        s.hit = FindBytes(pPage, m_end, text, cb);
    }

    struct Spelling {
        const char* text;
        size_t cb;
        const char* hit; // its next place; null when there is none
    };
    const char* const m_end;
    std::unique_ptr<char, MallocDeleter> m_block;
    Spelling m_spellings[2] = {};
    int m_count = 0;
};

// Repairs the stretch between the double quotes at open and close (lo: no
// byte below it belongs to the stretch's attribute). 1 when it changed, 0
// when it stays as it is, -1 when memory ran out. *pCopy is the first byte
// not yet in the output.
int RepairStretch(const char* lo, const char* open, const char* close, PageCharset charset,
                  PageSink* pSink, const char** pCopy) {
    const char* const p = open + 1;
    const int32_t cb = int32_t(close - p);
    if (std::memchr(p, '<', size_t(cb)) || std::memchr(p, '>', size_t(cb)))
        return 0;
    const char* name = nullptr;
    int32_t cbName;
    AttributeBefore(lo, open, &name, &cbName);
    const bool bOneAddress = IsOneAddressAttribute(name, cbName);
    const EscapeRules rules = {bOneAddress ? kKeptEscapes : kKeptInLists, false};
    bool bRun;
    if ((bOneAddress && IsAddressElsewhere(p, cb)) ||
        MustStayWhole(p, close, rules.pszKeep, &bRun) || !bRun)
        return 0;

    // The stretch up to and including the opening quote, then the stretch
    // rewritten in the sink's room: no piece grows, so the room holds it.
    char* room;
    if (!pSink->Keep(*pCopy, int32_t(p - *pCopy)) || !(room = pSink->BeginReference(p, cb)))
        return -1;
    int32_t w = 0;
    bool bChanged = false;
    // In a stretch that is not one address, the address a run belongs to
    // starts after the last delimiter; whether it leads elsewhere is judged
    // once per address.
    const char* address = p;
    int elsewhere = -1; // not yet judged
    ReferencePiece piece;
    for (const char* q = p; NextReferencePiece(&q, close, rules, &piece);) {
        char* out = room + w;
        if (piece.bRun) {
            if (!bOneAddress && elsewhere < 0)
                elsewhere = IsAddressElsewhere(address, int32_t(piece.p - address));
            if (bOneAddress || !elsewhere) {
                std::memcpy(out, piece.p, size_t(piece.cb));
                out[piece.cb] = '\0';
                PercentDecode(out, rules.pszKeep);
                const int32_t cbRun = int32_t(std::strlen(out));
                const bool bAnsi = SpellingOfRun(out, cbRun) == RunSpelling::Ansi;
                const int32_t n = SpellRunIn(charset, out, cbRun);
                if (n >= 0) {
                    w += n;
                    bChanged = true;
                    continue;
                }
                // Escaped bytes that are not UTF-8 make a browser read the
                // whole path in the ANSI code page: letters of other runs
                // written beside them would be read wrongly. All stay.
                if (bAnsi) {
                    bChanged = false;
                    std::memcpy(room, p, size_t(cb));
                    w = cb;
                    break;
                }
            }
        } else if (!bOneAddress) {
            for (const char* c = piece.p + piece.cb; c > piece.p; --c) {
                if (IsAddressDelimiter(c[-1])) {
                    address = c;
                    elsewhere = -1;
                    break;
                }
            }
        }
        std::memcpy(out, piece.p, size_t(piece.cb));
        w += piece.cb;
    }
    if (!pSink->EndReference(room, w))
        return -1;
    *pCopy = close;
    return bChanged ? 1 : 0;
}
} // namespace

char* BeginReferenceIn(GrowBuf* pBuf, const char* pRaw, int32_t cbRaw, int32_t increment,
                       int32_t* pStart) {
    if (!GrowBufAppend(pBuf, pRaw, cbRaw, increment))
        return nullptr;
    *pStart = pBuf->used - cbRaw;
    pBuf->data[pBuf->used] = '\0'; // inside the block: used < capacity
    return pBuf->data + *pStart;
}

bool EndReferenceIn(GrowBuf* pBuf, int32_t start, const char* p, int32_t cb, int32_t increment) {
    if (p == pBuf->data + start) {
        pBuf->used = start + cb;
        return true;
    }
    pBuf->used = start;
    return GrowBufAppend(pBuf, p, cb, increment) != 0;
}

namespace {

// The rewrite's output as one block that grows in fixed 32 KiB steps: each
// reference is appended raw right after the stretch before it and decoded
// where it lies.
class GrowBufSink final : public PageSink {
  public:
    bool Keep(const char* p, int32_t cb) override {
        return GrowBufAppend(&m_out.buf, p, cb, kPageIncrement) != 0;
    }
    char* BeginReference(const char* pRaw, int32_t cbRaw) override {
        return BeginReferenceIn(&m_out.buf, pRaw, cbRaw, kPageIncrement, &m_refStart);
    }
    bool EndReference(const char* p, int32_t cb) override {
        return EndReferenceIn(&m_out.buf, m_refStart, p, cb, kPageIncrement);
    }

    // Hands the block to the caller.
    GrowBuf Release() {
        const GrowBuf buf = m_out.buf;
        m_out.buf = GrowBuf();
        return buf;
    }

  private:
    GrowBufOwner m_out;
    int32_t m_refStart = 0;
};

} // namespace

PageRepair RewriteSavedPageInto(const char* pPage, int32_t cbPage, PageSink* pSink,
                                int32_t* pcRepaired, const char* pszFolderSuffix) {
    int32_t cRepaired = 0;
    if (pcRepaired)
        *pcRepaired = 0;
    if (cbPage < 0)
        return PageRepair::Leave;
    // A zero byte would end the text early and lose what follows it (a page
    // stored in UTF-16, for one): such a page is not touched.
    if (cbPage > 0 && std::memchr(pPage, 0, static_cast<size_t>(cbPage)))
        return PageRepair::ZeroByte;

    const char* const end = pPage + cbPage;
    const char* copy = pPage; // first byte not yet in the output
    // Under a <base> that leads elsewhere every reference is the web's.
    const PageBase base = FindPageBase(pPage, cbPage);
    if (!base.pHref || !IsAddressElsewhere(base.pHref, base.cbHref)) {
        const PageCharset charset = DetectPageCharset(pPage, cbPage);
        SuffixSearch search(pszFolderSuffix, charset, pPage, end);
        const char* low = pPage; // no opening quote of a later reference lies before this
        int32_t cbHit = 0;
        for (const char* hit = search.Next(pPage, &cbHit); hit; hit = search.Next(hit, &cbHit)) {
            const char* open = FindQuoteBackward(low, hit);
            if (!open) {
                // No quote before it: later occurrences need not look back here.
                low = hit;
                hit += cbHit;
                continue;
            }
            const char* close = static_cast<const char*>(
                std::memchr(hit + cbHit, '"', size_t(end - (hit + cbHit))));
            if (!close)
                break; // no quote after it, nor after any later occurrence
            // The next occurrence is searched from the closing quote, so a
            // second folder suffix inside this stretch is not handled again.
            const int repaired = RepairStretch(low, open, close, charset, pSink, &copy);
            if (repaired < 0)
                return PageRepair::Leave;
            cRepaired += repaired;
            low = close;
            hit = close;
        }
    }

    if (!pSink->Keep(copy, int32_t(end - copy)))
        return PageRepair::Leave;
    if (pcRepaired)
        *pcRepaired = cRepaired;
    return cRepaired ? PageRepair::Rewritten : PageRepair::Unchanged;
}
PageRepair RewriteSavedPage(const char* pPage, int32_t cbPage, GrowBuf* pOut, int32_t* pcRepaired,
                            const char* pszFolderSuffix) {
    *pOut = GrowBuf();
    GrowBufSink sink;
    const PageRepair result =
        RewriteSavedPageInto(pPage, cbPage, &sink, pcRepaired, pszFolderSuffix);
    if (result == PageRepair::Unchanged || result == PageRepair::Rewritten)
        *pOut = sink.Release();
    return result;
}
