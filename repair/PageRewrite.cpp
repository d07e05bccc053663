// The saved-page rewrite: charset detection and reference repair.
#include "repair/PageRewrite.h"

#include "repair/Codecs.h"

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

bool EqualsIgnoreCase(const char* p, size_t len, const char* pszAscii) {
    if (std::strlen(pszAscii) != len)
        return false;
    for (size_t i = 0; i < len; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != pszAscii[i])
            return false;
    }
    return true;
}

// Escapes that stay as written in a reference: decoded, a '"' would end the
// attribute, a '#' start a fragment, a '?' a query, a '&' a character
// reference ("x&copy.png" reads as the copyright sign), a '%' be decoded
// once more, and a control byte (a tab, a new line) be dropped from the
// address. Each names another file than the escape did.
const char kKeptEscapes[] = "\"#%&?\x7F"
                            "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                            "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F";

// What PercentDecode(ref, kKeptEscapes) would make of [p, end): whether it
// decodes an escape (*pbEscape), and whether the reference must stay whole
// (the result): one escape gives a zero byte, or a '%' starts no escape the
// decoder takes, so that decoding around it could make a new escape of it
// ("%%34%31" would become "%41", which the browser decodes once more).
bool ScanEscapes(const char* p, const char* end, bool* pbEscape) {
    *pbEscape = false;
    for (; p < end; ++p) {
        if (*p != '%')
            continue;
        // Both digits must lie inside the reference; 0 stands for no escape
        // as for %00: the reference stays whole either way.
        const int32_t value = end - p < 3 ? 0 : HexPairValue(p + 1);
        if (value <= 0)
            return true;
        *pbEscape = *pbEscape || !IsKeptEscape(kKeptEscapes, value);
        p += 2;
    }
    return false;
}

} // namespace

PageCharset DetectPageCharset(const char* pPage, int32_t cbPage) {
    const char* end = pPage + cbPage;
    const char* charset = FindBytes(pPage, end, "charset", 7);
    if (!charset)
        return PageCharset::Other;
    const char* head = FindBytes(pPage, end, "</head>", 7);
    if (!head || charset >= head)
        return PageCharset::Other;
    const char* eq = static_cast<const char*>(std::memchr(charset, '=', size_t(end - charset)));
    if (!eq)
        return PageCharset::Other;
    const char* value = eq + 1;
    const char* valueEnd = value;
    while (valueEnd < end && *valueEnd != '"' && *valueEnd != ';')
        ++valueEnd;
    if (valueEnd == end)
        return PageCharset::Other;
    while (value < valueEnd && (*value == ' ' || *value == '\t'))
        ++value;
    while (valueEnd > value && (valueEnd[-1] == ' ' || valueEnd[-1] == '\t'))
        --valueEnd;
    const size_t len = static_cast<size_t>(valueEnd - value);
    if (EqualsIgnoreCase(value, len, "koi8-r"))
        return PageCharset::Koi8r;
    if (EqualsIgnoreCase(value, len, "utf-8"))
        return PageCharset::Utf8;
    return PageCharset::Other;
}

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

    const PageCharset charset = DetectPageCharset(pPage, cbPage);
    const int32_t cbSuffix = int32_t(std::strlen(pszFolderSuffix));
    const char* const end = pPage + cbPage;
    const char* copy = pPage; // first byte not yet in the output
    const char* low = pPage;  // no opening quote of a later reference lies before this

    for (const char* hit = FindBytes(pPage, end, pszFolderSuffix, cbSuffix); hit;
         hit = FindBytes(hit, end, pszFolderSuffix, cbSuffix)) {
        const char* open = FindQuoteBackward(low, hit);
        if (!open) {
            // No quote before it: later occurrences need not look back here.
            low = hit;
            hit += cbSuffix;
            continue;
        }
        const char* close = static_cast<const char*>(
            std::memchr(hit + cbSuffix, '"', size_t(end - (hit + cbSuffix))));
        if (!close)
            break; // no quote after it, nor after any later occurrence
        // The next occurrence is searched from the closing quote, so a second
        // folder suffix inside this reference is not handled again.
        low = close;
        hit = close;

        bool bEscape;
        if (ScanEscapes(open + 1, close, &bEscape) || !bEscape)
            continue; // stays as it stands; copied with the next stretch

        // The stretch up to and including the opening quote, then the
        // reference, decoded in the sink's room.
        char* ref;
        if (!pSink->Keep(copy, int32_t(open + 1 - copy)) ||
            !(ref = pSink->BeginReference(open + 1, int32_t(close - (open + 1)))))
            return PageRepair::Leave;
        PercentDecode(ref, kKeptEscapes);
        const int32_t cbRef = static_cast<int32_t>(std::strlen(ref));

        std::unique_ptr<char, MallocDeleter> utf8;
        if (charset == PageCharset::Koi8r)
            Win1251ToKoi8(ref);
        else if (charset == PageCharset::Utf8 && !IsMultiByteUtf8(ref, cbRef))
            utf8.reset(AnsiToUtf8(ref)); // on failure the decoded bytes stay
        if (!(utf8 ? pSink->EndReference(utf8.get(), int32_t(std::strlen(utf8.get())))
                   : pSink->EndReference(ref, cbRef)))
            return PageRepair::Leave;
        copy = close;
        ++cRepaired;
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
