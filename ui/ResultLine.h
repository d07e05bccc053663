// The text of one result line in the main window's list, by the job's status:
// a fixed message for "nothing asked" and "archiver not configured", else the
// page's name followed by "[Ok]", by the text of a repair that did not
// happen, of a name the archiver must not get or of an input the intake
// could not take, or by the error text with the status as a signed number.
// Lines are UTF-16 text.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the line into pszLine (cchLine units, at least 1) and returns its
// length. A name too long for the buffer is cut so that the whole line, with
// its bracketed part, fits; a character outside the Basic Multilingual
// Plane is never cut in half.
size_t FormatResultLine(int32_t nStatus, const wchar_t* pszName, wchar_t* pszLine, size_t cchLine);
