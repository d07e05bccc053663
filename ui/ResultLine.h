// The text of one result line in the main window's list, by the job's status:
// a fixed message for "nothing asked" and "archiver not configured", else the
// page's name followed by "[Ok]", by the text of a repair that did not
// happen, or by the error text with the status as a signed number. Texts are
// Windows-1251.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the line into pszLine (cbLine bytes, at least 1) and returns its
// length. A name too long for the buffer is cut so that the whole line, with
// its bracketed part, fits.
size_t FormatResultLine(int32_t nStatus, const char* pszName, char* pszLine, size_t cbLine);
