// PNG written by the system's encoder: the header as ordinary viewers read it, and on Linux the
// same pixels read back by libpng, alpha included.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "platform/PngWriter.h"
#ifndef _WIN32
#include "PngPixels.h"
#endif

#include <gtest/gtest.h>

namespace vellocar::test {
namespace {

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
#ifndef _WIN32
    EXPECT_EQ(ReadPng({reinterpret_cast<const char*>(png.data()), png.size()}), rgba);
#endif

    EXPECT_THROW(platform::EncodePng(3, 2, std::vector<std::uint8_t>(23)), EVellocarError);
    EXPECT_THROW(platform::EncodePng(0, 0, {}), EVellocarError);
}

} // namespace
} // namespace vellocar::test
