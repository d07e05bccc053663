// Throughput of the page rewrite on pages of 64 KiB, 1 MiB and 32 MiB with a
// reference about every KiB, for each charset rule; and the output buffer's
// growth in 32 KiB steps alone, against one block of the final size.
#include "bench/BenchPage.h"
#include "repair/PageRewrite.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>

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

} // namespace

BENCHMARK_MAIN();
