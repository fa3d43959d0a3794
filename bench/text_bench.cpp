#include "resultpage.h"
#include "text/htmltotext.h"
#include "text/strsearch.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <map>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Pages are made once per size, outside the timed loops.
const Text& pageOfSize(int64_t size) {
    static std::map<int64_t, Text> pages;
    auto it = pages.find(size);
    if (it == pages.end())
        it = pages.emplace(size, makeResultPage(static_cast<size_t>(size))).first;
    return it->second;
}

void setPageCounters(benchmark::State& state, const Text& page) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
    state.counters["tags"] = static_cast<double>(CountText(page, "<", true));
}

void BM_HtmlToText(benchmark::State& state) {
    const Text& page = pageOfSize(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(HtmlToText(page, ""));
    setPageCounters(state, page);
}

void BM_ReplaceNbsp(benchmark::State& state) {
    const Text& page = pageOfSize(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReplaceText(page, "&nbsp;", " ", false));
    setPageCounters(state, page);
}

void BM_SplitResults(benchmark::State& state) {
    const Text& page = pageOfSize(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitText(page, kResultDelimiter, true));
    setPageCounters(state, page);
}

void pageSizes(benchmark::internal::Benchmark* b) {
    for (int64_t kb : {64, 256, 1024, 4096})
        b->Arg(kb << 10);
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_HtmlToText)->Apply(pageSizes);
BENCHMARK(BM_ReplaceNbsp)->Apply(pageSizes);
BENCHMARK(BM_SplitResults)->Apply(pageSizes);

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // By default glibc hands buffers of a page's size back to the system and maps them afresh
    // on the next call. The page faults that follow (costly in a VM) then swamp the routines and
    // vary with the order the benchmarks run in, so keep freed memory in the heap instead.
    // MT_BENCH_DEFAULT_MALLOC=1 measures with the allocator as it comes.
    if (!std::getenv("MT_BENCH_DEFAULT_MALLOC")) {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
    }
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
