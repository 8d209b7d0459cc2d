// A 64 MiB 2DA read as the viewer reads one: short cells, as the game's large tables have them
// (numbers, "****", a quoted name now and then), so that what each cell costs beside its bytes
// shows. Run alone under /usr/bin/time -v (--benchmark_filter=ParseTwoDa64MiB) for the peak
// memory, which should stay a small multiple of the 64 MiB.

#include "media/TwoDa.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTableBytes = std::size_t{64} << 20;

std::vector<std::uint8_t> TwoDaText() {
    std::string text = "2DA V2.0\n\nLabel A B C D E F G\n";
    for (std::uint32_t row = 0; text.size() < kTableBytes; ++row) {
        text += std::to_string(row);
        text += row % 16 == 0 ? " \"a b\"" : " x";
        for (std::uint32_t c = 0; c < 7; ++c) text += (row + c) % 3 == 0 ? " ****" : " " + std::to_string(c);
        text += "\r\n";
    }
    return {text.begin(), text.end()};
}

void ParseTwoDa64MiB(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = TwoDaText();
    std::size_t rows = 0;
    for (auto _ : state) {
        const vellocar::media::TTwoDa table = vellocar::media::ParseTwoDa(bytes);
        rows = table.RowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(ParseTwoDa64MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
