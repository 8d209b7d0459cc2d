// The content of a viewer's views and the search in them.

#include "ViewerViews.h"

#include "base/Text.h"
#include "media/HexDump.h"
#include "media/TextView.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace vellocar::ui {

namespace {

constexpr std::string_view kEmptyCell = "****";
constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// UTF-8 characters in text.
std::size_t Characters(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return AsciiLower(x) == AsciiLower(y); }) != text.end();
}

// Text on one line: its line ends and other control characters (a NUL would end a control's
// text early) shown as the replacement character, tabs as a blank.
std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\t')
            line += ' ';
        else if (b < 0x20 || b == 0x7F)
            line += kReplacement;
        else
            line += c;
    }
    return line;
}

// A whole cell that is a decimal integer (a strref), nothing otherwise.
std::optional<std::uint32_t> StrRefOf(std::string_view cell) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc() || end != cell.data() + cell.size() || cell.empty()) return std::nullopt;
    return value;
}

// A cell as a number, when the whole of it is one ("12", "-3", "0.5", "0x1F").
std::optional<double> NumberOf(const std::string& cell) {
    if (cell.empty()) return std::nullopt;
    const char first = cell[0];
    if (!(first >= '0' && first <= '9') && first != '-' && first != '+' && first != '.') return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(cell.c_str(), &end);
    if (end != cell.c_str() + cell.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

// The shortest text that reads back as the same float or double.
template <typename T>
std::string Shortest(T value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

} // namespace

// ---- Strrefs ------------------------------------------------------------------------------------

bool IsStrRefColumn(std::string_view title) {
    static constexpr std::array<std::string_view, 8> kColumns{"Name",    "Description", "StrRef",    "STRING_REF",
                                                              "DescRef", "GuiName",     "SpellDesc", "NamePlural"};
    return std::any_of(kColumns.begin(), kColumns.end(),
                       [&](std::string_view column) { return EqualsIgnoringCase(column, title); });
}

std::string WithStrRefText(std::uint32_t strref, const TStrRefText& text) {
    std::string cell = Decimal(strref);
    if (text)
        if (const auto found = text(strref)) cell += " (" + OneLine(*found) + ")";
    return cell;
}

// ---- 2DA ------------------------------------------------------------------------------------------

TwoDaRows::TwoDaRows(media::TTwoDa table, TStrRefText strRefText)
    : table_(std::move(table)), strRefText_(std::move(strRefText)) {
    order_.resize(table_.RowCount());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    strRefColumns_.push_back(false);
    widths_.push_back(1);
    for (std::size_t c = 0; c < table_.ColumnCount(); ++c) {
        strRefColumns_.push_back(strRefText_ && IsStrRefColumn(table_.Column(c)));
        widths_.push_back(Characters(table_.Column(c)));
    }
    // Each row's own cells only: a short row's missing ones all read "****", whose width is
    // taken once, so that a wide header over many short rows costs no more than the file.
    bool shortRow = false;
    for (std::size_t r = 0; r < table_.RowCount(); ++r) {
        const std::size_t cells = table_.CellCount(r);
        shortRow = shortRow || cells < table_.ColumnCount();
        for (std::size_t c = 0; c <= cells; ++c) widths_[c] = std::max(widths_[c], Characters(FileCell(r, c)));
    }
    if (shortRow)
        for (std::size_t c = 1; c < widths_.size(); ++c) widths_[c] = std::max(widths_[c], kEmptyCell.size());
}

std::string TwoDaRows::ColumnTitle(std::size_t column) const {
    return column == 0 ? std::string() : table_.Column(column - 1);
}

std::string TwoDaRows::Cell(std::size_t row, std::size_t column) const {
    if (row >= order_.size()) return {};
    return FileCell(order_[row], column);
}

std::string TwoDaRows::FileCell(std::size_t fileRow, std::size_t column) const {
    if (column == 0) return table_.RowLabel(fileRow);
    const auto cell = table_.Cell(fileRow, column - 1);
    if (!cell) return std::string(kEmptyCell);
    if (column < strRefColumns_.size() && strRefColumns_[column])
        if (const auto strref = StrRefOf(*cell)) return WithStrRefText(*strref, strRefText_);
    return *cell;
}

void TwoDaRows::Sort(std::size_t column, bool ascending) {
    if (column >= ColumnCount()) return;
    // Each row's key made once: kind (0 number, 1 text, 2 empty), number, lower-case text.
    struct TKey {
        int Kind = 2;
        double Number = 0;
        std::string Text;
    };
    std::vector<TKey> keys(table_.RowCount());
    for (std::size_t r = 0; r < keys.size(); ++r) {
        const std::optional<std::string> cell =
            column == 0 ? std::optional<std::string>(table_.RowLabel(r)) : table_.Cell(r, column - 1);
        if (!cell) continue;
        if (const auto number = NumberOf(*cell)) {
            keys[r] = {0, *number, {}};
        } else {
            keys[r].Kind = 1;
            keys[r].Text.resize(cell->size());
            std::transform(cell->begin(), cell->end(), keys[r].Text.begin(), AsciiLower);
        }
    }
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const TKey& x = keys[a];
        const TKey& y = keys[b];
        // Empty cells stay last whichever way the rest goes.
        if ((x.Kind == 2) != (y.Kind == 2)) return y.Kind == 2;
        if (x.Kind == 2) return false;
        const TKey& first = ascending ? x : y;
        const TKey& second = ascending ? y : x;
        if (first.Kind != second.Kind) return first.Kind < second.Kind;
        return first.Kind == 0 ? first.Number < second.Number : first.Text < second.Text;
    });
}

// ---- Lines of a text or a hex dump ----------------------------------------------------------------

LineRows::LineRows(std::span<const std::uint8_t> bytes, bool hex) : bytes_(bytes), hex_(hex) {
    if (hex) {
        width_ = media::HexDump(bytes.first(std::min(bytes.size(), media::kHexDumpBytesPerLine))).size();
        return;
    }
    starts_.push_back(0);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' && i + 1 < bytes.size()) {
            width_ = std::max(width_, i - starts_.back());
            starts_.push_back(i + 1);
        }
    width_ = std::max(width_, bytes.size() - starts_.back());
}

std::size_t LineRows::ColumnWidth(std::size_t column) const {
    if (!hex_ && column == 0) return Decimal(starts_.size()).size();
    return width_;
}

std::size_t LineRows::RowCount() const {
    return hex_ ? (bytes_.size() + media::kHexDumpBytesPerLine - 1) / media::kHexDumpBytesPerLine : starts_.size();
}

std::string LineRows::Cell(std::size_t row, std::size_t column) const {
    if (row >= RowCount()) return {};
    if (hex_) {
        const std::size_t at = row * media::kHexDumpBytesPerLine;
        std::string line =
            media::HexDump(bytes_.subspan(at, std::min(media::kHexDumpBytesPerLine, bytes_.size() - at)), at);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return line;
    }
    if (column == 0) return Decimal(row + 1);
    std::size_t end = row + 1 < starts_.size() ? starts_[row + 1] : bytes_.size();
    while (end > starts_[row] && (bytes_[end - 1] == '\n' || bytes_[end - 1] == '\r')) --end;
    const std::string decoded = media::TextOf(bytes_.subspan(starts_[row], end - starts_[row]));
    // A tab keeps its place in a monospace line; other control bytes are shown, not obeyed.
    std::string line;
    line.reserve(decoded.size());
    for (const char c : decoded) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t')
            line += kReplacement;
        else
            line += c;
    }
    return line;
}

// ---- Talk tables and soundsets ---------------------------------------------------------------------

std::string TalkRows::ColumnTitle(std::size_t column) const {
    static constexpr std::array<const char*, 3> kTitles{"StrRef", "Text", "Sound"};
    return column < kTitles.size() ? kTitles[column] : "";
}

std::size_t TalkRows::ColumnWidth(std::size_t column) const {
    // Fixed: measuring would decode every string of a table of 100,000.
    static constexpr std::array<std::size_t, 3> kWidths{8, 80, 16};
    return column < kWidths.size() ? kWidths[column] : 0;
}

std::string TalkRows::Cell(std::size_t row, std::size_t column) const {
    if (column == 0) return Decimal(row);
    const auto entry = table_.Entry(static_cast<std::uint32_t>(row));
    if (!entry) return {};
    return OneLine(column == 1 ? entry->Text : Windows1252ToUtf8(entry->SoundResRef));
}

SoundsetRows::SoundsetRows(std::vector<tlk::TSsfEntry> sounds, const TStrRefText& strRefText) {
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        const tlk::TSsfEntry& sound = sounds[i];
        const bool none = sound.StrRef == gff::kNoStrRef;
        std::optional<std::string> text;
        if (!none && strRefText) text = strRefText(sound.StrRef);
        cells_.push_back({tlk::SsfSoundName(i), OneLine(Windows1252ToUtf8(sound.ResRef)),
                          none ? std::string("-1") : Decimal(sound.StrRef), text ? OneLine(*text) : std::string()});
    }
}

std::string SoundsetRows::ColumnTitle(std::size_t column) const {
    static constexpr std::array<const char*, 4> kTitles{"Sound", "ResRef", "StrRef", "Text"};
    return column < kTitles.size() ? kTitles[column] : "";
}

std::size_t SoundsetRows::ColumnWidth(std::size_t column) const {
    std::size_t width = Characters(ColumnTitle(column));
    for (const auto& row : cells_)
        if (column < row.size()) width = std::max(width, Characters(row[column]));
    return width;
}

std::string SoundsetRows::Cell(std::size_t row, std::size_t column) const {
    return row < cells_.size() && column < cells_[row].size() ? cells_[row][column] : std::string();
}

// ---- GFF --------------------------------------------------------------------------------------------

std::string GffLanguageName(std::uint32_t stringId) {
    const std::uint32_t language = stringId / 2;
    std::string name;
    switch (language) {
        case 0:
            name = "English";
            break;
        case 1:
            name = "French";
            break;
        case 2:
            name = "German";
            break;
        case 3:
            name = "Italian";
            break;
        case 4:
            name = "Spanish";
            break;
        case 5:
            name = "Polish";
            break;
        case 128:
            name = "Korean";
            break;
        case 129:
            name = "Chinese (traditional)";
            break;
        case 130:
            name = "Chinese (simplified)";
            break;
        case 131:
            name = "Japanese";
            break;
        default:
            name = "Language " + Decimal(language);
            break;
    }
    return stringId % 2 != 0 ? name + " female" : name;
}

GffTree::GffTree(const gff::TGff& gff, TStrRefText strRefText) : gff_(gff), strRefText_(std::move(strRefText)) {
    // Breadth first: a node's children are made together, so that they sit side by side and a
    // node is found by its parent's first child and its index.
    nodes_.reserve(gff.Fields.size() + gff.ListItems.size() + 1);
    nodes_.push_back({});
    auto addFields = [&](std::uint32_t parent, std::uint32_t structIndex) {
        const gff::TGffStruct& s = gff_.Structs[structIndex];
        nodes_[parent].FirstChild = static_cast<std::uint32_t>(nodes_.size());
        nodes_[parent].ChildCount = s.FieldCount;
        for (std::uint32_t f = 0; f < s.FieldCount; ++f)
            nodes_.push_back({parent, 0, 0, s.FirstField + f, 0, TKind::Field});
    };
    if (!gff.Structs.empty()) addFields(0, 0);
    for (std::size_t n = 1; n < nodes_.size(); ++n) {
        const auto self = static_cast<std::uint32_t>(n);
        const TNode node = nodes_[n];
        if (node.Kind == TKind::ListItem) {
            addFields(self, node.Ref);
            continue;
        }
        if (node.Kind != TKind::Field) continue;
        const gff::TGffField& field = gff_.Fields[node.Ref];
        if (field.Type == gff::TGffType::Struct) {
            addFields(self, field.Ref);
        } else if (field.Type == gff::TGffType::List) {
            const gff::TGffList& list = gff_.Lists[field.Ref];
            nodes_[n].FirstChild = static_cast<std::uint32_t>(nodes_.size());
            nodes_[n].ChildCount = list.Count;
            for (const std::uint32_t item : gff_.ItemsOf(list))
                nodes_.push_back({self, 0, 0, item, 0, TKind::ListItem});
        } else if (field.Type == gff::TGffType::ExoLocString) {
            const gff::TGffLocString& loc = gff_.LocStrings[field.Ref];
            nodes_[n].FirstChild = static_cast<std::uint32_t>(nodes_.size());
            nodes_[n].ChildCount = static_cast<std::uint32_t>(loc.Strings.size());
            for (std::uint32_t i = 0; i < loc.Strings.size(); ++i)
                nodes_.push_back({self, 0, 0, i, field.Ref, TKind::LocString});
        }
    }
}

std::string GffTree::ColumnTitle(std::size_t column) const {
    static constexpr std::array<const char*, 3> kTitles{"Label", "Type", "Value"};
    return column < kTitles.size() ? kTitles[column] : "";
}

std::size_t GffTree::ChildCount(Node node) const { return node < nodes_.size() ? nodes_[node].ChildCount : 0; }

ViewerTree::Node GffTree::Child(Node node, std::size_t index) const {
    if (index >= ChildCount(node)) return kViewerRoot;
    return nodes_[node].FirstChild + static_cast<Node>(index);
}

ViewerTree::Node GffTree::Parent(Node node) const { return node < nodes_.size() ? nodes_[node].Parent : kViewerRoot; }

std::size_t GffTree::IndexInParent(Node node) const {
    if (node == kViewerRoot || node >= nodes_.size()) return 0;
    return node - nodes_[nodes_[node].Parent].FirstChild;
}

std::string GffTree::Cell(Node node, std::size_t column) const {
    if (node == kViewerRoot || node >= nodes_.size()) return {};
    const TNode& n = nodes_[node];
    switch (column) {
        case 0:
            if (n.Kind == TKind::Field) return OneLine(Windows1252ToUtf8(gff_.LabelOf(gff_.Fields[n.Ref])));
            if (n.Kind == TKind::ListItem) return "[" + Decimal(IndexInParent(node)) + "]";
            return GffLanguageName(gff_.LocStrings[n.Owner].Strings[n.Ref].first);
        case 1:
            if (n.Kind == TKind::Field) return gff::GffTypeName(gff_.Fields[n.Ref].Type);
            return n.Kind == TKind::ListItem ? "struct" : "";
        case 2:
            return Value(n);
        default:
            return {};
    }
}

std::string GffTree::Value(const TNode& n) const {
    using gff::TGffType;
    if (n.Kind == TKind::ListItem) return "id " + Decimal(gff_.Structs[n.Ref].Id);
    if (n.Kind == TKind::LocString) return OneLine(Windows1252ToUtf8(gff_.LocStrings[n.Owner].Strings[n.Ref].second));
    const gff::TGffField& f = gff_.Fields[n.Ref];
    const auto signedValue = static_cast<std::int64_t>(f.Value);
    switch (f.Type) {
        case TGffType::Byte:
        case TGffType::Word:
        case TGffType::Dword:
        case TGffType::Dword64:
            return Decimal(f.Value);
        case TGffType::Char:
        case TGffType::Short:
        case TGffType::Int:
        case TGffType::Int64:
            return std::to_string(signedValue);
        case TGffType::Float:
            return Shortest(std::bit_cast<float>(static_cast<std::uint32_t>(f.Value)));
        case TGffType::Double:
            return Shortest(std::bit_cast<double>(f.Value));
        case TGffType::ExoString:
        case TGffType::ResRef:
            return OneLine(Windows1252ToUtf8(gff_.Data[f.Ref]));
        case TGffType::ExoLocString: {
            const gff::TGffLocString& loc = gff_.LocStrings[f.Ref];
            if (loc.StrRef == gff::kNoStrRef) return "no strref";
            return WithStrRefText(loc.StrRef, strRefText_);
        }
        case TGffType::Void: {
            // The size, and the first bytes as a hex dump would show them.
            constexpr std::size_t kPreview = 8;
            const std::string& bytes = gff_.Data[f.Ref];
            std::string value = WithThousands(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
            if (!bytes.empty()) value += ":";
            for (std::size_t i = 0; i < std::min(kPreview, bytes.size()); ++i) {
                value += ' ';
                AppendHex(value, static_cast<std::uint8_t>(bytes[i]));
            }
            if (bytes.size() > kPreview) value += " ...";
            return value;
        }
        case TGffType::Struct:
            return "id " + Decimal(gff_.Structs[f.Ref].Id);
        case TGffType::List: {
            const std::uint32_t count = gff_.Lists[f.Ref].Count;
            return Decimal(count) + (count == 1 ? " struct" : " structs");
        }
    }
    return {};
}

ViewerTree::Node GffTree::Next(Node node) const {
    if (nodes_.size() <= 1) return kViewerRoot;
    if (node < nodes_.size() && nodes_[node].ChildCount > 0) return nodes_[node].FirstChild;
    // Up to the first ancestor with a next sibling.
    while (node != kViewerRoot && node < nodes_.size()) {
        const TNode& parent = nodes_[nodes_[node].Parent];
        if (node + 1 < parent.FirstChild + parent.ChildCount) return node + 1;
        node = nodes_[node].Parent;
    }
    return nodes_[0].FirstChild; // past the last line: the first
}

ViewerTree::Node GffTree::Previous(Node node) const {
    if (nodes_.size() <= 1) return kViewerRoot;
    auto lastBelow = [&](Node n) {
        while (nodes_[n].ChildCount > 0) n = nodes_[n].FirstChild + nodes_[n].ChildCount - 1;
        return n;
    };
    if (node == kViewerRoot || node >= nodes_.size()) return lastBelow(kViewerRoot);
    const Node parent = nodes_[node].Parent;
    if (node > nodes_[parent].FirstChild) return lastBelow(node - 1);
    return parent == kViewerRoot ? lastBelow(kViewerRoot) : parent;
}

// ---- Finding -------------------------------------------------------------------------------------------

std::optional<TFoundCell> FindInRows(const ViewerRows& rows, std::string_view text, std::optional<std::size_t> after,
                                     bool forward, std::size_t firstColumn) {
    const std::size_t count = rows.RowCount();
    if (text.empty() || count == 0) return std::nullopt;
    std::size_t row = 0;
    if (after && *after < count)
        row = forward ? (*after + 1) % count : (*after + count - 1) % count;
    else if (!forward)
        row = count - 1;
    for (std::size_t tried = 0; tried < count; ++tried) {
        for (std::size_t column = firstColumn; column < rows.ColumnCount(); ++column)
            if (ContainsIgnoringCase(rows.Cell(row, column), text)) return TFoundCell{row, column};
        row = forward ? (row + 1) % count : (row + count - 1) % count;
    }
    return std::nullopt;
}

std::optional<ViewerTree::Node> FindInTree(const GffTree& tree, std::string_view text, ViewerTree::Node after,
                                           bool forward) {
    const std::size_t lines = tree.NodeCount() - 1;
    if (text.empty() || lines == 0) return std::nullopt;
    ViewerTree::Node node = after;
    for (std::size_t tried = 0; tried < lines; ++tried) {
        node = forward ? tree.Next(node) : tree.Previous(node);
        if (ContainsIgnoringCase(tree.Cell(node, 0), text) || ContainsIgnoringCase(tree.Cell(node, 2), text))
            return node;
    }
    return std::nullopt;
}

} // namespace vellocar::ui
