// A 2048 x 2048 DXT5 texture, as the game ships its largest ones (the standard DDS header, the
// full mipmap chain), decoded into what a viewer window shows: each pixel over the checkerboard
// as 32-bit words that QImage and a Windows DIB take as they are, as the viewer opens it, and
// again with other channels or another mipmap level, and the pixel under the mouse. Also the
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

using vellocar::media::TChannels;
using vellocar::media::TShownTexture;
using vellocar::media::TTextureType;

// As a viewer opens it: the header read, level 0 decoded over the checkerboard into a new buffer.
void DecodeAndShowDxt5(benchmark::State& state) {
    const std::vector<std::uint8_t> dds = Dxt5Texture();
    for (auto _ : state) {
        const TShownTexture shown(TTextureType::Dds, dds);
        benchmark::DoNotOptimize(shown.Pixels().data());
    }
    state.counters["pixels"] = double{kSide} * kSide;
}
BENCHMARK(DecodeAndShowDxt5)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A channel button: the same level again, into the buffer already there.
void ChangeChannelsDxt5(benchmark::State& state) {
    const std::vector<std::uint8_t> dds = Dxt5Texture();
    TShownTexture shown(TTextureType::Dds, dds);
    bool alpha = false;
    for (auto _ : state) {
        shown.Show(0, (alpha = !alpha) ? TChannels::Alpha : TChannels::Rgba);
        benchmark::DoNotOptimize(shown.Pixels().data());
    }
}
BENCHMARK(ChangeChannelsDxt5)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The status line's pixel as the mouse moves: one block decoded.
void PixelUnderMouseDxt5(benchmark::State& state) {
    const std::vector<std::uint8_t> dds = Dxt5Texture();
    const TShownTexture shown(TTextureType::Dds, dds);
    std::uint32_t x = 0;
    for (auto _ : state) {
        x = (x + 37) % kSide;
        benchmark::DoNotOptimize(shown.Pixel(x, kSide - 1 - x));
    }
}
BENCHMARK(PixelUnderMouseDxt5)->Unit(benchmark::kNanosecond);

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
