// %XX decoding, the Windows-1251 to KOI8-R table, ANSI to UTF-8, and the
// UTF-8 well-formedness test used on UTF-8 pages.
#include "repair/Codecs.h"

#include "repair/AnsiCodePage.h"
#include "repair/GrowBuf.h"

#include <cstdlib>
#include <cstring>
#include <memory>

int32_t HexPairValue(const char* psz) {
    int32_t value = 0;
    for (int i = 0; i < 2 && value >= 0; ++i) {
        const char c = psz[i];
        if (c >= '0' && c <= '9')
            value = value * 16 + (c - '0');
        else if (c >= 'A' && c <= 'F')
            value = value * 16 + (c - 'A' + 10);
        else
            value = -1;
    }
    return value;
}

bool IsKeptEscape(const char* pszKeep, int32_t value) {
    for (; value != 0 && *pszKeep; ++pszKeep)
        if (static_cast<unsigned char>(*pszKeep) == value)
            return true;
    return false;
}

int PercentDecode(char* psz, const char* pszKeep) {
    char* pRead = psz;
    char* pWrite = psz;
    int decoded = 0;
    while (*pRead) {
        int32_t value;
        if (*pRead == '%' && (value = HexPairValue(pRead + 1)) >= 0 &&
            !IsKeptEscape(pszKeep, value)) {
            *pWrite++ = static_cast<char>(value);
            pRead += 3;
            decoded = 1;
        } else {
            *pWrite++ = *pRead++;
        }
    }
    *pWrite = '\0';
    return decoded;
}

namespace {

// RFC 1489 KOI8-R codes of the Windows-1251 bytes 0x80 to 0xFF; bytes below
// 0x80 map to themselves.
// clang-format off
const unsigned char kWin1251ToKoi8High[128] = {
    // 0x80-0x9F: no KOI8-R counterpart, unchanged
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    // 0xA0-0xBF: no-break space, Ё, ©, degree sign, ё, middle dot; 0xA6 and 0xAC
    // take the box-drawing places 0xBB and 0xA8
    0x9A, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xBB, 0xA7, 0xB3, 0xBF, 0xAA, 0xAB, 0xA8, 0xAD, 0xAE, 0xAF,
    0x9C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0x9E, 0xA3, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    // 0xC0-0xFF: А..Я, а..я
    0xE1, 0xE2, 0xF7, 0xE7, 0xE4, 0xE5, 0xF6, 0xFA, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,
    0xF2, 0xF3, 0xF4, 0xF5, 0xE6, 0xE8, 0xE3, 0xFE, 0xFB, 0xFD, 0xFF, 0xF9, 0xF8, 0xFC, 0xE0, 0xF1,
    0xC1, 0xC2, 0xD7, 0xC7, 0xC4, 0xC5, 0xD6, 0xDA, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0,
    0xD2, 0xD3, 0xD4, 0xD5, 0xC6, 0xC8, 0xC3, 0xDE, 0xDB, 0xDD, 0xDF, 0xD9, 0xD8, 0xDC, 0xC0, 0xD1,
};
// clang-format on

constexpr int32_t kUtf8Increment = 4096;

} // namespace

void Win1251ToKoi8(char* psz) {
    const size_t len = std::strlen(psz);
    for (size_t i = 0; i < len; ++i) {
        const unsigned char b = static_cast<unsigned char>(psz[i]);
        if (b >= 0x80)
            psz[i] = static_cast<char>(kWin1251ToKoi8High[b - 0x80]);
    }
}

char* AnsiToUtf8(const char* psz) {
    const int32_t n = AnsiCodePageToUtf16(psz, nullptr, 0);
    if (n <= 0)
        return nullptr;
    // One unit to spare beyond what the conversion asked for.
    std::unique_ptr<uint16_t, MallocDeleter> wide(
        static_cast<uint16_t*>(std::malloc(2 * static_cast<size_t>(n) + 2)));
    if (!wide)
        return nullptr;
    const int32_t m = AnsiCodePageToUtf16(psz, wide.get(), n);
    if (m <= 0)
        return nullptr;

    GrowBuf out;
    for (int32_t i = 0; i < m; ++i) {
        const uint16_t u = wide.get()[i];
        unsigned char bytes[3];
        int32_t count;
        if (u <= 0x7F) {
            bytes[0] = static_cast<unsigned char>(u);
            count = 1;
        } else if (u <= 0x7FF) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            count = 2;
        } else {
            bytes[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            count = 3;
        }
        if (!GrowBufAppend(&out, bytes, count, kUtf8Increment))
            return nullptr; // the lost block is already freed
    }
    return out.data;
}

bool IsMultiByteUtf8(const char* p, int32_t len) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
    bool multi = false;
    int32_t i = 0;
    while (i < len) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int32_t tail;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            tail = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            tail = 2;
            if (b == 0xE0)
                lo = 0xA0; // overlong
            else if (b == 0xED)
                hi = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            tail = 3;
            if (b == 0xF0)
                lo = 0x90; // overlong
            else if (b == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (len - i <= tail)
            return false;
        if (s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (int32_t k = 2; k <= tail; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        multi = true;
        i += tail + 1;
    }
    return multi;
}
