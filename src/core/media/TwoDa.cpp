// The 2DA reader: line by line, each line split into fields, each field kept as where it starts.

#include "media/TwoDa.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"

namespace vellocar::media {

namespace {

constexpr std::string_view kFileType = "2DA";
constexpr std::string_view kVersion = "V2.0";
constexpr std::string_view kDefault = "DEFAULT:";
constexpr std::string_view kEmpty = "****";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct TField {
    std::string_view Text; // without its quotes
    std::size_t Start = 0; // in the whole text, at the opening quote when quoted
    bool Quoted = false;
};

[[noreturn]] void Fault(std::size_t line, const std::string& what) {
    throw ETwoDaError("line " + std::to_string(line) + ": " + what, line);
}

// The fields of one line (without its line end), which starts at lineStart in the whole text,
// into fields (emptied first: one vector serves every line).
void Fields(std::string_view text, std::size_t lineStart, std::size_t line, std::vector<TField>& fields) {
    fields.clear();
    for (std::size_t at = 0; at < text.size();) {
        if (IsBlank(text[at])) {
            ++at;
        } else if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos)
                Fault(line, "the quote opened at column " + std::to_string(at + 1) + " is not closed");
            fields.push_back({text.substr(at + 1, close - at - 1), lineStart + at, true});
            at = close + 1;
        } else {
            std::size_t end = at;
            while (end < text.size() && !IsBlank(text[end])) ++end;
            fields.push_back({text.substr(at, end - at), lineStart + at, false});
            at = end;
        }
    }
}

std::string Utf8(std::string_view text) { return Windows1252ToUtf8(text); }

} // namespace

// A field found again from where it starts: quoted, up to the closing quote (which the reading
// found on its line); else up to a blank or the line's end, whose "\r" is not part of it.
std::string_view TTwoDa::Field(std::size_t index, bool& quoted) const {
    const std::string_view text = text_;
    const std::size_t start = fields_[index];
    quoted = text[start] == '"';
    if (quoted) return text.substr(start + 1, text.find('"', start + 1) - start - 1);
    std::size_t end = start;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '\n') ++end;
    if (end > start && text[end - 1] == '\r' && (end == text.size() || text[end] == '\n')) --end;
    return text.substr(start, end - start);
}

std::string TTwoDa::Column(std::size_t column) const {
    bool quoted = false;
    return column < columns_ ? Utf8(Field(column, quoted)) : std::string();
}

std::string TTwoDa::RowLabel(std::size_t row) const {
    bool quoted = false;
    return Utf8(Field(rows_.at(row), quoted));
}

std::size_t TTwoDa::CellCount(std::size_t row) const { return rows_.at(row + 1) - rows_.at(row) - 1; }

std::optional<std::string> TTwoDa::Cell(std::size_t row, std::size_t column) const {
    if (column >= CellCount(row)) return std::nullopt;
    bool quoted = false;
    const std::string_view text = Field(rows_[row] + 1 + column, quoted);
    if (!quoted && text == kEmpty) return std::nullopt;
    return Utf8(text);
}

TTwoDa ParseTwoDa(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxTwoDaBytes)
        Fault(1,
              "the table has " + std::to_string(bytes.size()) + " bytes, more than the " +
                  std::to_string(kMaxTwoDaBytes) + " read here");
    TTwoDa table;
    table.text_.assign(byteio::AsChars(bytes.data(), bytes.size()));
    const std::string_view text = table.text_;
    std::vector<TField> fields;
    bool headerSeen = false;
    std::size_t line = 0;
    for (std::size_t at = 0; at < text.size() || line == 0;) {
        ++line;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view content = text.substr(at, end - at);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        Fields(content, at, line, fields);
        at = end + 1;

        if (line == 1) {
            if (fields.size() < 2 || fields[0].Text != kFileType || fields[1].Text != kVersion)
                Fault(line,
                      "not a 2DA: it starts with " + Quoted(Printable(content.substr(0, 16))) +
                          " where \"2DA V2.0\" stands");
            continue;
        }
        if (fields.empty()) continue;
        if (!headerSeen) {
            if (!table.Default && !fields[0].Quoted && fields[0].Text.starts_with(kDefault)) {
                const std::string_view value = fields[0].Text.substr(kDefault.size());
                table.Default = Utf8(!value.empty() || fields.size() < 2 ? value : fields[1].Text);
                continue;
            }
            for (const TField& f : fields) table.fields_.push_back(static_cast<std::uint32_t>(f.Start));
            table.columns_ = fields.size();
            table.rows_.push_back(static_cast<std::uint32_t>(table.fields_.size()));
            headerSeen = true;
            continue;
        }
        if (fields.size() - 1 > table.columns_)
            Fault(line,
                  "the row " + Quoted(Printable(fields[0].Text)) + " has " + std::to_string(fields.size() - 1) +
                      " cells, the header names " + std::to_string(table.columns_) + " columns");
        for (const TField& f : fields) table.fields_.push_back(static_cast<std::uint32_t>(f.Start));
        table.rows_.push_back(static_cast<std::uint32_t>(table.fields_.size()));
    }
    if (!headerSeen) Fault(line, "the column header is missing: the file ends first");
    return table;
}

} // namespace vellocar::media
