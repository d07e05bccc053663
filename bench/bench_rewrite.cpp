// Throughput of the page rewrite on pages of 64 KiB, 1 MiB and 32 MiB with a
// reference about every KiB, for each charset rule; the output buffer's
// growth in 32 KiB steps alone, against one block of the final size; and
// halvok-repair --check of a page file, and the rewrite, on 4 MiB pages of
// contents that would make a scan quadratic.
#include "bench/BenchPage.h"
#include "repair/PageRewrite.h"
#include "tools/halvok-repair/PageAudit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string& Page(size_t size, BenchCharset charset) {
    static std::map<std::pair<size_t, int>, std::string> pages;
    std::string& page = pages[{size, int(charset)}];
    if (page.empty())
        page = MakeBenchPage(size, charset);
    return page;
}

void BM_RewriteSavedPage(benchmark::State& state) {
    const std::string& page = Page(size_t(state.range(0)), BenchCharset(state.range(1)));
    for (auto _ : state) {
        GrowBufOwner out;
        const PageRepair result = RewriteSavedPage(page.data(), int32_t(page.size()), &out.buf);
        if (result != PageRepair::Rewritten)
            state.SkipWithError("page not rewritten");
        benchmark::DoNotOptimize(out.buf.data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}
BENCHMARK(BM_RewriteSavedPage)
    ->ArgNames({"size", "charset"})
    ->ArgsProduct({{64 << 10, 1 << 20, 32 << 20}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

// 32 MiB appended in 1 KiB pieces: in fixed 32 KiB steps (the rewrite's
// rule), or into a block allocated once.
void BM_GrowBufSteps(benchmark::State& state) {
    const int32_t total = 32 << 20, piece = 1024;
    static char chunk[1024];
    std::memset(chunk, 'x', sizeof chunk);
    for (auto _ : state) {
        GrowBufOwner out;
        if (state.range(0)) {
            out.buf.capacity = total + 1;
            out.buf.data = static_cast<char*>(std::malloc(size_t(out.buf.capacity)));
        }
        for (int32_t done = 0; done < total; done += piece)
            GrowBufAppend(&out.buf, chunk, piece, 0x8000);
        benchmark::DoNotOptimize(out.buf.data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * total);
}
BENCHMARK(BM_GrowBufSteps)->ArgName("preallocated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 4 MiB of: a saved page with a reference every KiB; then a piece repeated
// after an opening text, each a way to make a scan go back or ahead again
// and again; references to 250,000 files that are not there; random bytes.
const struct {
    const char *open, *piece;
} kHostile[] = {
    {"", ""},
    {"", "url("},
    {"<style>", "url("},
    {"<p style=\"", "url(\"page_files/"},
    {"", "<a href=\""},
    {"", "<a href="},
    {"<a ", "=\""},
    {"", "<!--"},
    {"", "<base "},
    {"<img srcset=\"", "page_files/x, "},
    {"<img src=\"page_files/", "%C0&#1"},
    {"<img src=\"", "page_files/../"},
    {"", "\"_files%"},
    {"", "\"page_files/%D0%90%C0 "},
    {"<img srcset=\"", nullptr}, // page_files/xN, for N = 0, 1, ...
    {nullptr, nullptr},
};
constexpr int kHostileCount = sizeof kHostile / sizeof kHostile[0];

const std::string& HostilePage(size_t i) {
    static std::map<size_t, std::string> pages;
    std::string& page = pages[i];
    const size_t size = 4 << 20;
    if (!page.empty())
        return page;
    if (i == 0)
        return page = MakeBenchPage(size, BenchCharset::Utf8);
    if (!kHostile[i].open) {
        std::mt19937 rng(1);
        while (page.size() < size)
            page += char(rng());
        return page;
    }
    page = kHostile[i].open;
    for (unsigned n = 0; page.size() < size; ++n)
        page += kHostile[i].piece ? kHostile[i].piece : "page_files/x" + std::to_string(n) + ", ";
    return page;
}

// --check of the page as a file beside its folder (empty): the reading of
// its references and the look for each file.
void BM_CheckPage(benchmark::State& state) {
    const std::string& page = HostilePage(size_t(state.range(0)));
    char dir[] = "/tmp/bench-check-XXXXXX";
    if (!mkdtemp(dir))
        return state.SkipWithError("no folder");
    const std::string path = std::string(dir) + "/page.htm",
                      folder = std::string(dir) + "/page_files";
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool bWritten = f && std::fwrite(page.data(), 1, page.size(), f) == page.size();
    if (f)
        std::fclose(f);
    mkdir(folder.c_str(), 0700);
    for (auto _ : state) {
        if (!bWritten)
            state.SkipWithError("page not written");
        benchmark::DoNotOptimize(AuditPageFile(path));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
    std::remove(path.c_str());
    rmdir(folder.c_str());
    rmdir(dir);
}
BENCHMARK(BM_CheckPage)
    ->ArgName("page")
    ->DenseRange(0, kHostileCount - 1)
    ->Unit(benchmark::kMillisecond);

void BM_RewriteHostile(benchmark::State& state) {
    const std::string& page = HostilePage(size_t(state.range(0)));
    for (auto _ : state) {
        GrowBufOwner out;
        benchmark::DoNotOptimize(RewriteSavedPage(page.data(), int32_t(page.size()), &out.buf));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}
BENCHMARK(BM_RewriteHostile)
    ->ArgName("page")
    ->DenseRange(0, kHostileCount - 1)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
