// Loading a large KEY and building the resource list lines the window shows, as this system shows them.
// The KEY is made by bench/make_data.py; its path comes from VELLOCAR_BENCH_KEY.

#include "formats/KeyFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

void LoadKeyAndListLines(benchmark::State& state) {
    const char* path = std::getenv("VELLOCAR_BENCH_KEY");
    if (!path || !*path) {
        state.SkipWithError("set VELLOCAR_BENCH_KEY to a KEY file");
        return;
    }
    std::size_t lines = 0;
    for (auto _ : state) {
        vellocar::TNWNKeyFile key;
        key.LoadFromFile(path);
        std::vector<std::string> list;
        for (const auto& bif : key.Filenames) {
            for (const auto& entry : bif.Resources) {
                std::string line;
                vellocar::AppendShownLine(line, entry);
                list.push_back(std::move(line));
            }
        }
        lines = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(LoadKeyAndListLines)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
