// halvok-repair PAGE...: repairs saved pages in place on Linux with the same
// rewrite as the Windows program, and says for each page what became of it.
#include "repair/PageRewrite.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file descriptor, closed on scope exit (which also drops its lock).
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Writes cb bytes at the start of the file and cuts it there. 0, or the
// errno of the step that failed.
int WriteWhole(int fd, const char* p, size_t cb) {
    size_t done = 0;
    while (done < cb) {
        const ssize_t n = pwrite(fd, p + done, cb - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        done += static_cast<size_t>(n);
    }
    if (ftruncate(fd, static_cast<off_t>(cb)) != 0)
        return errno;
    return 0;
}

// Reads exactly cb bytes from the start; false on error or early end.
bool ReadWhole(int fd, char* p, size_t cb) {
    size_t done = 0;
    while (done < cb) {
        const ssize_t n = pread(fd, p + done, cb - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Repairs one page; returns the outcome word(s) for its line.
std::string RepairPage(const char* pszPath) {
    FileDescriptor file(open(pszPath, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0)
        return "skipped: " + ErrnoText(errno);
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? "skipped: locked by another program"
                                    : "skipped: " + ErrnoText(errno);
    struct stat st;
    if (fstat(file.Get(), &st) != 0)
        return "skipped: " + ErrnoText(errno);
    if (!S_ISREG(st.st_mode))
        return "skipped: not a regular file";
    if (st.st_size >= INT_MAX)
        return "skipped: too large";
    const size_t size = static_cast<size_t>(st.st_size);

    std::unique_ptr<char, MallocDeleter> page(static_cast<char*>(std::malloc(size + 1)));
    if (!page)
        return "skipped: out of memory";
    if (!ReadWhole(file.Get(), page.get(), size))
        return "skipped: read failed";
    page.get()[size] = '\0';

    GrowBufOwner out;
    switch (RewriteSavedPage(page.get(), static_cast<int32_t>(size), &out.buf)) {
    case PageRepair::Leave:
        return std::memchr(page.get(), 0, size) ? "skipped: holds a zero byte"
                                                : "skipped: out of memory";
    case PageRepair::Unchanged:
        return "unchanged";
    case PageRepair::Rewritten:
        break;
    }
    const int err = WriteWhole(file.Get(), out.buf.data, static_cast<size_t>(out.buf.used));
    if (err == 0)
        return "rewritten";
    // The page text was never modified: put it back as it was read.
    const int errRestore = WriteWhole(file.Get(), page.get(), size);
    if (errRestore == 0)
        return "skipped: write failed (" + ErrnoText(err) + "), original restored";
    return "skipped: write failed (" + ErrnoText(err) + "), restore failed (" +
           ErrnoText(errRestore) + ")";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: halvok-repair PAGE...\n"
                     "Repairs the percent-escaped references of saved web pages in place.\n");
        return 2;
    }
    // A write beyond the file-size limit must fail with EFBIG, so that the
    // original can be restored, rather than end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        const std::string outcome = RepairPage(argv[i]);
        std::printf("%s %s\n", argv[i], outcome.c_str());
        std::fflush(stdout);
    }
    return 0;
}
