// The folder scan of halvok-repair: see PageFolder.h.
#include "tools/halvok-repair/PageFolder.h"

#include "repair/FolderSuffix.h"
#include "ui/PageExt.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// A folder stream, closed on scope exit.
class FolderStream {
  public:
    explicit FolderStream(const char* pszPath) : m_dir(opendir(pszPath)) {}
    ~FolderStream() {
        if (m_dir)
            closedir(m_dir);
    }
    FolderStream(const FolderStream&) = delete;
    FolderStream& operator=(const FolderStream&) = delete;
    DIR* Get() const { return m_dir; }

  private:
    DIR* m_dir;
};

// The page's stem, to which each suffix is tried.
struct FolderProbe {
    std::string stem;
};

bool IsPageFolder(const char* pszSuffix, void* context) {
    struct stat st;
    const std::string folder = static_cast<FolderProbe*>(context)->stem + pszSuffix;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

const char* FindPageFolderSuffix(const std::string& page) {
    const size_t name = page.rfind('/') + 1; // 0 when there is no '/' (npos + 1)
    const char* ext = FindExtension(page.c_str() + name);
    FolderProbe probe{page.substr(0, size_t(ext - page.c_str()))};
    return FindFolderSuffix(IsPageFolder, &probe);
}

bool IsWebArchiveName(const char* pszName) {
    return IsWebArchiveExtension(FindExtension(pszName));
}

const char* FindExtension(const char* pszName) {
    const char* dot = nullptr;
    const char* p = pszName;
    for (; *p; ++p) {
        if (*p == '.')
            dot = p;
        else if (*p == ' ' || *p == '\\')
            dot = nullptr;
    }
    return dot ? dot : p;
}

std::vector<std::string> ListFolderPages(const std::string& folder, int* pErr) {
    std::vector<std::string> paths;
    FolderStream dir(folder.c_str());
    if (!dir.Get()) {
        *pErr = errno;
        return paths;
    }
    const std::string prefix = !folder.empty() && folder.back() == '/' ? folder : folder + "/";
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.Get());
        if (!entry)
            break;
        if (!IsPageExtension(FindExtension(entry->d_name)))
            continue;
        // Only a regular file itself: a link could lead the repair to a file
        // outside the folder. The entry's type, when the folder gives it,
        // spares a look at the file.
        std::string path = prefix + entry->d_name;
        bool bFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            bFile = lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (bFile)
            paths.push_back(std::move(path));
    }
    *pErr = errno;
    if (*pErr != 0)
        return {};
    // Every path starts with the same prefix, and std::string compares
    // unsigned bytes: this is the byte order of the names.
    std::sort(paths.begin(), paths.end());
    return paths;
}
