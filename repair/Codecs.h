// Text codecs of the page repair: %XX escapes, Windows-1251 to KOI8-R, and
// the system ANSI code page to UTF-8. All text is 8-bit and NUL-terminated.
#pragma once

#include <cstdint>

// The value of two upper-case hex digits at the start of psz: 0 to 255, or
// -1 when the first two characters are not both "0"-"9" or "A"-"F".
// Lower-case digits do not count. Never reads past a terminating zero.
int32_t HexPairValue(const char* psz);

// Decodes every %XX escape (upper-case digits) in place; a "%" that does
// not start an escape stays as it is. Returns 1 when at least one escape
// was decoded, else 0. %00 writes a zero byte, which ends the text. An
// escape of a byte in pszKeep (a set of non-zero bytes) is copied as it is
// written and does not count as decoded.
int PercentDecode(char* psz, const char* pszKeep = "");

// Whether PercentDecode with the set pszKeep copies an escape of the byte
// value as written: value is in the set, and not zero.
bool IsKeptEscape(const char* pszKeep, int32_t value);

// Replaces each byte by its KOI8-R code (bytes without a KOI8-R character
// keep their value, 0xA6 and 0xAC excepted), in place. The length of the
// text does not change.
void Win1251ToKoi8(char* psz);

// The text (system ANSI code page) as a new NUL-terminated UTF-8 string
// from malloc, which the caller frees; null on failure. Each UTF-16 unit
// is encoded by itself (surrogates are not paired).
char* AnsiToUtf8(const char* psz);

// True when the len bytes at p are well-formed UTF-8 (no overlong forms,
// no surrogates, nothing above U+10FFFF) and hold at least one multi-byte
// sequence.
bool IsMultiByteUtf8(const char* p, int32_t len);
