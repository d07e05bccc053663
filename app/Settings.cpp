// The settings file "halvok.ini" beside the program: where it is, the
// archiver settings read once at start-up, and the main window's keys.
#include "app/Settings.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <new>

#include "app/IniText.h"
#include "app/WindowPos.h"
#include "fw/Handle.h"
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"

wchar_t g_szIniPath[MAX_PATH];
wchar_t g_szArcCmd[260];
wchar_t g_szArcExe[260];
int g_bHidden = 1;

namespace {

const wchar_t kSection[] = L"Options";
const char kSectionA[] = "Options";
const wchar_t kIniName[] = L"halvok.ini";
// g_szArcCmd holds one space, the template and a NUL.
constexpr size_t kMaxTemplate = sizeof g_szArcCmd / sizeof g_szArcCmd[0] - 2;
// The longest path that GetModuleFileNameW can report.
constexpr DWORD kMaxLongPath = 32768;

// Copies the folder part of pszPath, with a trailing backslash, into pszDir
// (MAX_PATH characters); leaves it empty when the folder does not fit.
void CopyFolderOf(wchar_t* pszPath, wchar_t* pszDir) {
    *PathFindFileNameW(pszPath) = L'\0';
    size_t n = wcslen(pszPath);
    if (n + 2 > MAX_PATH) // room for a backslash and the NUL
        return;
    wmemcpy(pszDir, pszPath, n + 1);
    PathAddBackslashW(pszDir);
}

// halvok.ini's bytes, read whole, and their encoding. A file that is
// missing, cannot be read or is implausibly large for a settings file holds
// nothing here: the settings functions read it as before.
class IniBytes {
  public:
    explicit IniBytes(const wchar_t* pszPath) {
        CFileHandle file(CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD cbHigh = 0;
        const DWORD cb = file.IsValid() ? GetFileSize(file.Get(), &cbHigh) : 0;
        if (!file.IsValid() || cb == INVALID_FILE_SIZE || cbHigh || cb > kMaxIni)
            return;
        m_bytes.reset(static_cast<char*>(malloc(cb + 1)));
        DWORD cbRead = 0;
        if (!m_bytes || !ReadFile(file.Get(), m_bytes.get(), cb, &cbRead, nullptr) || cbRead != cb) {
            m_bytes.reset();
            return;
        }
        m_cb = cb;
        m_encoding = DetectIniEncoding(m_bytes.get(), m_cb);
    }
    IniEncoding Encoding() const { return m_encoding; }
    // The text after the BOM.
    const char* Text() const { return m_bytes.get() + IniBomSize(m_encoding); }
    size_t TextSize() const { return m_cb - IniBomSize(m_encoding); }
    bool IsRead() const { return m_bytes != nullptr; }

    // The key's value as UTF-8 bytes, when the file holds them there: a file
    // with the UTF-8 BOM, or a value that is UTF-8 with a multi-byte
    // sequence in a file without a UTF-16 BOM. False otherwise.
    bool Utf8Value(const char* pszKey, const char** ppValue, size_t* pcbValue) const {
        if (!IsRead() || m_encoding == IniEncoding::Utf16 ||
            !FindIniValue(Text(), TextSize(), kSectionA, pszKey, ppValue, pcbValue))
            return false;
        return m_encoding == IniEncoding::Utf8Bom ||
               IsMultiByteUtf8(*ppValue, static_cast<int32_t>(*pcbValue));
    }

    // With the UTF-8 BOM, which the settings functions do not recognise, the
    // integers are read here too.
    bool ReadsItself() const { return IsRead() && m_encoding == IniEncoding::Utf8Bom; }
    int Int(const char* pszKey, int nDefault) const {
        const char* pValue;
        size_t cbValue;
        if (!FindIniValue(Text(), TextSize(), kSectionA, pszKey, &pValue, &cbValue))
            return nDefault;
        return IniIntValue(pValue, cbValue, nDefault);
    }

  private:
    static constexpr DWORD kMaxIni = 1 << 20;
    std::unique_ptr<char, MallocDeleter> m_bytes;
    size_t m_cb = 0;
    IniEncoding m_encoding = IniEncoding::Ansi;
};

// Reads a text value into pszOut (cchOut characters): UTF-8 where the file
// holds it so, else through the settings functions in the system's code page.
// A value too long is cut, as the settings functions cut it.
void ReadText(const IniBytes& ini, const char* pszKeyA, const wchar_t* pszKey, wchar_t* pszOut,
              DWORD cchOut, const wchar_t* pszIniPath) {
    const char* pValue;
    size_t cbValue;
    pszOut[0] = L'\0';
    if (!ini.Utf8Value(pszKeyA, &pValue, &cbValue)) {
        if (!ini.ReadsItself())
            GetPrivateProfileStringW(kSection, pszKey, L"", pszOut, cchOut, pszIniPath);
        return;
    }
    // UTF-8 takes no fewer bytes than UTF-16 takes units.
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[cbValue + 1]);
    const int n = wide && cbValue ? MultiByteToWideChar(CP_UTF8, 0, pValue, int(cbValue),
                                                        wide.get(), int(cbValue + 1))
                                  : 0;
    size_t nCopy = n > 0 ? size_t(n) : 0;
    if (nCopy >= cchOut) {
        nCopy = cchOut - 1;
        if (wide[nCopy - 1] >= 0xD800 && wide[nCopy - 1] <= 0xDBFF)
            --nCopy; // never half a character
    }
    wmemcpy(pszOut, wide.get(), nCopy);
    pszOut[nCopy] = L'\0';
}

int ReadInt(const IniBytes& ini, const char* pszKeyA, const wchar_t* pszKey, int nDefault,
            const wchar_t* pszIniPath) {
    if (ini.ReadsItself())
        return ini.Int(pszKeyA, nDefault);
    return static_cast<int>(GetPrivateProfileIntW(kSection, pszKey, nDefault, pszIniPath));
}

// Writes cb bytes at the start of the file and cuts it there.
bool WriteWhole(HANDLE h, const char* p, DWORD cb) {
    DWORD cbWritten = 0;
    return SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 &&
           WriteFile(h, p, cb, &cbWritten, nullptr) && cbWritten == cb && SetEndOfFile(h);
}

// Writes the keys into a UTF-8 file in place: each key's value changes, and
// every other byte (the BOM, the other lines, their endings) stays. The
// settings functions would rewrite the whole file in the ANSI code page, or
// miss its first section behind the BOM. The old bytes go back when the
// write fails. False when the file cannot be written.
bool WriteUtf8Keys(const wchar_t* pszIniPath, const IniBytes& ini, const char* const (*ppKeys)[2],
                   size_t nKeys) {
    const size_t cbBom = IniBomSize(ini.Encoding());
    const char* pOld = ini.Text() - cbBom;
    size_t cbRoom = ini.TextSize();
    for (size_t i = 0; i < nKeys; ++i)
        cbRoom = IniSetRoom(cbRoom, kSectionA, ppKeys[i][0], ppKeys[i][1]);
    // The text goes back and forth between two blocks, one key at a time.
    std::unique_ptr<char, MallocDeleter> text(static_cast<char*>(malloc(cbBom + cbRoom)));
    std::unique_ptr<char, MallocDeleter> next(static_cast<char*>(malloc(cbBom + cbRoom)));
    if (!text || !next)
        return false;
    size_t cb = ini.TextSize();
    memcpy(text.get(), pOld, cbBom + cb);
    memcpy(next.get(), pOld, cbBom);
    for (size_t i = 0; i < nKeys; ++i) {
        SetIniValue(text.get() + cbBom, cb, kSectionA, ppKeys[i][0], ppKeys[i][1],
                    next.get() + cbBom, &cb);
        text.swap(next);
    }
    CFileHandle file(CreateFileW(pszIniPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    if (!file.IsValid())
        return false;
    if (WriteWhole(file.Get(), text.get(), DWORD(cbBom + cb)))
        return true;
    WriteWhole(file.Get(), pOld, DWORD(cbBom + ini.TextSize()));
    return false;
}

} // namespace

void GetModuleDir(wchar_t* pszDir) {
    pszDir[0] = L'\0';
    wchar_t szPath[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (n == 0)
        return;
    if (n < MAX_PATH) {
        CopyFolderOf(szPath, pszDir);
        return;
    }
    // The path was cut (and, on older systems, left without its NUL): read it
    // whole, so that the folder is never taken from a cut path.
    std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kMaxLongPath]);
    if (!path)
        return;
    n = GetModuleFileNameW(nullptr, path.get(), kMaxLongPath);
    if (n > 0 && n < kMaxLongPath)
        CopyFolderOf(path.get(), pszDir);
}

void LoadArcSettings() {
    wchar_t szDir[MAX_PATH];
    GetModuleDir(szDir);
    g_szIniPath[0] = L'\0';
    // Without a usable folder the program runs on the defaults.
    if (szDir[0] && wcslen(szDir) + sizeof kIniName / sizeof kIniName[0] <= MAX_PATH) {
        wmemcpy(g_szIniPath, szDir, wcslen(szDir) + 1);
        PathAppendW(g_szIniPath, kIniName);
    }
    ReadArcSettings();
}

void ReadArcSettings() {
    wchar_t szCom[260] = L"";
    g_szArcExe[0] = L'\0';
    g_bHidden = 1;
    if (g_szIniPath[0]) {
        // Sizes in characters: a template or a program path is never cut
        // for the bytes its characters take in some encoding.
        const IniBytes ini(g_szIniPath);
        ReadText(ini, "Com", L"Com", szCom, DWORD(std::size(szCom)), g_szIniPath);
        ReadText(ini, "Arc", L"Arc", g_szArcExe, DWORD(std::size(g_szArcExe)), g_szIniPath);
        g_bHidden = ReadInt(ini, "Hidden", L"Hidden", 1, g_szIniPath);
    }
    // A 259-character template would leave no room for the NUL after the
    // leading space: it is cut to 258.
    szCom[kMaxTemplate] = L'\0';
    g_szArcCmd[0] = L' ';
    wmemcpy(g_szArcCmd + 1, szCom, wcslen(szCom) + 1);
}

WindowKeys ReadWindowKeys(const wchar_t* pszIniPath) {
    WindowKeys keys{kDefaultWindowPos, kDefaultWindowPos, 1, 1};
    if (!pszIniPath[0])
        return keys;
    const IniBytes ini(pszIniPath);
    auto readInt = [&](const char* pszKeyA, const wchar_t* pszKey, int nDefault) {
        return ReadInt(ini, pszKeyA, pszKey, nDefault, pszIniPath);
    };
    keys.nPosX = RestoredWindowPos(readInt("PosX", L"PosX", kDefaultWindowPos));
    keys.nPosY = RestoredWindowPos(readInt("PosY", L"PosY", kDefaultWindowPos));
    keys.bArc = readInt("bArc", L"bArc", 1) != 0;
    keys.bMSIE = readInt("bMSIE", L"bMSIE", 1) != 0;
    return keys;
}

void WriteWindowKeys(const wchar_t* pszIniPath, const RECT& rcWindow, bool bArcChecked,
                     bool bFixChecked) {
    if (!pszIniPath[0])
        return;
    SavedWindowPos pos =
        SaveWindowPos(rcWindow.left, rcWindow.top, GetSystemMetrics(SM_CXMAXIMIZED),
                      GetSystemMetrics(SM_CYMAXIMIZED));
    char szX[16], szY[16];
    snprintf(szX, sizeof szX, "%d", pos.nX);
    snprintf(szY, sizeof szY, "%d", pos.nY);
    const char* const keys[][2] = {{"PosX", szX},
                                   {"PosY", szY},
                                   {"bArc", bArcChecked ? "1" : "0"},
                                   {"bMSIE", bFixChecked ? "1" : "0"}};
    // A UTF-8 file keeps its encoding and every other byte.
    const IniBytes ini(pszIniPath);
    if (ini.IsRead() &&
        (ini.Encoding() == IniEncoding::Utf8 || ini.Encoding() == IniEncoding::Utf8Bom)) {
        WriteUtf8Keys(pszIniPath, ini, pos.bWrite ? keys : keys + 2, pos.bWrite ? 4 : 2);
        return;
    }
    if (pos.bWrite) {
        wchar_t szNum[34];
        WritePrivateProfileStringW(kSection, L"PosX", _itow(pos.nX, szNum, 10), pszIniPath);
        WritePrivateProfileStringW(kSection, L"PosY", _itow(pos.nY, szNum, 10), pszIniPath);
    }
    WritePrivateProfileStringW(kSection, L"bArc", CheckKeyText(bArcChecked), pszIniPath);
    WritePrivateProfileStringW(kSection, L"bMSIE", CheckKeyText(bFixChecked), pszIniPath);
}
