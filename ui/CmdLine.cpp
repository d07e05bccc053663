// The command-line split: see CmdLine.h.
#include "ui/CmdLine.h"

#include <cwchar>

bool IsDdeSwitch(const wchar_t* pszTail) {
    static const wchar_t kDde[] = L"/dde";
    for (size_t i = 0; i < sizeof kDde / sizeof kDde[0]; ++i) {
        wchar_t c = pszTail[i];
        if (c >= L'A' && c <= L'Z')
            c = (wchar_t)(c - L'A' + L'a');
        if (c != kDde[i])
            return false; // also stops at the tail's own end
    }
    return true;
}

CmdLineSplitter::CmdLineSplitter(const wchar_t* pszTail)
    : m_pos(pszTail && !IsDdeSwitch(pszTail) ? pszTail : L"") {}

bool CmdLineSplitter::Next(const wchar_t** ppToken, size_t* pnLength) {
    for (;;) {
        while (*m_pos == L' ')
            ++m_pos;
        if (!*m_pos)
            return false;
        const wchar_t* start = m_pos;
        const wchar_t* end;
        if (*m_pos == L'"') {
            const wchar_t* close = wcschr(m_pos + 1, L'"');
            if (!close) {
                // An unclosed quote is dropped; the rest splits at spaces.
                ++m_pos;
                continue;
            }
            start = m_pos + 1;
            end = close;
            m_pos = close + 1; // a further token may follow without a blank
        } else {
            end = wcschr(m_pos, L' ');
            if (!end)
                end = m_pos + wcslen(m_pos);
            m_pos = *end ? end + 1 : end;
        }
        if (end > start) {
            *ppToken = start;
            *pnLength = (size_t)(end - start);
            return true;
        }
        // "" names nothing: look for the next token.
    }
}
