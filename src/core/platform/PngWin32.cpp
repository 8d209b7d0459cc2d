// PNG through the Windows Imaging Component, which every Windows since XP SP3 carries: its PNG
// encoder writes into a stream in memory.

#include "platform/PngWriter.h"

#include "base/Errors.h"

#include <windows.h>
#include <objidl.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace vellocar::platform {

namespace {

constexpr std::size_t kBytesPerPixel = 4;
// Rows handed to the encoder at a time: the pixels are turned into its order (blue, green, red,
// alpha) that many rows at once, not all in a second copy.
constexpr std::uint32_t kRowsPerBatch = 64;

// A COM interface pointer, released when it goes.
template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    ~TComPtr() {
        if (p_) p_->Release();
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    T** Out() { return &p_; }

private:
    T* p_ = nullptr;
};

// COM for this thread while it is needed. A thread that already has it (the window's, in
// another apartment model) keeps it as it is.
class TComScope {
public:
    TComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;
    ~TComScope() {
        if (initialised_) CoUninitialize();
    }

private:
    bool initialised_;
};

[[noreturn]] void Failed(std::uint32_t width, std::uint32_t height, const char* step, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw EVellocarError("Cannot write a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels: the Windows Imaging Component failed to " + step + " (" + code + ")");
}

} // namespace

std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    if (width == 0 || height == 0 || width > 0x1FFFFFFF || rgba.size() / kBytesPerPixel / width != height ||
        rgba.size() % (kBytesPerPixel * width) != 0)
        throw EVellocarError("Cannot write a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels from " + std::to_string(rgba.size()) + " bytes");
    auto check = [&](HRESULT hr, const char* step) {
        if (FAILED(hr)) Failed(width, height, step, hr);
    };
    const TComScope com;
    TComPtr<IWICImagingFactory> factory;
    check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           reinterpret_cast<void**>(factory.Out())),
          "start");
    TComPtr<IStream> stream;
    check(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()), "make a stream in memory");
    TComPtr<IWICBitmapEncoder> encoder;
    check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out()), "make a PNG encoder");
    check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "start the PNG");
    TComPtr<IWICBitmapFrameEncode> frame;
    TComPtr<IPropertyBag2> options;
    check(encoder->CreateNewFrame(frame.Out(), options.Out()), "add the picture");
    check(frame->Initialize(options.Get()), "start the picture");
    check(frame->SetSize(width, height), "size the picture");
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    check(frame->SetPixelFormat(&format), "set the pixel format");
    if (!IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA)) Failed(width, height, "take 32-bit BGRA pixels", E_FAIL);

    const std::size_t rowBytes = std::size_t{width} * kBytesPerPixel;
    std::vector<std::uint8_t> batch(rowBytes * std::min(height, kRowsPerBatch));
    for (std::uint32_t row = 0; row < height; row += kRowsPerBatch) {
        const std::uint32_t rows = std::min(kRowsPerBatch, height - row);
        const std::uint8_t* in = rgba.data() + rowBytes * row;
        for (std::size_t i = 0; i < rowBytes * rows; i += kBytesPerPixel) {
            batch[i] = in[i + 2];
            batch[i + 1] = in[i + 1];
            batch[i + 2] = in[i];
            batch[i + 3] = in[i + 3];
        }
        check(frame->WritePixels(rows, static_cast<UINT>(rowBytes), static_cast<UINT>(rowBytes * rows), batch.data()),
              "take the pixels");
    }
    check(frame->Commit(), "finish the picture");
    check(encoder->Commit(), "finish the PNG");

    STATSTG stat{};
    check(stream->Stat(&stat, STATFLAG_NONAME), "measure the PNG");
    HGLOBAL memory = nullptr;
    check(GetHGlobalFromStream(stream.Get(), &memory), "reach the PNG");
    const void* bytes = GlobalLock(memory);
    if (!bytes) Failed(width, height, "reach the PNG", HRESULT_FROM_WIN32(GetLastError()));
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    std::vector<std::uint8_t> png(first, first + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return png;
}

} // namespace vellocar::platform
