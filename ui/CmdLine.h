// Splits the program's command-line tail into the paths it names: tokens are
// separated by spaces only; a token that starts with a double quote runs to
// the next double quote; an unclosed quote is dropped; the whole tail "/dde"
// (any letter case) names nothing. The tail is UTF-16 text, as the system
// gives it.
#pragma once

#include <cstddef>

class CmdLineSplitter {
  public:
    // tail may be null; it must stay unchanged and alive while tokens are
    // taken. The splitter never writes to it.
    explicit CmdLineSplitter(const wchar_t* pszTail);

    // The next non-empty token as a pointer into the tail and its length
    // (not NUL-terminated: a quoted token ends before its closing quote).
    // false when the tail holds no further token.
    bool Next(const wchar_t** ppToken, size_t* pnLength);

  private:
    const wchar_t* m_pos;
};

// True when the whole tail is "/dde", compared without regard to the case of
// letters: the shell's DDE start-up switch, which names no path.
bool IsDdeSwitch(const wchar_t* pszTail);
