// Fuzzes the page rewrite (the page in an exact block, no terminator) for
// memory errors and for properties every page keeps: the input is never
// modified; a page with a zero byte is left; a page without "_files" comes
// back unchanged; no page grows; bytes before the first and after the last
// double quote lie outside every reference and are copied as they are.
#include "repair/PageRewrite.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024)
        return 0;
    std::unique_ptr<char[]> page(new char[size]);
    std::memcpy(page.get(), data, size);
    GrowBufOwner out;
    const PageRepair result = RewriteSavedPage(page.get(), int32_t(size), &out.buf);
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string got(out.buf.data ? out.buf.data : "", size_t(out.buf.used));
    bool ok = std::memcmp(page.get(), data, size) == 0;
    if (in.find('\0') != std::string::npos) {
        ok = ok && result == PageRepair::ZeroByte && !out.buf.data;
    } else {
        const size_t first = in.find('"'), last = in.rfind('"');
        const size_t head = first == std::string::npos ? size : first;
        const size_t tail = last == std::string::npos ? 0 : size - last;
        ok = ok && (result == PageRepair::Unchanged || result == PageRepair::Rewritten) &&
             got.size() <= in.size() && (result != PageRepair::Unchanged || got == in) &&
             (in.find("_files") != std::string::npos || result == PageRepair::Unchanged) &&
             got.compare(0, head, in, 0, head) == 0 && got.size() >= tail &&
             got.compare(got.size() - tail, tail, in, size - tail, tail) == 0;
    }
    if (!ok)
        std::abort();
    return 0;
}
