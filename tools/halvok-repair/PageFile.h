// A page file as halvok-repair holds it: its descriptor, closed on scope
// exit, and the read of the whole page.
#pragma once

#include <cstddef>

#include <sys/types.h>
#include <unistd.h>

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
    void Reset(int fd) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd;
};

// Reads exactly cb bytes of the file from its start; false on an error or
// an early end. No call here ends with EINTR: every signal halvok-repair
// handles restarts it (SA_RESTART), and the others are ignored or end it.
inline bool ReadWhole(int fd, char* p, size_t cb) {
    size_t done = 0;
    while (done < cb) {
        const ssize_t n = pread(fd, p + done, cb - done, static_cast<off_t>(done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
