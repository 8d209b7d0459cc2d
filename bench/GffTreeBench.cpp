// A GFF of about 1 MB and 50,000 fields (the GFF benchmarks' large area .git, GffSample.h) read
// from its bytes and made into the tree the viewer shows, then its first screenful of lines, as a
// window opening it draws them.

#include "formats/Gff.h"
#include "GffSample.h"
#include "ViewerViews.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> SampleGff() { return vellocar::gff::WriteGff(vellocar::bench::AreaGitSample()); }

void ShowGffTree(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = SampleGff();
    std::size_t lines = 0;
    for (auto _ : state) {
        const vellocar::gff::TGff gff = vellocar::gff::ReadGff(bytes);
        const vellocar::ui::GffTree tree(gff, {});
        // The top line opened and the first 40 lines below it drawn.
        const auto list = tree.Child(vellocar::ui::ViewerTree::kViewerRoot, 0);
        for (std::size_t i = 0; i < 40 && i < tree.ChildCount(list); ++i)
            for (std::size_t c = 0; c < tree.ColumnCount(); ++c)
                benchmark::DoNotOptimize(tree.Cell(tree.Child(list, i), c));
        lines = tree.NodeCount();
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(ShowGffTree)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The tree alone, from the model already read.
void BuildGffTree(benchmark::State& state) {
    const vellocar::gff::TGff gff = vellocar::gff::ReadGff(SampleGff());
    for (auto _ : state) {
        const vellocar::ui::GffTree tree(gff, {});
        benchmark::DoNotOptimize(tree.NodeCount());
    }
}
BENCHMARK(BuildGffTree)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
