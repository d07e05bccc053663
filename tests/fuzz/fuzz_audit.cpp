// Fuzzes --check's reading of a page's references (the page in an exact
// block) for memory errors and for properties every page keeps: the folder's
// name is matched ignoring letter case, so "f" and "F" find the same
// references; each is read from text of the page, and its path is UTF-8.
#include "tools/halvok-repair/PageAudit.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024)
        return 0;
    std::unique_ptr<char[]> page(new char[size]);
    std::memcpy(page.get(), data, size);
    const std::vector<FolderReference> lower = FindFolderReferences(page.get(), size, "f");
    const std::vector<FolderReference> upper = FindFolderReferences(page.get(), size, "F");
    bool ok = lower.size() == upper.size();
    for (size_t i = 0; ok && i < lower.size(); ++i) {
        const FolderReference& r = lower[i];
        ok = r.text == upper[i].text && r.path == upper[i].path && !r.path.empty() &&
             IsUtf8(r.path) && r.text.size() <= 3 * size;
    }
    if (!ok)
        std::abort();
    return 0;
}
