// halvok.ini read and written as text: see IniText.h.
#include "app/IniText.h"

#include <cstring>

#include "repair/Codecs.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(const char* p, size_t cb, const char* pszName) {
    if (std::strlen(pszName) != cb)
        return false;
    for (size_t i = 0; i < cb; ++i)
        if (Lower(p[i]) != Lower(pszName[i]))
            return false;
    return true;
}

// [*pBegin, *pEnd) without the blanks at either end.
void Trim(const char** pBegin, const char** pEnd) {
    while (*pBegin < *pEnd && IsBlank(**pBegin))
        ++*pBegin;
    while (*pEnd > *pBegin && IsBlank((*pEnd)[-1]))
        --*pEnd;
}

// One line of the text: its bytes without the ending, and where the next
// one starts.
struct Line {
    const char* text;
    const char* textEnd; // before "\r\n" or "\n"
    const char* next;    // after the ending; the text's end for the last line
};

Line LineAt(const char* p, const char* end) {
    const void* nl = std::memchr(p, '\n', size_t(end - p));
    Line line{p, nl ? static_cast<const char*>(nl) : end, nl ? static_cast<const char*>(nl) + 1 : end};
    if (line.textEnd > p && line.textEnd[-1] == '\r' && nl)
        --line.textEnd;
    return line;
}

// Whether the line is a section header, and its name.
bool SectionName(const Line& line, const char** pName, const char** pNameEnd) {
    const char* b = line.text;
    const char* e = line.textEnd;
    Trim(&b, &e);
    if (b == e || *b != '[')
        return false;
    const void* close = std::memchr(b, ']', size_t(e - b));
    if (!close)
        return false;
    *pName = b + 1;
    *pNameEnd = static_cast<const char*>(close);
    Trim(pName, pNameEnd);
    return true;
}

// Whether the line holds a key, and where its key and its "=" lie.
bool KeyOf(const Line& line, const char** pKey, const char** pKeyEnd, const char** pEquals) {
    const char* b = line.text;
    while (b < line.textEnd && IsBlank(*b))
        ++b;
    if (b == line.textEnd || *b == ';')
        return false;
    const void* eq = std::memchr(b, '=', size_t(line.textEnd - b));
    if (!eq)
        return false;
    *pKey = b;
    *pEquals = static_cast<const char*>(eq);
    *pKeyEnd = *pEquals;
    while (*pKeyEnd > b && IsBlank((*pKeyEnd)[-1]))
        --*pKeyEnd;
    return true;
}

// Where the section's lines lie: after its header up to the next header.
// False when the text has no such section.
bool FindSection(const char* p, const char* end, const char* pszSection, const char** pBegin,
                 const char** pEnd) {
    bool bIn = false;
    for (const char* at = p; at < end;) {
        const Line line = LineAt(at, end);
        const char *name, *nameEnd;
        if (SectionName(line, &name, &nameEnd)) {
            if (bIn) {
                *pEnd = at;
                return true;
            }
            if (SameName(name, size_t(nameEnd - name), pszSection)) {
                bIn = true;
                *pBegin = line.next;
            }
        }
        at = line.next;
    }
    *pEnd = end;
    return bIn;
}

// The key's line within the section, or false.
bool FindKeyLine(const char* begin, const char* end, const char* pszKey, Line* pLine,
                 const char** pEquals) {
    for (const char* at = begin; at < end;) {
        const Line line = LineAt(at, end);
        const char *key, *keyEnd;
        if (KeyOf(line, &key, &keyEnd, pEquals) && SameName(key, size_t(keyEnd - key), pszKey)) {
            *pLine = line;
            return true;
        }
        at = line.next;
    }
    return false;
}

// The first line ending of the text, "\r\n" when it has none.
const char* LineEnding(const char* p, const char* end) {
    const Line line = LineAt(p, end);
    return line.next > line.textEnd && line.textEnd[0] == '\r' ? "\r\n"
           : line.next > line.textEnd                          ? "\n"
                                                               : "\r\n";
}

// Appends bytes at *ppOut.
void Put(char** ppOut, const char* p, size_t cb) {
    std::memcpy(*ppOut, p, cb);
    *ppOut += cb;
}

void Put(char** ppOut, const char* psz) {
    Put(ppOut, psz, std::strlen(psz));
}

} // namespace

IniEncoding DetectIniEncoding(const char* p, size_t cb) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    if (cb >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return IniEncoding::Utf16;
    if (cb >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return IniEncoding::Utf8Bom;
    return IsMultiByteUtf8(p, int32_t(cb)) ? IniEncoding::Utf8 : IniEncoding::Ansi;
}

size_t IniBomSize(IniEncoding encoding) {
    return encoding == IniEncoding::Utf8Bom ? 3 : 0;
}

bool FindIniValue(const char* p, size_t cb, const char* pszSection, const char* pszKey,
                  const char** ppValue, size_t* pcbValue) {
    const char *begin, *end, *eq;
    Line line;
    if (!FindSection(p, p + cb, pszSection, &begin, &end) ||
        !FindKeyLine(begin, end, pszKey, &line, &eq))
        return false;
    const char* v = eq + 1;
    const char* vEnd = line.textEnd;
    Trim(&v, &vEnd);
    if (vEnd - v >= 2 && (*v == '"' || *v == '\'') && vEnd[-1] == *v) {
        ++v;
        --vEnd;
    }
    *ppValue = v;
    *pcbValue = size_t(vEnd - v);
    return true;
}

int IniIntValue(const char* p, size_t cb, int nDefault) {
    const char* end = p + cb;
    if (p == end)
        return nDefault;
    while (p < end && IsBlank(*p))
        ++p;
    bool bNegative = false;
    if (p < end && (*p == '-' || *p == '+'))
        bNegative = *p++ == '-';
    unsigned base = 10;
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    unsigned value = 0; // wraps as the system's reader does
    for (; p < end; ++p) {
        const char c = Lower(*p);
        const unsigned digit = c >= '0' && c <= '9' ? unsigned(c - '0')
                               : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                                      : base;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    return int(bNegative ? 0u - value : value);
}

size_t IniSetRoom(size_t cb, const char* pszSection, const char* pszKey, const char* pszValue) {
    // "[section]", "key=value" and three line endings at most.
    return cb + std::strlen(pszSection) + std::strlen(pszKey) + std::strlen(pszValue) + 9;
}

void SetIniValue(const char* p, size_t cb, const char* pszSection, const char* pszKey,
                 const char* pszValue, char* pOut, size_t* pcbOut) {
    const char* end = p + cb;
    const char* eol = LineEnding(p, end);
    char* out = pOut;
    const char *begin, *sectionEnd, *eq;
    Line line;
    if (FindSection(p, end, pszSection, &begin, &sectionEnd) &&
        FindKeyLine(begin, sectionEnd, pszKey, &line, &eq)) {
        // The value, after the "=" and the blanks that follow it, is replaced.
        const char* v = eq + 1;
        while (v < line.textEnd && IsBlank(*v))
            ++v;
        Put(&out, p, size_t(v - p));
        Put(&out, pszValue);
        Put(&out, line.textEnd, size_t(end - line.textEnd));
    } else {
        // After the section's last line that is not blank, or at the end.
        const bool bSection = FindSection(p, end, pszSection, &begin, &sectionEnd);
        const char* at = bSection ? begin : end;
        for (const char* scan = at; bSection && scan < sectionEnd;) {
            const Line l = LineAt(scan, sectionEnd);
            const char *b = l.text, *e = l.textEnd;
            Trim(&b, &e);
            if (b != e)
                at = l.next;
            scan = l.next;
        }
        Put(&out, p, size_t(at - p));
        // The line before must end, or the new one would join it.
        if (at > p && at[-1] != '\n')
            Put(&out, eol);
        if (!bSection) {
            Put(&out, "[");
            Put(&out, pszSection);
            Put(&out, "]");
            Put(&out, eol);
        }
        Put(&out, pszKey);
        Put(&out, "=");
        Put(&out, pszValue);
        Put(&out, eol);
        Put(&out, at, size_t(end - at));
    }
    *pcbOut = size_t(out - pOut);
}
