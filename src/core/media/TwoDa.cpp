// The 2DA reader: line by line, each line split into fields.

#include "TwoDa.h"

#include "ByteIO.h"
#include "Errors.h"
#include "Text.h"

#include <string_view>

namespace vellocar::media {

namespace {

constexpr std::string_view kFileType = "2DA";
constexpr std::string_view kVersion = "V2.0";
constexpr std::string_view kDefault = "DEFAULT:";
constexpr std::string_view kEmpty = "****";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct TField {
    std::string_view Text;
    bool Quoted = false;
};

[[noreturn]] void Fault(std::size_t line, const std::string& what) {
    throw ETwoDaError("line " + std::to_string(line) + ": " + what, line);
}

// The fields of one line (without its line end).
std::vector<TField> Fields(std::string_view text, std::size_t line) {
    std::vector<TField> fields;
    for (std::size_t at = 0; at < text.size();) {
        if (IsBlank(text[at])) {
            ++at;
        } else if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos)
                Fault(line, "the quote opened at column " + std::to_string(at + 1) + " is not closed");
            fields.push_back({text.substr(at + 1, close - at - 1), true});
            at = close + 1;
        } else {
            std::size_t end = at;
            while (end < text.size() && !IsBlank(text[end])) ++end;
            fields.push_back({text.substr(at, end - at), false});
            at = end;
        }
    }
    return fields;
}

std::string Utf8(std::string_view text) { return Windows1252ToUtf8(text); }

} // namespace

const std::optional<std::string>& TTwoDa::Cell(std::size_t row, std::size_t column) const {
    static const std::optional<std::string> kNone;
    const auto& cells = Cells.at(row);
    return column < cells.size() ? cells[column] : kNone;
}

TTwoDa ParseTwoDa(std::span<const std::uint8_t> bytes) {
    const std::string_view text = byteio::AsChars(bytes.data(), bytes.size());
    TTwoDa table;
    bool headerSeen = false;
    std::size_t line = 0;
    for (std::size_t at = 0; at < text.size() || line == 0;) {
        ++line;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view content = text.substr(at, end - at);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        at = end + 1;

        const std::vector<TField> fields = Fields(content, line);
        if (line == 1) {
            if (fields.size() < 2 || fields[0].Text != kFileType || fields[1].Text != kVersion)
                Fault(line,
                      "not a 2DA: it starts with " + Quoted(Printable(content.substr(0, 16))) +
                          " where \"2DA V2.0\" stands");
            continue;
        }
        if (fields.empty()) continue;
        if (!headerSeen) {
            if (!table.Default && table.Columns.empty() && !fields[0].Quoted && fields[0].Text.starts_with(kDefault)) {
                const std::string_view value = fields[0].Text.substr(kDefault.size());
                table.Default = Utf8(!value.empty() || fields.size() < 2 ? value : fields[1].Text);
                continue;
            }
            for (const TField& f : fields) table.Columns.push_back(Utf8(f.Text));
            headerSeen = true;
            continue;
        }
        if (fields.size() - 1 > table.Columns.size())
            Fault(line,
                  "the row " + Quoted(Printable(fields[0].Text)) + " has " + std::to_string(fields.size() - 1) +
                      " cells, the header names " + std::to_string(table.Columns.size()) + " columns");
        table.RowLabels.push_back(Utf8(fields[0].Text));
        auto& cells = table.Cells.emplace_back();
        cells.reserve(fields.size() - 1);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!fields[i].Quoted && fields[i].Text == kEmpty)
                cells.emplace_back();
            else
                cells.emplace_back(Utf8(fields[i].Text));
        }
    }
    if (!headerSeen) Fault(line, "the column header is missing: the file ends first");
    return table;
}

} // namespace vellocar::media
