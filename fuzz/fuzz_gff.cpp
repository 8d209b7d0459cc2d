// Any bytes as a GFF V3.2, in memory: the reader refuses them with its own error, or gives a tree
// that the writer can write; written and read again, it is the same model, struct for struct and
// field for field (labels compared by their text, since the writer keeps each once), and writing
// that gives the same bytes again.

#include "base/Errors.h"
#include "formats/Gff.h"
#include "FuzzCheck.h"

#include <optional>

using namespace vellocar;
using namespace vellocar::gff;

namespace {

void CheckSame(const TGff& a, const TGff& b) {
    fuzz::Check(a.FileType == b.FileType && a.FileVersion == b.FileVersion, "the header does not read back");
    fuzz::Check(a.Structs.size() == b.Structs.size() && a.Fields.size() == b.Fields.size() &&
                    a.Data.size() == b.Data.size() && a.LocStrings.size() == b.LocStrings.size() &&
                    a.Lists.size() == b.Lists.size() && a.ListItems == b.ListItems,
                "the tree's parts do not read back");
    for (std::size_t i = 0; i < a.Structs.size(); ++i) {
        const TGffStruct &x = a.Structs[i], &y = b.Structs[i];
        fuzz::Check(x.Id == y.Id && x.FirstField == y.FirstField && x.FieldCount == y.FieldCount,
                    "a struct does not read back");
    }
    for (std::size_t i = 0; i < a.Fields.size(); ++i) {
        const TGffField &x = a.Fields[i], &y = b.Fields[i];
        fuzz::Check(x.Type == y.Type && x.Value == y.Value && x.Ref == y.Ref, "a field does not read back");
        fuzz::Check(x.Label < a.Labels.size() && y.Label < b.Labels.size() && a.Labels[x.Label] == b.Labels[y.Label],
                    "a field's label does not read back");
    }
    for (std::size_t i = 0; i < a.Data.size(); ++i)
        fuzz::Check(a.Data[i] == b.Data[i], "field data does not read back");
    for (std::size_t i = 0; i < a.LocStrings.size(); ++i)
        fuzz::Check(
            a.LocStrings[i].StrRef == b.LocStrings[i].StrRef && a.LocStrings[i].Strings == b.LocStrings[i].Strings,
            "a CExoLocString does not read back");
    for (std::size_t i = 0; i < a.Lists.size(); ++i)
        fuzz::Check(a.Lists[i].First == b.Lists[i].First && a.Lists[i].Count == b.Lists[i].Count,
                    "a list does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<TGff> gff;
    try {
        gff = ReadGff({data, size});
    } catch (const EGffError&) {
        return 0;
    }
    fuzz::Check(!gff->Structs.empty() && gff->Fields.size() <= size / 12 && gff->Structs.size() <= size / 12,
                "the model holds more than the file");
    std::vector<std::uint8_t> written;
    try {
        written = WriteGff(*gff);
    } catch (const EGffError& e) {
        fuzz::Fail("the writer refuses what the reader accepted", e.what());
    }
    const TGff again = ReadGff(written);
    CheckSame(*gff, again);
    fuzz::Check(WriteGff(again) == written, "writing what was read back gives other bytes");
    return 0;
}
