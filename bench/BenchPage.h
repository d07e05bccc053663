// A saved page for the benchmarks: ordinary markup with a reference into
// the "_files" folder about every KiB, its name escaped as Windows-1251.
#pragma once

#include <cstddef>
#include <string>

enum class BenchCharset { Other, Koi8r, Utf8 };

inline std::string MakeBenchPage(size_t size, BenchCharset charset) {
    std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
    page += charset == BenchCharset::Koi8r  ? "koi8-r"
            : charset == BenchCharset::Utf8 ? "utf-8"
                                            : "windows-1251";
    page += "\"><title>Bench</title></head><body>\n";
    // About 1 KiB of markup between references, quotes and all.
    std::string filler;
    while (filler.size() < 940)
        filler += "<p class=\"text\">Lorem ipsum dolor sit amet, consectetur adipiscing elit, "
                  "sed do eiusmod tempor.</p>\n";
    for (unsigned i = 0; page.size() < size; ++i) {
        page += filler;
        page += "<img src=\"page_files/%CF%F0%E8%EC%E5%F0_" + std::to_string(i) + ".png\">\n";
    }
    page.resize(size > 16 ? size - 16 : size);
    page += "</body></html>\n";
    page.resize(size, '\n');
    return page;
}
