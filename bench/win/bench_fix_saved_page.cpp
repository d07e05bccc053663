// Times FixSavedPage on a 32 MiB page with a reference about every KiB, the
// in-memory rewrite alone, and the output buffer's growth in 32 KiB steps
// through the runtime's realloc. Prints one line per measurement.
// Usage: bench_fix_saved_page [MiB (default 32)] [repetitions (default 1)]
#include "bench/BenchPage.h"
#include "repair/FixSavedPage.h"
#include "repair/PageRewrite.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return double(t.QuadPart) / double(f.QuadPart);
}

bool WritePage(const std::string& path, const std::string& page) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, page.data(), DWORD(page.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == page.size();
}

void Report(const char* what, size_t bytes, double best, double total, int reps) {
    std::printf("%-40s best %8.2f ms  mean %8.2f ms  %7.0f MB/s (best)\n", what, best * 1e3,
                total / reps * 1e3, double(bytes) / best / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 32;
    const size_t size = mib << 20;
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    std::printf("page of %u MiB, %d repetition(s)\n", unsigned(mib), reps);
    const char* names[] = {"other", "koi8-r", "utf-8"};

    char temp[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, temp))
        return 1;
    const std::string path =
        std::string(temp) + "halvok-bench-" + std::to_string(GetCurrentProcessId()) + ".htm";
    wchar_t wpath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wpath, MAX_PATH))
        return 1;

    for (int c = 0; c < 3; ++c) {
        const std::string page = MakeBenchPage(size, BenchCharset(c));
        double best = 1e9, total = 0;
        std::string label = std::string("FixSavedPage, ") + names[c];
        for (int i = 0; i < reps; ++i) {
            if (!WritePage(path, page))
                return 1;
            const double t0 = Now();
            FixSavedPage(wpath);
            const double t = Now() - t0;
            best = std::min(best, t);
            total += t;
        }
        Report(label.c_str(), size, best, total, reps);

        best = 1e9, total = 0;
        label = std::string("RewriteSavedPage in memory, ") + names[c];
        for (int i = 0; i < reps; ++i) {
            GrowBufOwner out;
            const double t0 = Now();
            RewriteSavedPage(page.data(), int32_t(page.size()), &out.buf);
            const double t = Now() - t0;
            best = std::min(best, t);
            total += t;
        }
        Report(label.c_str(), size, best, total, reps);
    }
    DeleteFileA(path.c_str());

    // The page size in 1 KiB pieces with 32 KiB steps: how often realloc moved the
    // block, and the time against one block of the final size.
    static char chunk[1024];
    std::memset(chunk, 'x', sizeof chunk);
    for (int prealloc = 0; prealloc < 2; ++prealloc) {
        double best = 1e9, total = 0;
        int moves = 0;
        for (int i = 0; i < reps; ++i) {
            GrowBufOwner out;
            if (prealloc) {
                out.buf.capacity = int32_t(size) + 1;
                out.buf.data = static_cast<char*>(std::malloc(size + 1));
            }
            moves = 0;
            const double t0 = Now();
            for (size_t done = 0; done < size; done += sizeof chunk) {
                const char* before = out.buf.data;
                GrowBufAppend(&out.buf, chunk, int32_t(sizeof chunk), 0x8000);
                moves += before && out.buf.data != before;
            }
            const double t = Now() - t0;
            best = std::min(best, t);
            total += t;
        }
        Report(prealloc ? "GrowBuf appends, one block" : "GrowBuf appends, 32 KiB steps", size,
               best, total, reps);
        if (!prealloc)
            std::printf("%-40s %d of %u growths moved the block\n", "", moves,
                        unsigned(size / 0x8000 - 1));
    }
    return 0;
}
