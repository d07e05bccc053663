// The command-line split: see CmdLine.h.
#include "ui/CmdLine.h"

#include <cstring>

bool IsDdeSwitch(const char* pszTail) {
    static const char kDde[] = "/dde";
    for (size_t i = 0; i < sizeof kDde; ++i) {
        char c = pszTail[i];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != kDde[i])
            return false; // also stops at the tail's own end
    }
    return true;
}

CmdLineSplitter::CmdLineSplitter(const char* pszTail)
    : m_pos(pszTail && !IsDdeSwitch(pszTail) ? pszTail : "") {}

bool CmdLineSplitter::Next(const char** ppToken, size_t* pnLength) {
    for (;;) {
        while (*m_pos == ' ')
            ++m_pos;
        if (!*m_pos)
            return false;
        const char* start = m_pos;
        const char* end;
        if (*m_pos == '"') {
            const char* close = strchr(m_pos + 1, '"');
            if (!close) {
                // An unclosed quote is dropped; the rest splits at spaces.
                ++m_pos;
                continue;
            }
            start = m_pos + 1;
            end = close;
            m_pos = close + 1; // a further token may follow without a blank
        } else {
            end = strchr(m_pos, ' ');
            if (!end)
                end = m_pos + strlen(m_pos);
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
