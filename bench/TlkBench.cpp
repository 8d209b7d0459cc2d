// A talk table the size of the game's dialog.tlk (about 14 MB, 100,000 entries: texts of 20 to
// 200 bytes in Windows-1252, a sound on every tenth) opened as the viewer opens one, and the text
// of every 100th strref looked up. The copy of the bytes that Read takes is inside the timing: the
// real caller moves a file it has just read, so this is the harder figure.

#include "formats/Tlk.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kEntries = 100'000;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> DialogSizedTable() {
    const std::size_t textsAt = 20 + std::size_t{40} * kEntries;
    std::vector<std::uint8_t> b(textsAt);
    const std::string head = "TLK V3.0";
    std::copy(head.begin(), head.end(), b.begin());
    Put32(b, 12, kEntries);
    Put32(b, 16, static_cast<std::uint32_t>(textsAt));
    std::uint32_t seed = 12345, offset = 0;
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::uint32_t size = 20 + (seed >> 8) % 181;
        const std::size_t entry = 20 + std::size_t{40} * i;
        Put32(b, entry, i % 10 == 0 ? 7 : 1);
        if (i % 10 == 0) b[entry + 4] = 'v';
        Put32(b, entry + 28, offset);
        Put32(b, entry + 32, size);
        for (std::uint32_t c = 0; c < size; ++c)
            b.push_back(c % 37 == 36 ? 0xE9 : static_cast<std::uint8_t>('a' + c % 26));
        offset += size;
    }
    return b;
}

void OpenDialogSizedTlk(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = DialogSizedTable();
    std::size_t shown = 0;
    for (auto _ : state) {
        const vellocar::tlk::TTalkTable table = vellocar::tlk::TTalkTable::Read(bytes);
        shown = 0;
        for (std::uint32_t strref = 0; strref < kEntries; strref += 100) shown += table.Text(strref)->size();
        benchmark::DoNotOptimize(shown);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.counters["text_bytes_shown"] = static_cast<double>(shown);
}
BENCHMARK(OpenDialogSizedTlk)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
