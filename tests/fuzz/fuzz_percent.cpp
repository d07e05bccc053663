// Fuzzes the escape decoder against a plain model, on a text in a block of
// exactly its length plus the terminator; inputs of odd length keep the
// escapes of the bytes the page rewrite keeps.
#include "repair/Codecs.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), strnlen((const char*)data, size));
    std::unique_ptr<char[]> buf(new char[text.size() + 1]);
    std::memcpy(buf.get(), text.c_str(), text.size() + 1);
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    const char* keep = size % 2 ? "\"#%?" : "";
    std::string expected;
    int flag = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int hi = i + 1 < text.size() ? hex(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hex(text[i + 2]) : -1;
        const char value = char(hi * 16 + lo);
        if (text[i] == '%' && hi >= 0 && lo >= 0 && (!value || !std::strchr(keep, value))) {
            expected += value;
            flag = 1;
            i += 2;
        } else {
            expected += text[i];
        }
    }
    if (PercentDecode(buf.get(), keep) != flag || std::strcmp(buf.get(), expected.c_str()) != 0)
        std::abort();
    return 0;
}
