// Fuzzes the page rewrite against a plain model of its rules written with
// std::string searches: same outcome, same bytes, and no read outside the
// page (the page is passed without a terminator).
#include "repair/Codecs.h"
#include "repair/PageRewrite.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string ModelDecode(const std::string& ref, bool* pbEscape) {
    std::string out;
    *pbEscape = false;
    for (size_t i = 0; i < ref.size(); ++i) {
        if (ref[i] == '%' && HexPairValue(ref.c_str() + i + 1) >= 0) {
            out += char(HexPairValue(ref.c_str() + i + 1));
            *pbEscape = true;
            i += 2;
        } else {
            out += ref[i];
        }
    }
    return out;
}

PageCharset ModelCharset(const std::string& text) {
    const size_t charset = text.find("charset");
    const size_t head = text.find("</head>");
    if (charset == std::string::npos || head == std::string::npos || charset > head)
        return PageCharset::Other;
    const size_t eq = text.find('=', charset);
    if (eq == std::string::npos)
        return PageCharset::Other;
    const size_t end = text.find_first_of("\";", eq + 1);
    if (end == std::string::npos)
        return PageCharset::Other;
    std::string value = text.substr(eq + 1, end - eq - 1);
    while (!value.empty() && (value[0] == ' ' || value[0] == '\t'))
        value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    for (char& c : value)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return value == "koi8-r"  ? PageCharset::Koi8r
           : value == "utf-8" ? PageCharset::Utf8
                              : PageCharset::Other;
}

// The rules as the page repair states them, one reference at a time.
bool Model(const std::string& text, std::string* pOut, bool* pbChanged) {
    if (text.find('\0') != std::string::npos)
        return false;
    const PageCharset charset = ModelCharset(text);
    std::string out;
    size_t copy = 0;
    *pbChanged = false;
    size_t pos = text.find("_files");
    while (pos != std::string::npos) {
        const size_t open = text.rfind('"', pos);
        if (open == std::string::npos) {
            pos = text.find("_files", pos + 6);
            continue;
        }
        const size_t close = text.find('"', pos + 6);
        if (close == std::string::npos)
            break;
        const std::string raw = text.substr(open + 1, close - open - 1);
        bool bEscape;
        std::string ref = ModelDecode(raw, &bEscape);
        if (bEscape && ref.find('\0') == std::string::npos) {
            if (charset == PageCharset::Koi8r) {
                Win1251ToKoi8(&ref[0]);
            } else if (charset == PageCharset::Utf8 &&
                       !IsMultiByteUtf8(ref.data(), int32_t(ref.size()))) {
                if (char* utf8 = AnsiToUtf8(ref.c_str())) {
                    ref = utf8;
                    std::free(utf8);
                }
            }
            out += text.substr(copy, open + 1 - copy) + ref;
            copy = close;
            *pbChanged = true;
        }
        pos = text.find("_files", close);
    }
    *pOut = out + text.substr(copy);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024)
        return 0;
    std::unique_ptr<char[]> page(new char[size ? size : 1]);
    std::memcpy(page.get(), data, size);

    GrowBufOwner out;
    const PageRepair result = RewriteSavedPage(page.get(), int32_t(size), &out.buf);
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string expected;
    bool bChanged = false;
    if (!Model(text, &expected, &bChanged)) {
        if (result != PageRepair::Leave || out.buf.data)
            std::abort();
        return 0;
    }
    if (result != (bChanged ? PageRepair::Rewritten : PageRepair::Unchanged))
        std::abort();
    if (size_t(out.buf.used) != expected.size() ||
        (out.buf.used && std::memcmp(out.buf.data, expected.data(), expected.size()) != 0))
        std::abort();
    if (std::memcmp(page.get(), data, size) != 0) // the input is never modified
        std::abort();
    return 0;
}
