// The conversion from the system ANSI code page to UTF-16 that AnsiToUtf8
// is given: the platform's code-page service in the Windows build, the
// built-in Windows-1251 table elsewhere.
#pragma once

#include <cstdint>

// Converts the NUL-terminated psz, its terminator included, to UTF-16 in
// the system ANSI code page. With cchDest 0 returns the number of units
// needed (terminator included) and writes nothing; otherwise writes at most
// cchDest units to pDest and returns the number written. 0 on failure.
int32_t AnsiCodePageToUtf16(const char* psz, uint16_t* pDest, int32_t cchDest);

// The same contract for Windows-1251 through the built-in table. Byte 0x98,
// which has no character in that code page, gives U+0098 as on Windows.
int32_t Cp1251ToUtf16(const char* psz, uint16_t* pDest, int32_t cchDest);

// The UTF-16 unit of one Windows-1251 byte.
uint16_t Cp1251Unit(unsigned char b);
