// Whole runs of halvok-repair over page files, as processes, each beside
// runs of the two floors in the same iteration: the in-place floor
// (repair_floor: every page read whole and written back unchanged in place)
// and the atomic floor (repair_floor --new-file: every page read whole,
// written to a new file in its folder and renamed over it, the least any
// write-back that replaces a page whole can cost). Two sets of pages: a
// batch of 400 pages of 20-400 KB (80 MB, the three charsets in turn) and
// one 32 MiB page with a reference about every KiB. Every run starts from
// freshly written pages, still in the page cache (on_disk:0) or flushed to
// the disk first (on_disk:1, as pages saved long ago are; a write-back that
// replaces a file then also frees the old file's blocks).
//
// Programs: halvok-repair as users run it, and halvok-repair on pages that
// each have a second hard link, so that it writes them back in place.
// Reported per program: its time, the floors' (atomic_ms, in_place_ms) and
// its ratio to each (x_atomic, x_in_place), each the median over the
// repetitions. Build Release and run e.g.
// bench_repair_files --benchmark_filter=batch
#include "bench/BenchPage.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

enum class Program { HalvokRepair, HalvokRepairInPlace };

std::string g_binDir; // where the bench, halvok-repair and repair_floor lie
std::string g_workDir;

const std::vector<std::string>& Pages(bool bBatch) {
    static std::vector<std::string> batch, big;
    std::vector<std::string>& pages = bBatch ? batch : big;
    if (pages.empty() && bBatch) {
        for (size_t i = 0; i < 400; ++i)
            pages.push_back(MakeBenchPage(20000 + (i * 7919 % 400) * 950, BenchCharset(i % 3)));
    } else if (pages.empty()) {
        pages.push_back(MakeBenchPage(32 << 20, BenchCharset::Other));
    }
    return pages;
}

// Writes the pages afresh into pages/ (and a second link of each into
// links/), flushed to the disk when asked. Returns their paths, or none.
std::vector<std::string> PutPages(const std::vector<std::string>& pages, bool bLinks,
                                  bool bOnDisk) {
    std::error_code ec;
    fs::remove_all(g_workDir + "/pages", ec);
    fs::remove_all(g_workDir + "/links", ec);
    fs::create_directories(g_workDir + "/pages", ec);
    if (bLinks)
        fs::create_directories(g_workDir + "/links", ec);
    std::vector<std::string> paths;
    for (size_t i = 0; i < pages.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03u.htm", unsigned(i));
        const std::string path = g_workDir + "/pages" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(pages[i].data(), 1, pages[i].size(), f) == pages[i].size();
        if (!f || std::fclose(f) != 0 || !ok ||
            (bLinks && link(path.c_str(), (g_workDir + "/links" + name).c_str()) != 0))
            return {};
        paths.push_back(path);
    }
    if (bOnDisk) {
        const int fd = open(g_workDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || syncfs(fd) != 0)
            paths.clear();
        if (fd >= 0)
            close(fd);
    }
    return paths;
}

// Runs the program with its output to /dev/null; its wall time in seconds,
// or a negative number when it could not run or did not exit with 0.
double TimeRun(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int status = -1;
    const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    if (started)
        waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    posix_spawn_file_actions_destroy(&actions);
    return started && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

void WholeRun(benchmark::State& state, bool bBatch, Program program, bool bOnDisk) {
    const std::vector<std::string>& pages = Pages(bBatch);
    size_t bytes = 0;
    for (const std::string& page : pages)
        bytes += page.size();
    const auto timeOn = [&](std::vector<std::string> head, bool bLinks) {
        std::vector<std::string> args = PutPages(pages, bLinks, bOnDisk);
        args.insert(args.begin(), head.begin(), head.end());
        return TimeRun(args);
    };
    for (auto _ : state) {
        const double inPlace = timeOn({g_binDir + "/repair_floor"}, false);
        const double atomic = timeOn({g_binDir + "/repair_floor", "--new-file"}, false);
        const double run =
            timeOn({g_binDir + "/halvok-repair"}, program == Program::HalvokRepairInPlace);
        if (inPlace <= 0 || atomic <= 0 || run <= 0) {
            state.SkipWithError("a run failed");
            break;
        }
        state.SetIterationTime(run);
        state.counters["in_place_ms"] = inPlace * 1e3;
        state.counters["atomic_ms"] = atomic * 1e3;
        state.counters["x_in_place"] = run / inPlace;
        state.counters["x_atomic"] = run / atomic;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

} // namespace

int main(int argc, char** argv) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    g_binDir = fs::path(std::string(self, size_t(n))).parent_path().string();
    const char* tmp = std::getenv("TMPDIR");
    std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/halvok-bench-XXXXXX";
    if (!mkdtemp(&work[0]))
        return 1;
    g_workDir = work;

    const struct {
        const char* name;
        Program program;
    } programs[] = {{"halvok-repair", Program::HalvokRepair},
                    {"halvok-repair-in-place", Program::HalvokRepairInPlace}};
    for (const bool bBatch : {true, false})
        for (const auto& p : programs)
            for (const bool bOnDisk : {false, true}) {
                const std::string name = std::string("WholeRun/") + (bBatch ? "batch" : "big") +
                                         "/" + p.name + "/on_disk:" + (bOnDisk ? "1" : "0");
                const Program program = p.program;
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [=](benchmark::State& state) { WholeRun(state, bBatch, program, bOnDisk); })
                    ->UseManualTime()
                    ->Iterations(1)
                    ->Repetitions(5)
                    ->ReportAggregatesOnly(true)
                    ->Unit(benchmark::kMillisecond);
            }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(g_workDir, ec);
    return 0;
}
