// The floor of halvok-repair's runs, for bench_repair_files: reads each page
// named on the command line whole and writes the same bytes back, in place
// (the floor of any rewrite in place), or with --new-file through a new file
// in the page's folder renamed over it (the floor of any write-back that
// replaces the page whole).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const char* p, size_t cb) {
    for (size_t done = 0; done < cb;) {
        const ssize_t n = pwrite(fd, p + done, cb - done, off_t(done));
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool ReadAll(int fd, char* p, size_t cb) {
    for (size_t done = 0; done < cb;) {
        const ssize_t n = pread(fd, p + done, cb - done, off_t(done));
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool CopyPage(const char* pszPath, bool bNewFile, char** pBuf, size_t* pCapacity) {
    const int fd = open(pszPath, O_RDWR | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    const size_t size = size_t(st.st_size);
    if (size + 1 > *pCapacity) {
        std::free(*pBuf);
        *pCapacity = size + 1;
        *pBuf = static_cast<char*>(std::malloc(*pCapacity));
    }
    bool ok = *pBuf && ReadAll(fd, *pBuf, size);
    if (ok && !bNewFile) {
        ok = WriteAll(fd, *pBuf, size) && ftruncate(fd, off_t(size)) == 0;
    } else if (ok) {
        const char* slash = std::strrchr(pszPath, '/');
        std::string temp =
            std::string(pszPath, slash ? size_t(slash + 1 - pszPath) : 0) + ".floor-XXXXXX.tmp";
        const int out = mkostemps(&temp[0], 4, O_CLOEXEC);
        ok = out >= 0 && fchmod(out, st.st_mode & 07777) == 0 && WriteAll(out, *pBuf, size) &&
             rename(temp.c_str(), pszPath) == 0;
        if (out >= 0)
            close(out);
        if (!ok && out >= 0)
            unlink(temp.c_str());
    }
    close(fd);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const bool bNewFile = argc > 1 && std::strcmp(argv[1], "--new-file") == 0;
    char* buf = nullptr;
    size_t capacity = 0;
    int status = 0;
    for (int i = bNewFile ? 2 : 1; i < argc; ++i)
        if (!CopyPage(argv[i], bNewFile, &buf, &capacity))
            status = 1;
    std::free(buf);
    return status;
}
