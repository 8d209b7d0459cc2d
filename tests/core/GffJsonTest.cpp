// A GFF as JSON, both ways: small models and the JSON text the community's tools write for them,
// spelled out by hand from that shape, checked from model to text and from text back to the
// same text; and JSON that is refused, with what the message names.

#include "formats/GffJson.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace {

using namespace vellocar;
using namespace vellocar::gff;

// A field as a test writes it: scalars in Value, texts and void in Text, a CExoLocString's
// strings in Loc, a struct's (one) or a list's structs in Items with their ids in Ids.
struct F {
    std::string Label;
    TGffType Type;
    std::uint64_t Value = 0;
    std::string Text = {};
    TGffLocString Loc = {};
    std::vector<std::vector<F>> Items = {};
    std::vector<std::uint32_t> Ids = {};
};

std::uint32_t AddStruct(TGff& g, std::uint32_t id, const std::vector<F>& fields) {
    const auto index = static_cast<std::uint32_t>(g.Structs.size());
    g.Structs.push_back({id, static_cast<std::uint32_t>(g.Fields.size()), static_cast<std::uint32_t>(fields.size())});
    const std::size_t first = g.Fields.size();
    g.Fields.resize(first + fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const F& f = fields[i];
        TGffField field{static_cast<std::uint32_t>(g.Labels.size()), f.Type, f.Value, 0};
        g.Labels.push_back(f.Label);
        if (f.Type == TGffType::ExoString || f.Type == TGffType::ResRef || f.Type == TGffType::Void) {
            field.Ref = static_cast<std::uint32_t>(g.Data.size());
            g.Data.push_back(f.Text);
        } else if (f.Type == TGffType::ExoLocString) {
            field.Ref = static_cast<std::uint32_t>(g.LocStrings.size());
            g.LocStrings.push_back(f.Loc);
        } else if (f.Type == TGffType::Struct) {
            field.Ref = AddStruct(g, f.Ids.at(0), f.Items.at(0));
        } else if (f.Type == TGffType::List) {
            const auto list = static_cast<std::uint32_t>(g.Lists.size());
            g.Lists.push_back(
                {static_cast<std::uint32_t>(g.ListItems.size()), static_cast<std::uint32_t>(f.Items.size())});
            g.ListItems.resize(g.ListItems.size() + f.Items.size());
            for (std::size_t k = 0; k < f.Items.size(); ++k)
                g.ListItems[g.Lists[list].First + k] = AddStruct(g, f.Ids.at(k), f.Items[k]);
            field.Ref = list;
        }
        g.Fields[first + i] = field;
    }
    return index;
}

TGff Model(const std::string& type, const std::vector<F>& root) {
    TGff g;
    g.FileType = type;
    AddStruct(g, kRootStructId, root);
    return g;
}

std::uint64_t FloatBits(float v) { return std::bit_cast<std::uint32_t>(v); }
std::uint64_t DoubleBits(double v) { return std::bit_cast<std::uint64_t>(v); }

struct ShapeCase {
    const char* Name;
    TGff Gff;
    std::string Json;
};

const std::vector<ShapeCase>& ShapeCases() {
    static const std::vector<ShapeCase> cases{
        {"EveryNumberAtItsEdges_KeysSortedIgnoringCase",
         Model("UTI ",
               {{"b", TGffType::Byte, 255},
                {"A", TGffType::Char, static_cast<std::uint64_t>(-128)},
                {"_x", TGffType::Word, 65535},
                {"1", TGffType::Short, static_cast<std::uint64_t>(-32768)},
                {"Dw", TGffType::Dword, 4294967295},
                {"I", TGffType::Int, static_cast<std::uint64_t>(-2147483648LL)},
                {"D64", TGffType::Dword64, UINT64_MAX},
                {"I64", TGffType::Int64, static_cast<std::uint64_t>(INT64_MIN)},
                {"f1", TGffType::Float, FloatBits(0.1f)},
                {"F2", TGffType::Float, FloatBits(1.0f)},
                {"d1", TGffType::Double, DoubleBits(1e20)},
                {"d2", TGffType::Double, DoubleBits(1e-7)},
                {"d3", TGffType::Double, DoubleBits(-1.5e-8)}}),
         "{\n  \"1\": {\n    \"type\": \"short\",\n    \"value\": -32768\n  },\n"
         "  \"__data_type\": \"UTI \",\n"
         "  \"_x\": {\n    \"type\": \"word\",\n    \"value\": 65535\n  },\n"
         "  \"A\": {\n    \"type\": \"char\",\n    \"value\": -128\n  },\n"
         "  \"b\": {\n    \"type\": \"byte\",\n    \"value\": 255\n  },\n"
         "  \"d1\": {\n    \"type\": \"double\",\n    \"value\": 1e+20\n  },\n"
         "  \"d2\": {\n    \"type\": \"double\",\n    \"value\": 0.0000001\n  },\n"
         "  \"d3\": {\n    \"type\": \"double\",\n    \"value\": -1.5e-8\n  },\n"
         "  \"D64\": {\n    \"type\": \"dword64\",\n    \"value\": 18446744073709551615\n  },\n"
         "  \"Dw\": {\n    \"type\": \"dword\",\n    \"value\": 4294967295\n  },\n"
         "  \"f1\": {\n    \"type\": \"float\",\n    \"value\": 0.10000000149011612\n  },\n"
         "  \"F2\": {\n    \"type\": \"float\",\n    \"value\": 1.0\n  },\n"
         "  \"I\": {\n    \"type\": \"int\",\n    \"value\": -2147483648\n  },\n"
         "  \"I64\": {\n    \"type\": \"int64\",\n    \"value\": -9223372036854775808\n  }\n}\r\n"},
        {"TextsInUtf8_ControlsEscaped_VoidInBase64",
         Model("DLG ",
               {{"S", TGffType::ExoString, 0, "\xE9t\xE9 \"q\" \\ \x01\x1F\n"},
                {"R", TGffType::ResRef, 0, "sword"},
                {"V", TGffType::Void, 0, std::string("\0\1\2\3", 4)},
                {"W", TGffType::Void, 0, ""}}),
         "{\n  \"__data_type\": \"DLG \",\n"
         "  \"R\": {\n    \"type\": \"resref\",\n    \"value\": \"sword\"\n  },\n"
         "  \"S\": {\n    \"type\": \"cexostring\",\n    \"value\": \"\xC3\xA9t\xC3\xA9 \\\"q\\\" \\\\ "
         "\\u0001\\u001F\\n\"\n  },\n"
         "  \"V\": {\n    \"type\": \"void\",\n    \"value64\": \"AAECAw==\"\n  },\n"
         "  \"W\": {\n    \"type\": \"void\",\n    \"value64\": \"\"\n  }\n}\r\n"},
        {"LocStringsByStringIdAsText_IdLast_NoneWithoutStrRef",
         Model("UTC ",
               {{"L", TGffType::ExoLocString, 0, "", {1234, {{0, "a"}, {10, "b"}, {2, "c"}}}},
                {"M", TGffType::ExoLocString, 0, "", {kNoStrRef, {}}}}),
         "{\n  \"__data_type\": \"UTC \",\n"
         "  \"L\": {\n    \"type\": \"cexolocstring\",\n    \"value\": {\n      \"0\": \"a\",\n      \"10\": \"b\",\n"
         "      \"2\": \"c\",\n      \"id\": 1234\n    }\n  },\n"
         "  \"M\": {\n    \"type\": \"cexolocstring\",\n    \"value\": {}\n  }\n}\r\n"},
        {"StructIdsBesideAndInside_ListsAndEmptyOnes",
         Model("GFF ",
               {{"St", TGffType::Struct, 0, "", {}, {{{"x", TGffType::Byte, 1}}}, {0xFFFFFFFE}},
                {"E", TGffType::Struct, 0, "", {}, {{}}, {kRootStructId}},
                {"Li", TGffType::List, 0, "", {}, {{}, {{"y", TGffType::Int, 7}}}, {0, kRootStructId}},
                {"N", TGffType::List}}),
         "{\n  \"__data_type\": \"GFF \",\n"
         "  \"E\": {\n    \"__struct_id\": -1,\n    \"type\": \"struct\",\n    \"value\": {}\n  },\n"
         "  \"Li\": {\n    \"type\": \"list\",\n    \"value\": [\n      {\n        \"__struct_id\": 0\n      },\n"
         "      {\n        \"y\": {\n          \"type\": \"int\",\n          \"value\": 7\n        }\n      }\n    ]\n "
         " },\n"
         "  \"N\": {\n    \"type\": \"list\",\n    \"value\": []\n  },\n"
         "  \"St\": {\n    \"__struct_id\": -2,\n    \"type\": \"struct\",\n    \"value\": {\n      \"__struct_id\": "
         "-2,\n"
         "      \"x\": {\n        \"type\": \"byte\",\n        \"value\": 1\n      }\n    }\n  }\n}\r\n"},
    };
    return cases;
}

class GffJsonShape : public testing::TestWithParam<ShapeCase> {};

TEST_P(GffJsonShape, WritesTheShapeAndReadsItBack) {
    const ShapeCase& c = GetParam();
    const TGff& model = c.Gff;
    EXPECT_EQ(GffToJson(model), c.Json);
    const TGff read = GffFromJson(c.Json);
    EXPECT_EQ(GffToJson(read), c.Json);
}

INSTANTIATE_TEST_SUITE_P(Cases, GffJsonShape, testing::ValuesIn(ShapeCases()),
                         [](const auto& p) { return std::string(p.param.Name); });

struct RefusedCase {
    const char* Name;
    std::string Json;
    std::string Says;
};

const std::string kHead = "{\"__data_type\": \"UTI \", ";

TEST(GffJson, RefusesWhatIsNoGffNamingWhereAndWhy) {
    const std::vector<RefusedCase> cases{
        {"char out of range", kHead + "\"C\": {\"type\": \"char\", \"value\": 128}}", "field \"C\""},
        {"float as text", kHead + "\"F\": {\"type\": \"float\", \"value\": \"1\"}}", "no number"},
        {"integer with a point", kHead + "\"B\": {\"type\": \"byte\", \"value\": 1.0}}", "no integer"},
        {"unknown type", kHead + "\"B\": {\"type\": \"bool\", \"value\": 1}}", "no GFF field type"},
        {"label too long", kHead + "\"ABCDEFGHIJKLMNOPQ\": {\"type\": \"byte\", \"value\": 1}}", "longer than 16"},
        {"text Windows-1252 lacks", kHead + "\"T\": {\"type\": \"cexostring\", \"value\": \"\xE2\x86\x92\"}}",
         "Windows-1252 cannot hold"},
        {"label twice", kHead + "\"B\": {\"type\": \"byte\", \"value\": 1}, \"B\": {\"type\": \"byte\", \"value\": 2}}",
         "label twice"},
        {"bad base64", kHead + "\"V\": {\"type\": \"void\", \"value64\": \"A\"}}", "not base64"},
        {"no data type", "{\"B\": {\"type\": \"byte\", \"value\": 1}}", "no \"__data_type\""},
        {"trailing comma", kHead + "}", "line 1, column 25"},
        {"lone surrogate", kHead + "\"T\": {\"type\": \"cexostring\", \"value\": \"\\ud800\"}}", "lone surrogate"},
        {"not UTF-8", kHead + "\"T\": {\"type\": \"cexostring\", \"value\": \"\xE9\"}}", "not UTF-8"},
        {"place named",
         kHead + "\"L\": {\"type\": \"list\", \"value\": [{\"W\": {\"type\": \"word\", \"value\": -1}}]}}",
         "field \"L[0].W\""},
    };
    for (const RefusedCase& c : cases) {
        try {
            GffFromJson(c.Json);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const EJsonError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << c.Name << ": " << e.what();
        }
    }
}

TEST(GffJson, RefusesModelsJsonCannotHold) {
    EXPECT_THROW(GffToJson(Model("UTI ", {{"A", TGffType::Byte}, {"A", TGffType::Byte}})), EJsonError);
    EXPECT_THROW(GffToJson(Model("UTI ", {{"__struct_id", TGffType::Byte}})), EJsonError);
}

} // namespace
