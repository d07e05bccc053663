// Fuzzes --check's reading of a page's references (the page in an exact
// block) for memory errors and for properties every page keeps: the folder's
// name is matched ignoring letter case, so "f" and "F" find the same
// references; each is read from text of the page, and its path is UTF-8.
#include "repair/Codecs.h"
#include "tools/halvok-repair/PageAudit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

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
             (IsMultiByteUtf8(r.path.data(), int32_t(r.path.size())) ||
              std::none_of(r.path.begin(), r.path.end(), [](char c) { return c & 0x80; })) &&
             r.text.size() <= 3 * size;
    }
    if (!ok)
        std::abort();
    return 0;
}
