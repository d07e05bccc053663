// Fuzzes the escape decoder and the byte codecs on arbitrary text: the
// decoder against a plain model, the KOI8-R translation keeping the length,
// and ANSI to UTF-8 decoding back to the code page's units.
#include "repair/AnsiCodePage.h"
#include "repair/Codecs.h"
#include "repair/GrowBuf.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024)
        return 0;
    // The text as the codecs see it: up to the first zero byte, in a block
    // of exactly its length plus the terminator.
    const std::string text(reinterpret_cast<const char*>(data), strnlen((const char*)data, size));
    const size_t n = text.size();
    std::unique_ptr<char[]> buf(new char[n + 1]);
    std::memcpy(buf.get(), text.c_str(), n + 1);

    std::string expected;
    int flag = 0;
    for (size_t i = 0; i < n; ++i) {
        const int hi = i + 1 < n ? HexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < n ? HexDigit(text[i + 2]) : -1;
        Check(HexPairValue(buf.get() + i + 1) == (hi >= 0 && lo >= 0 ? hi * 16 + lo : -1));
        if (text[i] == '%' && hi >= 0 && lo >= 0) {
            expected += char(hi * 16 + lo);
            flag = 1;
            i += 2;
        } else {
            expected += text[i];
        }
    }
    Check(PercentDecode(buf.get()) == flag);
    Check(std::strcmp(buf.get(), std::string(expected.c_str()).c_str()) == 0);

    std::memcpy(buf.get(), text.c_str(), n + 1);
    Win1251ToKoi8(buf.get());
    Check(std::strlen(buf.get()) == n);
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(text[i]) < 0x80)
            Check(buf[i] == text[i]);

    std::unique_ptr<char, MallocDeleter> utf8(AnsiToUtf8(text.c_str()));
    Check(utf8 != nullptr);
    const unsigned char* u = reinterpret_cast<const unsigned char*>(utf8.get());
    for (size_t i = 0; i < n; ++i) {
        unsigned cp;
        if (u[0] < 0x80) {
            cp = u[0];
            u += 1;
        } else if ((u[0] & 0xE0) == 0xC0) {
            cp = (u[0] & 0x1Fu) << 6 | (u[1] & 0x3Fu);
            u += 2;
        } else {
            cp = (u[0] & 0x0Fu) << 12 | (u[1] & 0x3Fu) << 6 | (u[2] & 0x3Fu);
            u += 3;
        }
        Check(cp == Cp1251Unit(static_cast<unsigned char>(text[i])));
    }
    Check(*u == 0);
    return 0;
}
