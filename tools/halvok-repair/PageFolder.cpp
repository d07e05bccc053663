// The folder scan of halvok-repair: see PageFolder.h.
#include "tools/halvok-repair/PageFolder.h"

#include "repair/FolderSuffix.h"
#include "ui/PageExt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder stream on a descriptor of its own, closed on scope exit.
class FolderStream {
  public:
    explicit FolderStream(int fd) : m_dir(fd >= 0 ? fdopendir(fd) : nullptr) {
        if (fd >= 0 && !m_dir)
            close(fd);
    }
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

// The page's stem, to which each suffix is tried, in its folder.
struct FolderProbe {
    std::string stem;
    int dirfd;
};

bool IsPageFolder(const char* pszSuffix, void* context) {
    const FolderProbe& probe = *static_cast<FolderProbe*>(context);
    struct stat st;
    return fstatat(probe.dirfd, (probe.stem + pszSuffix).c_str(), &st, 0) == 0 &&
           S_ISDIR(st.st_mode);
}

} // namespace

const char* FindPageFolderSuffix(const std::string& page, int dirfd) {
    const size_t name = page.rfind('/') + 1; // 0 when there is no '/' (npos + 1)
    const char* ext = FindExtension(page.c_str() + name);
    FolderProbe probe{page.substr(0, size_t(ext - page.c_str())), dirfd};
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

std::vector<std::string> ListFolderPages(int dirfd, int* pErr) {
    std::vector<std::string> names;
    // The stream takes a copy of dirfd, which stays open for the pages.
    FolderStream dir(fcntl(dirfd, F_DUPFD_CLOEXEC, 0));
    if (!dir.Get()) {
        *pErr = errno;
        return names;
    }
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
        bool bFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            bFile =
                fstatat(dirfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (bFile)
            names.emplace_back(entry->d_name);
    }
    *pErr = errno;
    if (*pErr != 0)
        return {};
    // std::string compares unsigned bytes: this is the byte order of the names.
    std::sort(names.begin(), names.end());
    return names;
}

std::string Printable(const std::string& name) {
    std::string out;
    for (const unsigned char c : name) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\x%02X", c);
            out += sz;
        } else {
            out += char(c);
        }
    }
    return out;
}
