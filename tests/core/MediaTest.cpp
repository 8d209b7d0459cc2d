// The media decoders on small pictures written byte by byte here: every pixel compared, rows
// the right way up; the refusals of headers that claim more than their bytes hold; 2DA tables;
// text and hex dumps.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "media/HexDump.h"
#include "media/Textures.h"
#include "media/TextView.h"
#include "media/TwoDa.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <tuple>

namespace vellocar::test {
namespace {

using media::TImage;
using Px = std::array<std::uint8_t, 4>; // red, green, blue, alpha

constexpr Px kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kClear{0, 0, 0, 0};
constexpr Px kGhost{255, 255, 255, 128};

std::vector<std::uint8_t> Picture(std::uint32_t w, std::uint32_t h,
                                  const std::function<Px(std::uint32_t, std::uint32_t)>& at) {
    std::vector<std::uint8_t> rgba;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const Px p = at(x, y);
            rgba.insert(rgba.end(), p.begin(), p.end());
        }
    return rgba;
}

// A 4 x 4 Latin square of four colours, top row first: a flip or a mirror shows.
Px Latin(std::uint32_t x, std::uint32_t y, bool opaque) {
    const Px p = std::array{kRed, kGreen, kBlue, kGhost}[(x + y) % 4];
    return opaque ? Px{p[0], p[1], p[2], 255} : p;
}

// A TGA: header, a 3-byte image ID, then body. descriptor: bit 5 top first, bit 4 right to left.
Bytes TgaBytes(std::uint8_t type, std::uint8_t bits, std::uint8_t descriptor, const Bytes& body,
               std::uint16_t side = 4) {
    return Bytes{3, 0, type}.Zeros(9).U16(side).U16(side).Append({bits, descriptor}).Text("id!").Append(body);
}

// The Latin square's pixels in a TGA's stored order and form.
Bytes TgaLatin(std::uint8_t bits, bool topFirst, bool rightToLeft) {
    Bytes b;
    for (std::uint32_t row = 0; row < 4; ++row)
        for (std::uint32_t column = 0; column < 4; ++column) {
            const Px p = Latin(rightToLeft ? 3 - column : column, topFirst ? row : 3 - row, false);
            b.Append({p[2], p[1], p[0]});
            if (bits == 32) b.push_back(p[3]);
        }
    return b;
}

// A DXT colour block: two 5-6-5 colours, then a 2-bit index per pixel, row by row.
Bytes ColourBlock(std::uint16_t c0, std::uint16_t c1, std::array<std::uint8_t, 4> rowIndex) {
    return Bytes().U16(c0).U16(c1).U32(rowIndex[0] * 0x55u | rowIndex[1] * 0x5500u | rowIndex[2] * 0x550000u |
                                       rowIndex[3] * 0x55000000u);
}

Bytes DdsBytes(std::uint32_t w, std::uint32_t h, const char* fourCC, const Bytes& data, std::uint32_t mips = 0,
               std::uint32_t rgbBits = 0, std::array<std::uint32_t, 4> masks = {}) {
    Bytes b;
    b.Text("DDS ").U32(124).U32(0x1007 | (mips ? 0x20000 : 0)).U32(h).U32(w).U32(0).U32(0).U32(mips).Zeros(44);
    // The pixel format's flags: a four-character code, or RGB with alpha when there is a mask for it.
    b.U32(32).U32(fourCC ? 4 : masks[3] ? 0x41 : 0x40).Text(fourCC ? fourCC : "", 4).U32(rgbBits);
    for (std::uint32_t m : masks) b.U32(m);
    return b.U32(0x1000).Zeros(16).Append(data);
}

Bytes GameDds(std::uint32_t w, std::uint32_t h, std::uint32_t channels, const Bytes& data) {
    return Bytes().U32(w).U32(h).U32(channels).U32(data.Size()).U32(0x3F800000).Append(data);
}

// 8 x 4 of DXT1 in the game's order: the first stored row at the bottom. The left block is red
// in its first stored row, then blue, then the two colours between; the right block uses the
// 3-colour form (first colour not the greater): blue, red, their mean, transparent.
Px Dxt1Expected(std::uint32_t x, std::uint32_t y) {
    const std::uint32_t stored = 3 - y;
    if (x < 4) return std::array{kRed, kBlue, Px{170, 0, 85, 255}, Px{85, 0, 170, 255}}[stored];
    return std::array{kBlue, kRed, Px{127, 0, 127, 255}, kClear}[stored];
}

struct TPictureCase {
    const char* Name;
    Bytes File;
    std::uint32_t Width, Height;
    std::function<Px(std::uint32_t, std::uint32_t)> Expected;
    const char* Format;
    std::uint32_t Mipmaps = 1;
};

TEST(Textures, DecodeEveryPixelTheRightWayUp) {
    const auto latin = [](std::uint32_t x, std::uint32_t y) { return Latin(x, y, false); };
    const auto opaqueLatin = [](std::uint32_t x, std::uint32_t y) { return Latin(x, y, true); };
    // DXT3: one alpha per row (0, 5, 10, 15 of 15) over red; DXT5: alpha index p % 8 of pixel p.
    const Bytes dxt3 =
        Bytes{0x00, 0x00, 0x55, 0x55, 0xAA, 0xAA, 0xFF, 0xFF}.Append(ColourBlock(0xF800, 0, {0, 0, 0, 0}));
    auto dxt5 = [](std::uint8_t a0, std::uint8_t a1) {
        Bytes b{a0, a1};
        std::uint64_t bits = 0;
        for (std::uint32_t p = 0; p < 16; ++p) bits |= std::uint64_t{p % 8} << (3 * p);
        for (int i = 0; i < 6; ++i) b.push_back(static_cast<unsigned char>(bits >> (8 * i)));
        return b.Append(ColourBlock(0x07E0, 0, {0, 0, 0, 0}));
    };
    auto dxt5Alpha = [](const std::array<std::uint8_t, 8>& alphas) {
        return [alphas](std::uint32_t x, std::uint32_t y) { return Px{0, 255, 0, alphas[((3 - y) * 4 + x) % 8]}; };
    };
    Bytes rgb32, rgb24;
    for (const Px& p : {kRed, kGhost}) rgb32.Append({p[2], p[1], p[0], p[3]});
    for (const Px& p : {kBlue, kGreen}) rgb24.Append({p[0], p[1], p[2]}); // masks say red is the low byte
    const Bytes twoDxt1 = ColourBlock(0xF800, 0x001F, {0, 1, 2, 3}).Append(ColourBlock(0x001F, 0xF800, {0, 1, 2, 3}));

    const std::vector<TPictureCase> cases = {
        {"TGA 32 top left", TgaBytes(2, 32, 0x28, TgaLatin(32, true, false)), 4, 4, latin,
         "TGA, 32 bits, origin top left"},
        {"TGA 24 bottom left", TgaBytes(2, 24, 0, TgaLatin(24, false, false)), 4, 4, opaqueLatin, "bottom left"},
        {"TGA 32 top right", TgaBytes(2, 32, 0x38, TgaLatin(32, true, true)), 4, 4, latin, "origin top right"},
        {"TGA grey", TgaBytes(3, 8, 0, Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), 4, 4,
         [](std::uint32_t x, std::uint32_t y) {
             const auto v = static_cast<std::uint8_t>((3 - y) * 4 + x);
             return Px{v, v, v, 255};
         },
         "8 bits grey"},
        {"TGA run-length, one raw packet", TgaBytes(10, 32, 0x20, Bytes{15}.Append(TgaLatin(32, true, false))), 4, 4,
         latin, "run-length"},
        // A run of 15 red pixels over three rows, then one raw blue: the last stored pixel is top right.
        {"TGA run-length across rows", TgaBytes(10, 24, 0, Bytes{0x8E, 0, 0, 255, 0, 255, 0, 0}), 4, 4,
         [](std::uint32_t x, std::uint32_t y) { return x == 3 && y == 0 ? kBlue : kRed; }, "run-length"},
        {"DDS DXT1", DdsBytes(8, 4, "DXT1", twoDxt1), 8, 4, Dxt1Expected, "DDS, DXT1"},
        {"DDS DXT3", DdsBytes(4, 4, "DXT3", dxt3), 4, 4,
         [](std::uint32_t, std::uint32_t y) {
             return Px{255, 0, 0, static_cast<std::uint8_t>((3 - y) * 85)};
         },
         "DDS, DXT3"},
        {"DDS DXT5, eight alphas", DdsBytes(4, 4, "DXT5", dxt5(255, 0)), 4, 4,
         dxt5Alpha({255, 0, 218, 182, 145, 109, 72, 36}), "DDS, DXT5"},
        {"DDS DXT5, six alphas", DdsBytes(4, 4, "DXT5", dxt5(0, 255)), 4, 4,
         dxt5Alpha({0, 255, 51, 102, 153, 204, 0, 255}), "DDS, DXT5"},
        {"DDS 32 bits", DdsBytes(2, 1, nullptr, rgb32, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), 2, 1,
         [](std::uint32_t x, std::uint32_t) { return x == 0 ? kRed : kGhost; }, "DDS, 32 bits with alpha"},
        {"DDS 24 bits, masks", DdsBytes(1, 2, nullptr, rgb24, 0, 24, {0xFF, 0xFF00, 0xFF0000, 0}), 1, 2,
         [](std::uint32_t, std::uint32_t y) { return y == 1 ? kBlue : kGreen; }, "DDS, 24 bits"},
        // Three levels claimed, two held (4 x 4 and 2 x 2).
        {"DDS mipmaps", DdsBytes(4, 4, "DXT1", ColourBlock(0xF800, 0, {0, 0, 0, 0}).Append(Bytes(8, 0)), 3), 4, 4,
         [](std::uint32_t, std::uint32_t) { return kRed; }, "DDS, DXT1", 2},
        {"DDS, the game's DXT1", GameDds(8, 4, 3, Bytes(twoDxt1).Append(Bytes(24, 0))), 8, 4, Dxt1Expected,
         "the game's header), DXT1", 4}, // and levels of 4 x 2, 2 x 1, 1 x 1
        {"DDS, the game's DXT5, cut to 3 x 2", GameDds(3, 2, 4, dxt5(255, 0)), 3, 2,
         [&](std::uint32_t x, std::uint32_t y) {
             return dxt5Alpha({255, 0, 218, 182, 145, 109, 72, 36})(x, y + 2);
         },
         "the game's header), DXT5"},
    };
    for (const TPictureCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const bool dds = std::string_view(c.Name).starts_with("DDS");
        const TImage image = media::DecodeTexture(dds ? media::TTextureType::Dds : media::TTextureType::Tga, c.File);
        ASSERT_EQ(image.Width, c.Width);
        ASSERT_EQ(image.Height, c.Height);
        EXPECT_EQ(image.Rgba, Picture(c.Width, c.Height, c.Expected));
        EXPECT_NE(image.Format.find(c.Format), std::string::npos) << image.Format;
        EXPECT_EQ(image.Mipmaps, c.Mipmaps);
    }
}

TEST(Textures, PltShowsLayersInTheirColoursAsBrightAsTheirValues) {
    // 2 x 2, bottom row first: skin at full value, cloth 1 at half; tattoo 2 at 0, layer 12.
    const Bytes plt = Bytes().Text("PLT V1  ").Zeros(8).U32(2).U32(2).Append({255, 0, 128, 4, 0, 9, 255, 12});
    const TImage image = media::DecodePlt(plt);
    auto shown = [](std::uint8_t layer, std::uint32_t value) {
        const media::TPltLayer c = media::PltLayerColour(layer);
        auto scale = [&](std::uint8_t v) { return static_cast<std::uint8_t>((v * value + 127) / 255); };
        return Px{scale(c.Red), scale(c.Green), scale(c.Blue), 255};
    };
    EXPECT_EQ(
        image.Rgba, Picture(2, 2, [&](std::uint32_t x, std::uint32_t y) {
            return y == 1 ? (x == 0 ? shown(0, 255) : shown(4, 128)) : (x == 0 ? Px{0, 0, 0, 255} : shown(12, 255));
        }));
    // Every layer can be told from every other.
    for (std::uint8_t a = 0; a < media::kPltLayers; ++a)
        for (std::uint8_t b = 0; b < a; ++b) EXPECT_NE(shown(a, 255), shown(b, 255)) << int{a} << " " << int{b};
}

TEST(Textures, RefuseHeadersThatClaimMoreThanTheBytesHold) {
    using enum media::TTextureType;
    struct Case {
        const char* name;
        media::TTextureType type;
        Bytes bytes;
        std::string says = "";
    };
    const std::string past = " is larger than the game uses: each side must be at most 8192";
    const std::vector<Case> cases = {
        {"DDS of 60000 x 60000 over 16 bytes", Dds, DdsBytes(60000, 60000, "DXT1", Bytes(16, 0))},
        {"DDS at the largest side, one block", Dds, DdsBytes(8192, 8192, "DXT5", Bytes(16, 0)), "needs 67108864 bytes"},
        {"DDS 8193 x 1", Dds, DdsBytes(8193, 1, nullptr, Bytes(8193 * 4, 0), 0, 32), "DDS of 8193 x 1 pixels" + past},
        {"the game's DDS, no blocks", Dds, GameDds(4, 4, 3, {})},
        {"the game's DDS, 5 channels", Dds, GameDds(4, 4, 5, Bytes(16, 0))},
        {"DDS of 0 pixels", Dds, DdsBytes(0, 4, "DXT1", Bytes(8, 0))},
        {"DDS as BC7", Dds, DdsBytes(4, 4, "DX10", Bytes(64, 0))},
        {"DDS header cut", Dds, Bytes().Text("DDS ").Zeros(40)},
        {"TGA of 8193 sides", Tga, TgaBytes(2, 32, 0, Bytes(64, 0), 8193), "a TGA of 8193 x 8193 pixels" + past},
        {"TGA raw pixels missing", Tga, TgaBytes(2, 32, 0, Bytes(63, 0))},
        {"TGA run-length ends", Tga, TgaBytes(10, 24, 0, Bytes{0x83, 1, 2, 3, 0x8F, 1, 2})},
        {"TGA colour-mapped", Tga, TgaBytes(1, 8, 0, Bytes(16, 0))},
        {"TGA 16 bits", Tga, TgaBytes(2, 16, 0, Bytes(32, 0))},
        {"PLT cut", Plt, Bytes().Text("PLT V1  ").Zeros(8).U32(4).U32(4).Zeros(31)},
        {"PLT of another kind", Plt, Bytes().Text("PLT V2  ").Zeros(8).U32(1).U32(1).Zeros(2)},
        {"PLT of 1 x 8193", Plt, Bytes().Text("PLT V1  ").Zeros(8).U32(1).U32(8193).Zeros(16386),
         "1 x 8193 pixels" + past},
    };
    for (const Case& c : cases) try {
            media::DecodeTexture(c.type, c.bytes);
            ADD_FAILURE() << c.name;
        } catch (const EDecodeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
}

TEST(TwoDa, ReadsHeaderLabelsAndCells) {
    const Bytes text(
        "2DA V2.0\r\nDEFAULT: ****\r\n\r\n   Label  Cost \"Long Name\"\r\n0 Sword \"10 gp\" ****\r\n"
        "\r\n1 Caf\xe9\r\n2 \"\" 3 x\n3 a\rb c\r\r\n4 \"q \" z\r"); // "\r" ends a line only before "\n" or the end
    const media::TTwoDa table = media::ParseTwoDa(text);
    EXPECT_EQ(table.Default, "****");
    EXPECT_EQ(table.Column(2), "Long Name");
    EXPECT_EQ(table.Cell(0, 1), "10 gp");
    EXPECT_EQ(table.Cell(0, 2), std::nullopt); // ****
    EXPECT_EQ(table.Cell(1, 0), "Caf\xc3\xa9"); // Windows-1252 into UTF-8
    EXPECT_EQ(table.Cell(1, 1), std::nullopt); // a short row
    EXPECT_EQ(table.Cell(2, 0), ""); // quoted, empty, not ****
    EXPECT_EQ(table.Cell(2, 2), "x");
    EXPECT_EQ(table.Cell(3, 0), "a\rb");
    EXPECT_EQ(table.Cell(3, 1), "c\r");
    EXPECT_EQ(table.Cell(4, 1), "z");
}

TEST(TwoDa, NamesTheFaultyLine) {
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 1},
        {"2DA V1.0\n\nA B\n", 1},
        {"BIFFV1  ", 1},
        {"2DA V2.0\n\n", 2},
        {"2DA V2.0\n\nA B\n0 x y\n1 x y z\n", 5},
        {"2DA V2.0\n\nA B\n0 \"open\n", 4},
    };
    for (const auto& [text, line] : cases) {
        try {
            media::ParseTwoDa(Bytes(text));
            ADD_FAILURE() << text;
        } catch (const ETwoDaError& e) {
            EXPECT_EQ(e.Line, line) << text;
            EXPECT_TRUE(std::string(e.what()).starts_with("line " + std::to_string(line) + ": ")) << e.what();
        }
    }
}

TEST(TextView, TextByTypeOrByPrintableContent) {
    EXPECT_TRUE(media::ReadsAsText(2009, Bytes{0, 1, 2})); // nss, whatever it holds
    EXPECT_TRUE(media::ReadsAsText(2002, Bytes("# ASCII model\r\n\tnode x \xe9\f"))); // mdl, printable
    EXPECT_FALSE(media::ReadsAsText(2002, Bytes("binary\x01")));
    EXPECT_FALSE(media::ReadsAsText(2033, Bytes("undefined \x81 byte")));
    EXPECT_EQ(media::TextOf(Bytes("na\xefve \x80")), "na\xc3\xafve \xe2\x82\xac");
}

TEST(HexDump, OffsetsBytesAndPrintableCharacters) {
    EXPECT_EQ(media::HexDump(Bytes("BIFFV1  ").Append({2, 0, 0, 0, 0, 0, 0x7F, 0xFF, 'Z'}), 0x10),
              "00000010  42 49 46 46 56 31 20 20  02 00 00 00 00 00 7f ff  |BIFFV1  ........|\n"
              "00000020  5a                                                |Z|\n");
}

TEST(Textures, AWindowShowsAlphaOverACheckerboard) {
    TImage image{2, 1, {10, 20, 30, 255, 255, 255, 255, 0}, "", 1};
    EXPECT_EQ(media::OverCheckerboard(image, 1), (std::vector<std::uint32_t>{0xFF0A141E, 0xFF999999}));
    image.Rgba = {0, 0, 0, 128, 0, 0, 0, 0};
    EXPECT_EQ(media::OverCheckerboard(image, 2), (std::vector<std::uint32_t>{0xFF666666, 0xFFCCCCCC}));
}

} // namespace
} // namespace vellocar::test
