// halvok.ini's text as the system's settings-file functions read it, and a
// key written back in place, for the files those functions read wrong: UTF-8
// as Notepad saves it, with a BOM (which they do not recognise, so the first
// line is lost) or without one (which they read in the ANSI code page).
// Bytes in, bytes out; no Win32 call.
#pragma once

#include <cstddef>

enum class IniEncoding {
    Ansi,    // the system's ANSI code page, or plain ASCII
    Utf8,    // well-formed UTF-8 with a multi-byte sequence, no BOM
    Utf8Bom, // starts with EF BB BF
    Utf16,   // starts with a UTF-16 BOM (FF FE or FE FF)
};

// The encoding of the cb bytes at p, by their BOM or their bytes.
IniEncoding DetectIniEncoding(const char* p, size_t cb);

// The length of the BOM the encoding starts with (3 for Utf8Bom, else 0).
size_t IniBomSize(IniEncoding encoding);

// Finds the value of pszKey in section pszSection of the text [p, p + cb)
// (the file after its BOM), as the settings functions read it: the first
// section of that name and the first key of that name in it, names compared
// without regard to the case of ASCII letters and without the blanks around
// them; lines that begin with ";" are comments; the value without the blanks
// around it and without a pair of quotes (" or ') around it. *ppValue and
// *pcbValue get the value's bytes, which lie in the text. False when the
// section or the key is missing.
bool FindIniValue(const char* p, size_t cb, const char* pszSection, const char* pszKey,
                  const char** ppValue, size_t* pcbValue);

// The value as a number, as the settings functions read one: blanks, a sign,
// then decimal digits (or hexadecimal after "0x"); nDefault for an empty
// value, 0 when no digit follows.
int IniIntValue(const char* p, size_t cb, int nDefault);

// Writes into pOut the text [p, p + cb) with pszKey in pszSection set to
// pszValue: only the value of the key's line changes (the key's spelling,
// the blanks before the value and the line's ending stay); a missing key
// goes after the section's last line that is not blank, a missing section at
// the end; a new line ends as the file's first line does ("\r\n" when none
// does). Every other byte stays. cbOut must be at least IniSetRoom(...);
// *pcbOut gets the new length.
void SetIniValue(const char* p, size_t cb, const char* pszSection, const char* pszKey,
                 const char* pszValue, char* pOut, size_t* pcbOut);
size_t IniSetRoom(size_t cb, const char* pszSection, const char* pszKey, const char* pszValue);
