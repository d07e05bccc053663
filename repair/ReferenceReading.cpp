// The reading of a saved page's references that the repair and the audit
// share: charset declaration, <base>, markup, runs of escapes.
#include "repair/ReferenceReading.h"

#include "repair/AnsiCodePage.h"
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"

#include <cstring>
#include <memory>

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int HexValue(char c, bool bAnyCase) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (bAnyCase && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The charset a label names, as browsers take labels.
PageCharset CharsetOfLabel(const char* p, int32_t cb) {
    while (cb > 0 && IsHtmlBlank(*p))
        ++p, --cb;
    while (cb > 0 && IsHtmlBlank(p[cb - 1]))
        --cb;
    static const struct {
        const char* label;
        PageCharset charset;
    } kLabels[] = {
        {"utf-8", PageCharset::Utf8},
        {"utf8", PageCharset::Utf8},
        {"unicode-1-1-utf-8", PageCharset::Utf8},
        {"unicode11utf8", PageCharset::Utf8},
        {"unicode20utf8", PageCharset::Utf8},
        {"x-unicode20utf8", PageCharset::Utf8},
        // A meta cannot declare UTF-16 (the page would hold zero bytes):
        // browsers read UTF-8 instead.
        {"utf-16", PageCharset::Utf8},
        {"utf-16le", PageCharset::Utf8},
        {"utf-16be", PageCharset::Utf8},
        {"unicode", PageCharset::Utf8},
        {"koi8-r", PageCharset::Koi8r},
        {"koi8_r", PageCharset::Koi8r},
        {"koi8", PageCharset::Koi8r},
        {"koi", PageCharset::Koi8r},
        {"cskoi8r", PageCharset::Koi8r},
        {"windows-1251", PageCharset::Cp1251},
        {"cp1251", PageCharset::Cp1251},
        {"x-cp1251", PageCharset::Cp1251},
    };
    for (const auto& l : kLabels) {
        if (EqualsNoCase(p, cb, l.label))
            return l.charset;
    }
    return PageCharset::Other;
}

// The value after "charset=" in a meta's content, as browsers extract it:
// quoted, or up to a blank, a quote or a semicolon. Empty when there is none.
void ExtractCharset(const char* p, const char* end, const char** ppValue, int32_t* pcbValue) {
    *ppValue = nullptr;
    *pcbValue = 0;
    for (p = FindNoCase(p, end, "charset"); p < end; p = FindNoCase(p, end, "charset")) {
        p += 7;
        while (p < end && static_cast<unsigned char>(*p) <= ' ')
            ++p;
        if (p == end || *p != '=')
            continue;
        ++p;
        while (p < end && static_cast<unsigned char>(*p) <= ' ')
            ++p;
        const char quote = p < end && (*p == '"' || *p == '\'') ? *p++ : 0;
        const char* v = p;
        while (p < end && (quote ? *p != quote
                                 : static_cast<unsigned char>(*p) > ' ' && *p != '"' &&
                                       *p != '\'' && *p != ';'))
            ++p;
        if (quote && p == end)
            return; // the closing quote is missing
        *ppValue = v;
        *pcbValue = int32_t(p - v);
        return;
    }
}

// Where the declaration may stand: up to "</head" or "<body", whichever
// comes first; the first 1024 bytes of a page with neither.
const char* DeclarationEnd(const char* pPage, const char* end) {
    const char* head = FindNoCase(pPage, end, "</head");
    const char* body = FindNoCase(pPage, head, "<body");
    if (body < head)
        return body;
    if (head < end)
        return head;
    return end - pPage > 1024 ? pPage + 1024 : end;
}

// Whether the byte has a letter or sign of its own in KOI8-R: ASCII, the
// Cyrillic letters, Ё and ё, the no-break space, ©, the degree sign and the
// middle dot. Win1251ToKoi8 maps the other bytes to other characters.
bool HasKoi8Counterpart(unsigned char b) {
    return b < 0x80 || b >= 0xC0 || b == 0xA0 || b == 0xA8 || b == 0xA9 || b == 0xB0 || b == 0xB7 ||
           b == 0xB8;
}

// The Windows-1251 byte of a character, or -1 (control characters of the
// range 0x80 to 0x9F included: no name holds them).
int Cp1251ByteOf(uint32_t cp) {
    if (cp < 0x80)
        return int(cp);
    if (cp >= 0xA0) {
        for (int b = 0x80; b < 0x100; ++b) {
            if (Cp1251Unit(static_cast<unsigned char>(b)) == cp)
                return b;
        }
    }
    return -1;
}

} // namespace

bool IsHtmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

const char* FindNoCase(const char* p, const char* end, const char* pszLower) {
    const int32_t cb = int32_t(std::strlen(pszLower));
    for (; end - p >= cb; ++p) {
        if (LowerAscii(*p) == pszLower[0] && EqualsNoCase(p, cb, pszLower))
            return p;
    }
    return end;
}

bool EqualsNoCase(const char* p, int32_t cb, const char* pszLower) {
    for (int32_t i = 0; i < cb; ++i) {
        if (pszLower[i] == '\0' || LowerAscii(p[i]) != pszLower[i])
            return false;
    }
    return pszLower[cb] == '\0';
}

bool NextStartTag(const char** pp, const char* end, const char** ppName, int32_t* pcbName) {
    const char* p = *pp;
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        if (!p || end - p < 2)
            break;
        if (IsAsciiLetter(p[1])) {
            const char* name = ++p;
            while (p < end && !IsHtmlBlank(*p) && *p != '/' && *p != '>')
                ++p;
            *ppName = name;
            *pcbName = int32_t(p - name);
            *pp = p;
            return true;
        }
        if (end - p >= 4 && std::memcmp(p, "<!--", 4) == 0) {
            const char* close = FindNoCase(p + 4, end, "-->");
            p = close < end ? close + 3 : end;
        } else if (p[1] == '/' || p[1] == '!' || p[1] == '?') {
            const void* gt = std::memchr(p, '>', size_t(end - p));
            p = gt ? static_cast<const char*>(gt) + 1 : end;
        } else {
            ++p;
        }
    }
    *pp = end;
    return false;
}

bool NextMarkupAttribute(const char** pp, const char* end, MarkupAttribute* pAttr) {
    const char* p = *pp;
    while (p < end && (IsHtmlBlank(*p) || *p == '/'))
        ++p;
    if (p == end || *p == '>') {
        *pp = p < end ? p + 1 : end;
        return false;
    }
    // A name may begin with '=' (then it is part of the name).
    pAttr->pName = p++;
    while (p < end && !IsHtmlBlank(*p) && *p != '/' && *p != '>' && *p != '=')
        ++p;
    pAttr->cbName = int32_t(p - pAttr->pName);
    pAttr->pValue = nullptr;
    pAttr->cbValue = 0;
    const char* q = p;
    while (q < end && IsHtmlBlank(*q))
        ++q;
    if (q < end && *q == '=') {
        ++q;
        while (q < end && IsHtmlBlank(*q))
            ++q;
        if (q < end && (*q == '"' || *q == '\'')) {
            const char* close =
                static_cast<const char*>(std::memchr(q + 1, *q, size_t(end - q - 1)));
            pAttr->pValue = q + 1;
            p = close ? close : end;
            pAttr->cbValue = int32_t(p - pAttr->pValue);
            p = close ? close + 1 : end;
        } else {
            pAttr->pValue = q;
            while (q < end && !IsHtmlBlank(*q) && *q != '>')
                ++q;
            pAttr->cbValue = int32_t(q - pAttr->pValue);
            p = q;
        }
    }
    *pp = p;
    return true;
}

PageCharset DetectPageCharset(const char* pPage, int32_t cbPage) {
    if (cbPage >= 3 && std::memcmp(pPage, "\xEF\xBB\xBF", 3) == 0)
        return PageCharset::Utf8;
    const char* const region = DeclarationEnd(pPage, pPage + cbPage);
    const char* p = pPage;
    const char* name;
    int32_t cbName;
    while (NextStartTag(&p, region, &name, &cbName)) {
        if (!EqualsNoCase(name, cbName, "meta"))
            continue;
        bool bPragma = false;
        const char* label = nullptr;
        int32_t cbLabel = 0;
        bool bFromContent = false;
        MarkupAttribute a;
        while (NextMarkupAttribute(&p, region, &a)) {
            if (!a.pValue)
                continue;
            if (EqualsNoCase(a.pName, a.cbName, "http-equiv")) {
                bPragma = bPragma || EqualsNoCase(a.pValue, a.cbValue, "content-type");
            } else if (!label && EqualsNoCase(a.pName, a.cbName, "charset")) {
                label = a.pValue;
                cbLabel = a.cbValue;
            } else if (!label && EqualsNoCase(a.pName, a.cbName, "content")) {
                ExtractCharset(a.pValue, a.pValue + a.cbValue, &label, &cbLabel);
                bFromContent = true;
            }
        }
        if (label && cbLabel > 0 && (!bFromContent || bPragma))
            return CharsetOfLabel(label, cbLabel);
    }
    return IsMultiByteUtf8(pPage, cbPage) ? PageCharset::Utf8 : PageCharset::Other;
}

bool IsAddressElsewhere(const char* p, int32_t cb) {
    const char* end = p + cb;
    while (p < end && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    // Browsers drop tabs and new lines from an address wherever they stand.
    auto next = [&](const char* q) {
        while (q < end && (*q == '\t' || *q == '\n' || *q == '\r'))
            ++q;
        return q;
    };
    p = next(p);
    if (p < end && (*p == '/' || *p == '\\')) {
        const char* second = next(p + 1);
        return second < end && (*second == '/' || *second == '\\');
    }
    if (p == end || !IsAsciiLetter(*p))
        return false;
    for (p = next(p + 1); p < end; p = next(p + 1)) {
        if (*p == ':')
            return true;
        if (!IsAsciiLetter(*p) && !(*p >= '0' && *p <= '9') && *p != '+' && *p != '-' && *p != '.')
            return false;
    }
    return false;
}

PageBase FindPageBase(const char* pPage, int32_t cbPage) {
    const char* const end = pPage + cbPage;
    const char* p = pPage;
    const char* name;
    int32_t cbName;
    while (NextStartTag(&p, end, &name, &cbName)) {
        if (!EqualsNoCase(name, cbName, "base"))
            continue;
        MarkupAttribute a;
        while (NextMarkupAttribute(&p, end, &a)) {
            if (a.pValue && EqualsNoCase(a.pName, a.cbName, "href")) {
                PageBase base;
                base.pHref = a.pValue;
                base.cbHref = a.cbValue;
                return base;
            }
        }
    }
    return PageBase();
}

bool NextReferencePiece(const char** pp, const char* end, const EscapeRules& rules,
                        ReferencePiece* pPiece) {
    auto isRunEscape = [&](const char* q) {
        if (end - q < 3 || *q != '%')
            return false;
        const int hi = HexValue(q[1], rules.bAnyCaseHex), lo = HexValue(q[2], rules.bAnyCaseHex);
        return hi >= 0 && lo >= 0 && !IsKeptEscape(rules.pszKeep, hi * 16 + lo) && hi + lo > 0;
    };
    const char* p = *pp;
    if (p >= end)
        return false;
    const char* q = p;
    pPiece->bRun = isRunEscape(p);
    if (pPiece->bRun) {
        while (q < end && isRunEscape(q))
            q += 3;
    } else {
        do
            ++q;
        while (q < end && !isRunEscape(q));
    }
    pPiece->p = p;
    pPiece->cb = int32_t(q - p);
    *pp = q;
    return true;
}

int32_t DecodeRun(const char* p, int32_t cb, char* pOut) {
    int32_t n = 0;
    for (int32_t i = 0; i + 3 <= cb; i += 3)
        pOut[n++] = char(HexValue(p[i + 1], true) * 16 + HexValue(p[i + 2], true));
    pOut[n] = '\0';
    return n;
}

RunSpelling SpellingOfRun(const char* pBytes, int32_t cb) {
    if (IsMultiByteUtf8(pBytes, cb))
        return RunSpelling::Utf8;
    for (int32_t i = 0; i < cb; ++i) {
        if (static_cast<unsigned char>(pBytes[i]) >= 0x80)
            return RunSpelling::Ansi;
    }
    return RunSpelling::Ascii;
}

int32_t SpellRunIn(PageCharset charset, char* psz, int32_t cb) {
    const RunSpelling spelling = SpellingOfRun(psz, cb);
    if (spelling == RunSpelling::Ascii)
        return cb;
    if (spelling == RunSpelling::Ansi) {
        if (charset == PageCharset::Koi8r) {
            for (int32_t i = 0; i < cb; ++i) {
                if (!HasKoi8Counterpart(static_cast<unsigned char>(psz[i])))
                    return -1;
            }
            Win1251ToKoi8(psz);
        } else if (charset == PageCharset::Utf8) {
            const std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(psz));
            const size_t len = utf8 ? std::strlen(utf8.get()) : 0;
            if (!utf8 || len > 3 * size_t(cb))
                return -1; // no conversion: the escapes stay
            std::memcpy(psz, utf8.get(), len + 1);
            return int32_t(len);
        }
        return cb;
    }
    if (charset == PageCharset::Utf8)
        return cb;
    if (charset == PageCharset::Other)
        return -1;
    // UTF-8 to Windows-1251 or KOI8-R: each character becomes one byte, so
    // the text is rewritten in place from its start.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(psz);
    int32_t n = 0;
    for (int32_t i = 0; i < cb;) {
        uint32_t cp = s[i];
        int32_t len = cp < 0x80 ? 1 : cp < 0xE0 ? 2 : cp < 0xF0 ? 3 : 4;
        if (len > 1)
            cp &= 0x3F >> (len - 1);
        for (int32_t k = 1; k < len; ++k)
            cp = cp << 6 | (s[i + k] & 0x3F);
        const int b = Cp1251ByteOf(cp);
        if (b < 0 ||
            (charset == PageCharset::Koi8r && !HasKoi8Counterpart(static_cast<unsigned char>(b))))
            return -1;
        psz[n++] = char(b);
        i += len;
    }
    psz[n] = '\0';
    if (charset == PageCharset::Koi8r)
        Win1251ToKoi8(psz);
    return n;
}
