// The GFF reader's sample (GffSample.h: an area's .git of about 1 MB and 50,000 fields) turned
// into the community's JSON and back, as convert does: bytes read, JSON written through its sink; JSON read, GFF written. Both
// report MB/s of the GFF's bytes (the target: at least 20 MB/s each way) and the JSON's size.

#include "formats/Gff.h"
#include "GffSample.h"
#include "formats/GffJson.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace vellocar::gff;

std::vector<std::uint8_t> SampleGff() { return WriteGff(vellocar::bench::AreaGitSample()); }

void GffToJson1MB(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = SampleGff();
    std::size_t json = 0;
    for (auto _ : state) {
        json = 0;
        WriteGffJson(ReadGff(bytes), [&](std::string_view chunk) {
            json += chunk.size();
            return true;
        });
        benchmark::DoNotOptimize(json);
    }
    state.counters["gff_bytes"] = static_cast<double>(bytes.size());
    state.counters["json_bytes"] = static_cast<double>(json);
    state.counters["fields"] = static_cast<double>(ReadGff(bytes).Fields.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(GffToJson1MB)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void JsonToGff1MB(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = SampleGff();
    const std::string json = GffToJson(ReadGff(bytes));
    std::size_t written = 0;
    for (auto _ : state) {
        written = WriteGff(GffFromJson(json)).size();
        benchmark::DoNotOptimize(written);
    }
    state.counters["gff_bytes"] = static_cast<double>(written);
    state.counters["json_bytes"] = static_cast<double>(json.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(JsonToGff1MB)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
