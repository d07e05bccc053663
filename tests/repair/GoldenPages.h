// The golden pages: golden/<name>.in.htm and the expected golden/<name>.out.htm
// in the source tree (HALVOK_GOLDEN_DIR, which Wine reaches as Z:...), and
// golden/<name>.folder, where there is one, the suffix of the page's folder
// ("_files" where there is none).
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
    std::string name, in, expected, folderSuffix;
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
        if (file.compare(at, 7, ".in.htm") != 0)
            continue;
        const std::string name = file.substr(0, at);
        std::string suffix = ReadWholeFile(dir / (name + ".folder"));
        pages.push_back({name, ReadWholeFile(entry.path()), ReadWholeFile(dir / (name + ".out.htm")),
                         suffix.empty() ? "_files" : suffix});
    }
    return pages;
}
