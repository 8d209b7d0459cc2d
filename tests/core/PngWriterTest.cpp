// PNG written by the system's encoder and read back by the system's decoder: the same pixels,
// alpha included; the header as ordinary viewers read it.

#include "ArchiveBytes.h"
#include "Errors.h"
#include "PngWriter.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <wincodec.h>
#else
#include <png.h>
#endif

namespace vellocar::test {
namespace {

// The RGBA pixels of a PNG, through libpng's reader on Linux, the Windows Imaging Component's on
// Windows; empty when it does not read.
std::vector<std::uint8_t> ReadPng(const std::vector<std::uint8_t>& png) {
    std::vector<std::uint8_t> rgba;
#ifdef _WIN32
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* bgra = nullptr;
    UINT w = 0, h = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size()))) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame, &bgra)) &&
        SUCCEEDED(bgra->GetSize(&w, &h))) {
        rgba.resize(std::size_t{w} * h * 4);
        if (FAILED(bgra->CopyPixels(nullptr, w * 4, static_cast<UINT>(rgba.size()), rgba.data()))) rgba.clear();
        for (std::size_t i = 0; i < rgba.size(); i += 4) std::swap(rgba[i], rgba[i + 2]);
    }
    for (IUnknown* p : std::initializer_list<IUnknown*>{bgra, frame, decoder, stream, factory})
        if (p) p->Release();
#else
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        image.format = PNG_FORMAT_RGBA;
        rgba.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) rgba.clear();
    }
    png_image_free(&image);
#endif
    return rgba;
}

TEST(PngWriter, WritesPixelsThatReadBackExactly) {
    // 3 x 2: every channel and alpha level differs, so a swapped channel or a flip shows.
    const std::vector<std::uint8_t> rgba = {255, 0,  0,  255, 0,   255, 0,  128, 0, 0, 255, 0,
                                            10,  20, 30, 40,  200, 100, 50, 255, 1, 2, 3,   4};
    const std::vector<std::uint8_t> png = platform::EncodePng(3, 2, rgba);
    // The signature, then IHDR: 3 x 2, 8 bits, colour type 6 (RGBA), not interlaced.
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(TextAt(png, 1, 3), "PNG");
    EXPECT_EQ(TextAt(png, 12, 4), "IHDR");
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin() + 16, png.begin() + 29),
              (std::vector<std::uint8_t>{0, 0, 0, 3, 0, 0, 0, 2, 8, 6, 0, 0, 0}));
    EXPECT_EQ(ReadPng(png), rgba);

    EXPECT_THROW(platform::EncodePng(3, 2, std::vector<std::uint8_t>(23)), EVellocarError);
    EXPECT_THROW(platform::EncodePng(0, 0, {}), EVellocarError);
}

} // namespace
} // namespace vellocar::test
