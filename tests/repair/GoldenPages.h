// The golden pages: golden/<name>.in.htm and the expected golden/<name>.out.htm
// in the source tree (HALVOK_GOLDEN_DIR, which Wine reaches as Z:...).
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct GoldenPage {
    std::string name, in, expected;
};

inline std::vector<GoldenPage> GoldenPages() {
#ifdef _WIN32
    const std::filesystem::path dir = "Z:" HALVOK_GOLDEN_DIR;
#else
    const std::filesystem::path dir = HALVOK_GOLDEN_DIR;
#endif
    std::vector<GoldenPage> pages;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        const size_t at = file.size() - std::min<size_t>(file.size(), 7);
        if (file.compare(at, 7, ".in.htm") == 0)
            pages.push_back({file.substr(0, at), ReadWholeFile(entry.path()),
                             ReadWholeFile(dir / (file.substr(0, at) + ".out.htm"))});
    }
    return pages;
}
