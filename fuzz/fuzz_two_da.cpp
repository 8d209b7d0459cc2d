// Any bytes as a 2DA, in memory: the reader refuses them with ETwoDaError naming a line the text
// has, or gives a table whose rows fit its header, with no more fields than the input has bytes,
// all of them valid UTF-8.

#include "base/Errors.h"
#include "base/Text.h"
#include "FuzzCheck.h"
#include "media/TwoDa.h"

#include <algorithm>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    media::TTwoDa table;
    try {
        table = media::ParseTwoDa({data, size});
    } catch (const ETwoDaError& e) {
        const auto lines = static_cast<std::size_t>(std::count(data, data + size, '\n')) + 1;
        fuzz::Check(
            e.Line >= 1 && e.Line <= lines && std::string(e.what()).starts_with("line " + std::to_string(e.Line)),
            "a fault named at a line the text does not have");
        return 0;
    }
    std::size_t fields = table.ColumnCount() + table.RowCount();
    bool utf8 = true;
    for (std::size_t c = 0; c < table.ColumnCount(); ++c) utf8 = utf8 && IsValidUtf8(table.Column(c));
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        fuzz::Check(table.CellCount(r) <= table.ColumnCount(), "a row longer than the header");
        fields += table.CellCount(r);
        utf8 = utf8 && IsValidUtf8(table.RowLabel(r));
        for (std::size_t c = 0; c < table.CellCount(r); ++c) utf8 = utf8 && IsValidUtf8(table.Cell(r, c).value_or(""));
    }
    fuzz::Check(fields <= size && utf8, "more fields than the input has bytes, or one that is not UTF-8");
    return 0;
}
