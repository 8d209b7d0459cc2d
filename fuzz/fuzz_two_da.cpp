// Any bytes as a 2DA, in memory: the reader refuses them with ETwoDaError naming a line the text
// has, or gives a table whose rows fit its header, with no more fields than the input has bytes,
// all of them valid UTF-8.

#include "Errors.h"
#include "FuzzCheck.h"
#include "Text.h"
#include "TwoDa.h"

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
    fuzz::Check(table.RowLabels.size() == table.Cells.size(), "a row without its label");
    std::size_t fields = table.Columns.size() + table.RowLabels.size();
    bool utf8 = std::all_of(table.Columns.begin(), table.Columns.end(), IsValidUtf8);
    for (const auto& row : table.Cells) {
        fuzz::Check(row.size() <= table.Columns.size(), "a row longer than the header");
        fields += row.size();
        for (const auto& cell : row) utf8 = utf8 && (!cell || IsValidUtf8(*cell));
    }
    fuzz::Check(fields <= size && utf8, "more fields than the input has bytes, or one that is not UTF-8");
    return 0;
}
