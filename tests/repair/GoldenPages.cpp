// Reading the golden pages; the folder comes from the build
// (HALVOK_GOLDEN_DIR), as a Linux path that Wine reaches as Z:\...
#include "tests/repair/GoldenPages.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

std::string GoldenDir() {
    std::string dir = HALVOK_GOLDEN_DIR;
#ifdef _WIN32
    std::replace(dir.begin(), dir.end(), '/', '\\');
    return "Z:" + dir + "\\";
#else
    return dir + "/";
#endif
}

std::vector<GoldenPage> GoldenPages() {
    static const std::string kSuffix = ".in.htm";
    std::vector<std::string> files;
#ifdef _WIN32
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((GoldenDir() + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            files.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
#else
    if (DIR* d = opendir(GoldenDir().c_str())) {
        while (dirent* e = readdir(d))
            files.push_back(e->d_name);
        closedir(d);
    }
#endif
    std::sort(files.begin(), files.end());
    std::vector<GoldenPage> pages;
    for (const std::string& f : files) {
        if (f.size() <= kSuffix.size() ||
            f.compare(f.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        GoldenPage page{f.substr(0, f.size() - kSuffix.size()), "", ""};
        if (!ReadWholeFile(GoldenDir() + f, &page.in) ||
            !ReadWholeFile(GoldenDir() + page.name + ".out.htm", &page.expected))
            return {};
        pages.push_back(page);
    }
    return pages;
}

bool ReadWholeFile(const std::string& path, std::string* pBytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    pBytes->clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        pBytes->append(chunk, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
