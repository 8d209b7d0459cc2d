// The GFF V3.2 reader and writer: a model of every field type written and read back, a small
// file laid out by hand as the game lays its files out, and one damaged file per kind of fault.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "formats/Gff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using namespace vellocar;
using namespace vellocar::gff;
using test::Bytes;

namespace {

// The tree as text, labels by their text (a writer may renumber them), for comparing models.
std::string Dump(const TGff& g, std::uint32_t s = 0) {
    const TGffStruct& st = g.Structs.at(s);
    std::string out = "{" + std::to_string(st.Id);
    for (const TGffField& f : g.FieldsOf(st)) {
        out += " " + g.LabelOf(f) + ":" + std::to_string(static_cast<std::uint32_t>(f.Type)) + "=";
        if (f.Type == TGffType::Struct)
            out += Dump(g, f.Ref);
        else if (f.Type == TGffType::List)
            for (std::uint32_t item : g.ItemsOf(g.Lists.at(f.Ref))) out += Dump(g, item);
        else if (f.Type == TGffType::ExoString || f.Type == TGffType::ResRef || f.Type == TGffType::Void)
            out += g.Data.at(f.Ref);
        else if (f.Type == TGffType::ExoLocString) {
            out += std::to_string(g.LocStrings.at(f.Ref).StrRef);
            for (const auto& [id, text] : g.LocStrings.at(f.Ref).Strings) out += "/" + std::to_string(id) + "," + text;
        } else
            out += std::to_string(f.Value);
    }
    return out + "}";
}

// A root with the given fields; struct 1 (id 7) holds fields [first1, end).
TGff Model(std::vector<TGffField> fields, std::uint32_t rootFields) {
    TGff g;
    g.FileType = "UTI ";
    g.Labels = {"Tag", "List", "Res", "Byte"};
    g.Data = {"ab", "x"};
    g.Structs = {{kRootStructId, 0, rootFields},
                 {7, rootFields, static_cast<std::uint32_t>(fields.size()) - rootFields}};
    g.Fields = std::move(fields);
    g.Lists = {{0, 1}};
    g.ListItems = {1};
    return g;
}

// The sample: root {Tag "ab", List [struct 7 {Res "x", Tag -2}], Byte 5}.
TGff Sample() {
    return Model({{0, TGffType::ExoString, 0, 0},
                  {1, TGffType::List, 0, 0},
                  {3, TGffType::Byte, 5, 0},
                  {2, TGffType::ResRef, 0, 1},
                  {0, TGffType::Int, static_cast<std::uint64_t>(-2), 0}},
                 3);
}

// The sample as the game lays it out: structs and fields in the order the tree reaches them (a
// field before the structs below it), labels by first use, each struct's field indices in struct
// order.
Bytes SampleBytes() {
    Bytes b("UTI V3.2");
    for (std::uint32_t v : {56u, 2u, 80u, 5u, 140u, 4u, 204u, 8u, 212u, 20u, 232u, 8u}) b.U32(v);
    b.U32(0xFFFFFFFF).U32(0).U32(3).U32(7).U32(12).U32(2); // structs at 56
    b.U32(10).U32(0).U32(0).U32(15).U32(1).U32(0).U32(11).U32(2).U32(6); // fields at 80: Tag, List, Res,
    b.U32(5).U32(0).U32(0xFFFFFFFE).U32(0).U32(3).U32(5); // Tag (-2), Byte
    b.Text("Tag", 16).Text("List", 16).Text("Res", 16).Text("Byte", 16); // labels at 140
    b.U32(2).Text("ab").Text("\x01x"); // field data at 204
    b.U32(0).U32(1).U32(4).U32(2).U32(3); // field indices at 212
    return b.U32(1).U32(1); // list indices at 232
}

std::vector<std::uint8_t> Vec(const Bytes& b) { return {b.begin(), b.end()}; }

TEST(Gff, EveryFieldTypeReadsBackAsWritten) {
    struct Row {
        TGffType Type;
        std::uint64_t Value;
        std::string Data;
        const char* Name;
    };
    const Row rows[] = {{TGffType::Byte, 255, "", "byte"},
                        {TGffType::Char, static_cast<std::uint64_t>(-128), "", "char"},
                        {TGffType::Word, 65535, "", "word"},
                        {TGffType::Short, static_cast<std::uint64_t>(-32768), "", "short"},
                        {TGffType::Dword, 0xFFFFFFFF, "", "dword"},
                        {TGffType::Int, static_cast<std::uint64_t>(INT32_MIN), "", "int"},
                        {TGffType::Dword64, ~0ull, "", "dword64"},
                        {TGffType::Int64, 1ull << 63, "", "int64"},
                        {TGffType::Float, 0x3FC00000, "", "float"},
                        {TGffType::Double, 0x3FF8000000000000, "", "double"},
                        {TGffType::ExoString, 0, "caf\xe9", "cexostring"},
                        {TGffType::ResRef, 0, std::string(255, 'r'), "resref"},
                        {TGffType::ExoLocString, 0, "", "cexolocstring"},
                        {TGffType::Void, 0, std::string("\0\1", 2), "void"},
                        {TGffType::Struct, 0, "", "struct"},
                        {TGffType::List, 0, "", "list"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_STREQ(GffTypeName(row.Type), row.Name);
        TGff g =
            Model({{3, row.Type, row.Value, row.Type == TGffType::Struct ? 1u : 0u}, {1, TGffType::Word, 9, 0}}, 1);
        g.Data = {row.Data};
        g.LocStrings = {{12, {{0, "en"}, {3, "fr"}}}};
        const TGff back = ReadGff(WriteGff(g));
        EXPECT_EQ(Dump(back), Dump(g));
        EXPECT_EQ(back.FileType, "UTI ");
    }
}

TEST(Gff, WritesTheGamesLayoutAndReadsItBackToTheSameBytes) {
    const auto file = Vec(SampleBytes());
    EXPECT_EQ(WriteGff(Sample()), file);
    EXPECT_EQ(Dump(ReadGff(file)),
              "{4294967295 Tag:10=ab List:15={7 Res:11=x Tag:5=" + std::to_string(~0ull - 1) + "} Byte:0=5}");
    EXPECT_EQ(WriteGff(ReadGff(file)), file);
}

using Edit = std::function<void(Bytes&)>;
// Writes v at at, then does then.
Edit Put(
    std::size_t at, std::uint32_t v, Edit then = [](Bytes&) {}) {
    return
        [=](Bytes& b) { std::copy_n(Bytes().U32(v).begin(), 4, b.begin() + static_cast<std::ptrdiff_t>(at)), then(b); };
}

// A chain of n structs, each holding the next in a field.
Bytes Chain(std::uint32_t n) {
    Bytes b("GFF V3.2");
    for (std::uint32_t v : {56u, n, 56 + 12 * n, n, 56 + 24 * n, 1u, 72 + 24 * n, 0u, 72 + 24 * n, 0u, 72 + 24 * n, 0u})
        b.U32(v);
    for (std::uint32_t i = 0; i < n; ++i) b.U32(i).U32(i).U32(i + 1 < n ? 1 : 0);
    for (std::uint32_t i = 0; i < n; ++i) b.U32(14).U32(0).U32(i + 1);
    return b.Text("Next", 16);
}

TEST(Gff, RefusesEveryKindOfDamage) {
    const std::pair<Edit, const char*> rows[] = {
        {[](Bytes& b) { b.resize(40); }, "too short for a GFF header (file 40 bytes, header 56 bytes)"},
        {[](Bytes& b) { b[7] = '3'; }, "version \"V3.3\", not GFF V3.2"},
        {Put(36, 1000), "the field data runs past the end of the file (offset 204, 1000 x 1 bytes, file 240 bytes)"},
        {Put(128, 19), "GFF field 4 has type 19, which GFF V3.2 does not have"},
        {Put(132, 9), "GFF field 4 has label index 9, but the file has 4 labels"},
        {Put(220, 7), "GFF struct 0 names field 7, but the file has 5 fields"},
        {Put(232, 5), "the list of GFF field 1 runs past the end of the list indices"},
        {Put(204, 0xFFFFFFFF), "the data of GFF field 0 runs past the end of the field data"},
        {Put(128, 14, Put(136, 1)), "GFF struct 1 is reached twice"},
        {Put(236, 0), "GFF struct 0 lies inside itself"},
        {[](Bytes& b) { b = Chain(kMaxGffDepth + 1); }, "GFF struct 256 lies 257 structs deep, deeper than the 256"},
        {Put(12, 0x80000000), "the struct table runs past the end of the file"},
        {Put(216, 0), "GFF field 0 belongs to more than one struct"}};
    EXPECT_NO_THROW(ReadGff(Vec(Chain(kMaxGffDepth))));
    for (const auto& [edit, message] : rows) {
        Bytes b = SampleBytes();
        edit(b);
        EXPECT_THAT([&] { ReadGff(Vec(b)); }, testing::ThrowsMessage<EGffError>(testing::HasSubstr(message)));
    }
}

TEST(Gff, WriterRefusesWhatTheFormatCannotHold) {
    const std::pair<std::function<void(TGff&)>, const char*> rows[] = {
        {[](TGff& g) { g.Labels[0] = std::string(17, 'L'); }, "a label is at most 16 bytes"},
        {[](TGff& g) { g.Data[1] = std::string(256, 'r'); }, "256 bytes long, more than the 255"},
        {[](TGff& g) { g.ListItems[0] = 9; }, "struct index 9 is out of range"},
        {[](TGff& g) { g.Fields[2].Type = TGffType::Struct, g.Fields[2].Ref = 1; }, "struct 1 is used twice"},
        {[](TGff& g) { g.Fields[2].Value = 256; }, "of type byte holds 256, which that type cannot hold"}};
    for (const auto& [edit, message] : rows) {
        TGff g = Sample();
        edit(g);
        EXPECT_THAT([&] { WriteGff(g); }, testing::ThrowsMessage<EGffError>(testing::HasSubstr(message)));
    }
}

} // namespace
