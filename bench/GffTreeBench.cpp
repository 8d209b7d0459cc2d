// A GFF of about 1 MB and 50,000 fields (a module's palette or a large area's instances: a list
// of 2,500 structs of 20 fields of every common kind) read from its bytes and made into the tree
// the viewer shows, then its first screenful of lines, as a window opening it draws them.

#include "formats/Gff.h"
#include "ViewerViews.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kStructs = 2500;
constexpr std::uint32_t kFieldsEach = 20;

std::vector<std::uint8_t> SampleGff() {
    using vellocar::gff::TGffType;
    vellocar::gff::TGff g;
    g.FileType = "GIT ";
    const TGffType kinds[kFieldsEach] = {
        TGffType::Byte,   TGffType::Int,        TGffType::Float,     TGffType::ExoString, TGffType::ResRef,
        TGffType::Dword,  TGffType::ExoLocString, TGffType::Short,   TGffType::Word,      TGffType::Char,
        TGffType::Int64,  TGffType::Double,     TGffType::ExoString, TGffType::Float,     TGffType::Float,
        TGffType::Float,  TGffType::Byte,       TGffType::Dword64,   TGffType::ResRef,    TGffType::Void};
    for (std::uint32_t k = 0; k < kFieldsEach; ++k) g.Labels.push_back("Field" + std::to_string(k));
    g.Labels.push_back("List");
    g.Structs.push_back({vellocar::gff::kRootStructId, 0, 1});
    g.Fields.push_back({kFieldsEach, TGffType::List, 0, 0});
    g.Lists.push_back({0, kStructs});
    for (std::uint32_t s = 0; s < kStructs; ++s) {
        g.ListItems.push_back(s + 1);
        g.Structs.push_back({s % 7, static_cast<std::uint32_t>(g.Fields.size()), kFieldsEach});
        for (std::uint32_t k = 0; k < kFieldsEach; ++k) {
            vellocar::gff::TGffField f{k, kinds[k], (s * 31 + k) % 200, 0};
            if (kinds[k] == TGffType::ExoString || kinds[k] == TGffType::ResRef || kinds[k] == TGffType::Void) {
                f.Ref = static_cast<std::uint32_t>(g.Data.size());
                g.Data.push_back("obj_" + std::to_string(s) + "_" + std::to_string(k));
            } else if (kinds[k] == TGffType::ExoLocString) {
                f.Ref = static_cast<std::uint32_t>(g.LocStrings.size());
                g.LocStrings.push_back({s, {{0, "Placeable " + std::to_string(s)}}});
            }
            g.Fields.push_back(f);
        }
    }
    return vellocar::gff::WriteGff(g);
}

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
