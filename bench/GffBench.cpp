// The GFF V3.2 reader and writer over a 1 MB area .git of about 50,000 fields (GffSample.h):
// bytes per second of the file, each way. JSON conversion runs on top of both, so each must stay
// well above the 20 MB/s that conversion has to reach.

#include "GffSample.h"

#include <benchmark/benchmark.h>

namespace {

using namespace vellocar;

void ReadGffAreaGit(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = gff::WriteGff(bench::AreaGitSample());
    for (auto _ : state) {
        const gff::TGff g = gff::ReadGff(bytes);
        benchmark::DoNotOptimize(g.Fields.data());
    }
    state.counters["fields"] = static_cast<double>(gff::ReadGff(bytes).Fields.size());
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(ReadGffAreaGit)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void WriteGffAreaGit(benchmark::State& state) {
    const gff::TGff g = bench::AreaGitSample();
    std::size_t size = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = gff::WriteGff(g);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(WriteGffAreaGit)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
