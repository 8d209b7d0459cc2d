// A 2048 x 2048 DXT5 texture, as the game ships its largest ones (the standard DDS header, the
// full mipmap chain), decoded and turned into what a viewer window shows: RGBA, then each pixel
// over the checkerboard as 32-bit words that QImage and a Windows DIB take as they are. Also the
// PNG that cat --png and extract --png write of it. The texture is made here from a fixed seed.

#include "Dxt5Texture.h"
#include "media/Textures.h"
#include "platform/PngWriter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

using vellocar::bench::Dxt5Texture;
using vellocar::bench::kSide;

void DecodeAndShowDxt5(benchmark::State& state) {
    const std::vector<std::uint8_t> dds = Dxt5Texture();
    for (auto _ : state) {
        const vellocar::media::TImage image = vellocar::media::DecodeDds(dds);
        std::vector<std::uint32_t> shown = vellocar::media::OverCheckerboard(image);
        benchmark::DoNotOptimize(shown.data());
    }
    state.counters["pixels"] = double{kSide} * kSide;
}
BENCHMARK(DecodeAndShowDxt5)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void DecodeDxt5(benchmark::State& state) {
    const std::vector<std::uint8_t> dds = Dxt5Texture();
    for (auto _ : state) {
        const vellocar::media::TImage image = vellocar::media::DecodeDds(dds);
        benchmark::DoNotOptimize(image.Rgba.data());
    }
}
BENCHMARK(DecodeDxt5)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void WritePngOfDxt5(benchmark::State& state) {
    const vellocar::media::TImage image = vellocar::media::DecodeDds(Dxt5Texture());
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> png = vellocar::platform::EncodePng(image.Width, image.Height, image.Rgba);
        bytes = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(WritePngOfDxt5)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
