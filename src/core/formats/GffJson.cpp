// A GFF as JSON and back, in the community's shape (GffJson.h).

#include "formats/GffJson.h"

#include "base/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <unordered_map>

namespace vellocar::gff {

namespace {

// The JSON's names of the field types, in the file's order.
constexpr std::array<std::string_view, kGffTypeCount> kTypeNames = {
    "byte",  "char",   "word",       "short",  "dword",         "int",  "dword64", "int64",
    "float", "double", "cexostring", "resref", "cexolocstring", "void", "struct",  "list",
};

constexpr std::string_view kDataTypeKey = "__data_type";
constexpr std::string_view kStructIdKey = "__struct_id";
constexpr std::string_view kStrRefKey = "id";
// What the document's own keys start with: such a key is a field only when it holds one.
constexpr std::string_view kOwnKeyPrefix = "__";

// The community's order of keys: byte by byte with ASCII capitals lowered, a shorter key first
// where one is the start of the other.
bool KeyLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(FoldAscii(a[i])), y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16 |
            std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8 | static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) out += kBase64Digits[(v >> shift) & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
        if (left == 2) v |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
        out += kBase64Digits[(v >> 18) & 63];
        out += kBase64Digits[(v >> 12) & 63];
        out += left == 2 ? kBase64Digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Base64's bytes; white space between the digits is let pass (older writers broke lines), the
// padding may be left out. Nothing for any other text.
std::optional<std::string> FromBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const char* digit = std::strchr(kBase64Digits, c);
        if (padding > 0 || c == '\0' || !digit) return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(digit - kBase64Digits);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    // What is left must be the zero bits that fill the last digit, and the padding no more than
    // makes the digits a multiple of four.
    if (held >= 6 || (bits & ((1u << held) - 1)) != 0 || padding > 2) return std::nullopt;
    return out;
}

std::string FromCodePage(std::string_view bytes) {
    return AsciiPrefix(bytes) == bytes.size() ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

// ---- GFF -> JSON ------------------------------------------------------------------------------

class TGffJsonWriter {
public:
    TGffJsonWriter(const TGff& gff, const TJsonWriter::Sink& sink) : gff_(gff), out_(sink, kGffJsonStyle) {
        labels_.reserve(gff.Labels.size());
        for (const std::string& label : gff.Labels) labels_.push_back(FromCodePage(label));
    }

    bool Write() {
        if (gff_.Structs.empty()) Fault("it has no root struct");
        WriteStruct(0, 0);
        return out_.Finish();
    }

private:
    // A member of a struct's object: one of the document's own keys, or a field.
    struct TMember {
        std::string_view Key;
        std::uint32_t Field; // kDataType, kStructId or an index into gff_.Fields
    };
    static constexpr std::uint32_t kDataType = UINT32_MAX, kStructId = UINT32_MAX - 1;

    [[noreturn]] static void Fault(const std::string& what) {
        throw EJsonError("Cannot write the GFF as JSON: " + what);
    }
    static void Check(bool holds, const char* what) {
        if (!holds) Fault(std::string("its model does not hold together (") + what + ")");
    }

    void WriteStruct(std::uint32_t index, std::size_t depth) {
        if (depth > kMaxGffDepth) Fault("its structs nest deeper than " + std::to_string(kMaxGffDepth) + " levels");
        Check(index < gff_.Structs.size(), "struct index");
        const TGffStruct& s = gff_.Structs[index];
        Check(s.FirstField <= gff_.Fields.size() && s.FieldCount <= gff_.Fields.size() - s.FirstField, "fields");
        if (members_.size() <= depth) members_.resize(depth + 1);
        std::vector<TMember>& members = members_[depth];
        members.clear();
        // In the order the community's writer makes them, which its sort keeps for equal keys.
        if (s.Id != kRootStructId) members.push_back({kStructIdKey, kStructId});
        if (depth == 0) members.push_back({kDataTypeKey, kDataType});
        for (std::uint32_t f = s.FirstField; f < s.FirstField + s.FieldCount; ++f) {
            const TGffField& field = gff_.Fields[f];
            Check(field.Label < labels_.size(), "label index");
            const std::string& key = labels_[field.Label];
            if (key == kStructIdKey || key == kDataTypeKey)
                Fault("a field's label is " + Quoted(key) + ", one of the document's own keys");
            members.push_back({key, f});
        }
        std::stable_sort(members.begin(), members.end(),
                         [](const TMember& a, const TMember& b) { return KeyLess(a.Key, b.Key); });
        for (std::size_t i = 1; i < members.size(); ++i) {
            // Equal keys stand among keys equal to them but for case.
            for (std::size_t j = i; j-- > 0 && !KeyLess(members[j].Key, members[i].Key);)
                if (members[j].Key == members[i].Key)
                    Fault("a struct holds two fields labelled " + Quoted(members[i].Key));
        }
        out_.BeginObject();
        // members_ may grow below: the members are taken by index.
        for (std::size_t i = 0; i < members_[depth].size(); ++i) {
            const TMember member = members_[depth][i];
            out_.Key(member.Key);
            if (member.Field == kStructId) {
                out_.Integer(static_cast<std::int32_t>(s.Id));
            } else if (member.Field == kDataType) {
                out_.String(FromCodePage(gff_.FileType));
            } else {
                WriteField(gff_.Fields[member.Field], depth);
            }
        }
        out_.EndObject();
    }

    const std::string& DataOf(const TGffField& field) {
        Check(field.Ref < gff_.Data.size(), "data index");
        return gff_.Data[field.Ref];
    }

    void WriteFloat(double value) {
        if (std::isnan(value)) return out_.String("nan");
        if (std::isinf(value)) return out_.String(value < 0 ? "-inf" : "inf");
        out_.Raw(JsonDoubleText(value));
    }

    void WriteField(const TGffField& field, std::size_t depth) {
        const auto type = static_cast<std::uint32_t>(field.Type);
        Check(type < kGffTypeCount, "field type");
        out_.BeginObject();
        if (field.Type == TGffType::Struct) {
            Check(field.Ref < gff_.Structs.size(), "struct index");
            out_.Key(kStructIdKey).Integer(static_cast<std::int32_t>(gff_.Structs[field.Ref].Id));
        }
        out_.Key("type").String(kTypeNames[type]);
        out_.Key(field.Type == TGffType::Void ? "value64" : "value");
        const std::uint64_t v = field.Value;
        switch (field.Type) {
            case TGffType::Byte:
                out_.Number(v & 0xFF);
                break;
            case TGffType::Word:
                out_.Number(v & 0xFFFF);
                break;
            case TGffType::Dword:
                out_.Number(v & 0xFFFFFFFF);
                break;
            case TGffType::Dword64:
                out_.Number(v);
                break;
            case TGffType::Char:
                out_.Integer(static_cast<std::int8_t>(v & 0xFF));
                break;
            case TGffType::Short:
                out_.Integer(static_cast<std::int16_t>(v & 0xFFFF));
                break;
            case TGffType::Int:
                out_.Integer(static_cast<std::int32_t>(v & 0xFFFFFFFF));
                break;
            case TGffType::Int64:
                out_.Integer(static_cast<std::int64_t>(v));
                break;
            case TGffType::Float:
                WriteFloat(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(v & 0xFFFFFFFF))));
                break;
            case TGffType::Double:
                WriteFloat(std::bit_cast<double>(v));
                break;
            case TGffType::ExoString:
            case TGffType::ResRef:
                out_.String(FromCodePage(DataOf(field)));
                break;
            case TGffType::Void:
                out_.String(Base64(DataOf(field)));
                break;
            case TGffType::ExoLocString:
                WriteLocString(field);
                break;
            case TGffType::Struct:
                WriteStruct(field.Ref, depth + 1);
                break;
            case TGffType::List: {
                Check(field.Ref < gff_.Lists.size(), "list index");
                const TGffList& list = gff_.Lists[field.Ref];
                Check(list.First <= gff_.ListItems.size() && list.Count <= gff_.ListItems.size() - list.First,
                      "list items");
                out_.BeginArray();
                for (std::uint32_t i = 0; i < list.Count; ++i) WriteStruct(gff_.ListItems[list.First + i], depth + 1);
                out_.EndArray();
                break;
            }
        }
        out_.EndObject();
    }

    void WriteLocString(const TGffField& field) {
        Check(field.Ref < gff_.LocStrings.size(), "locstring index");
        const TGffLocString& loc = gff_.LocStrings[field.Ref];
        // StringIDs as signed numbers, ordered as text ("10" before "2"); "id" after them all.
        std::vector<std::pair<std::string, std::size_t>> keys;
        keys.reserve(loc.Strings.size());
        for (std::size_t i = 0; i < loc.Strings.size(); ++i)
            keys.emplace_back(std::to_string(static_cast<std::int32_t>(loc.Strings[i].first)), i);
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < keys.size(); ++i)
            if (keys[i].first == keys[i - 1].first)
                Fault("a CExoLocString holds two strings of StringID " + keys[i].first);
        out_.BeginObject();
        for (const auto& [key, i] : keys) out_.Key(key).String(FromCodePage(loc.Strings[i].second));
        if (loc.StrRef != kNoStrRef) out_.Key(kStrRefKey).Number(loc.StrRef);
        out_.EndObject();
    }

    const TGff& gff_;
    TJsonWriter out_;
    std::vector<std::string> labels_; // as UTF-8
    std::vector<std::vector<TMember>> members_; // per depth, reused
};

// ---- JSON -> GFF ------------------------------------------------------------------------------

// Where a value stands in the GFF, for messages: "ItemList[2].Tag".
struct TPlace {
    const TPlace* Parent = nullptr;
    std::string_view Label;
    std::optional<std::size_t> Item;
};

std::string PlaceText(const TPlace* place) {
    std::vector<const TPlace*> chain;
    for (; place; place = place->Parent) chain.push_back(place);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->Item) {
            text += "[" + std::to_string(*(*it)->Item) + "]";
        } else if (!(*it)->Label.empty() || it != chain.rbegin()) {
            if (!text.empty()) text += '.';
            text.append((*it)->Label);
        }
    }
    return text;
}

class TGffJsonReader {
public:
    explicit TGffJsonReader(std::string_view text) : doc_(ReadJson(text)) {}

    TGff Read() {
        const Node& top = doc_.Top();
        if (top.Kind != TJsonKind::Object) Fail(top, nullptr, "a GFF's JSON is an object");
        gff_.FileType.clear();
        gff_.Structs.push_back({});
        FillStruct(top, 0, 0, nullptr);
        if (gff_.FileType.empty()) Fail(top, nullptr, "it has no \"__data_type\"");
        return std::move(gff_);
    }

private:
    using Node = TJsonDocument::Node;

    [[noreturn]] static void Fail(const Node& node, const TPlace* place, const std::string& what) {
        std::string where = TJsonDocument::Where(node);
        if (place) where += ", field " + Quoted(PlaceText(place));
        throw EJsonError("JSON of a GFF: " + where + ": " + what);
    }

    std::string_view Text(const Node& node) const { return doc_.TextOf(node); }

    // The member of an object named name; nothing when it has none.
    const Node* Member(const Node& object, std::string_view name) const {
        if (object.Kind != TJsonKind::Object) return nullptr;
        const std::uint32_t* children = doc_.ChildrenOf(object);
        for (std::uint32_t i = 0; i + 1 < object.Count; i += 2)
            if (Text(doc_.At(children[i])) == name) return &doc_.At(children[i + 1]);
        return nullptr;
    }

    std::string CodePage(const Node& node, const TPlace* place, const char* what) {
        const std::string_view text = Text(node);
        if (AsciiPrefix(text) == text.size()) return std::string(text);
        auto bytes = Utf8ToWindows1252(text);
        if (!bytes) Fail(node, place, std::string(what) + " holds a character that Windows-1252 cannot hold");
        return std::move(*bytes);
    }

    std::uint32_t StructId(const Node& node, const TPlace* place) {
        if (node.Kind == TJsonKind::Number)
            if (const auto id = JsonInt64(Text(node)); id && *id >= INT32_MIN && *id <= UINT32_MAX)
                return static_cast<std::uint32_t>(*id);
        Fail(node, place, "\"__struct_id\" is no 32-bit integer");
    }

    void FillStruct(const Node& object, std::uint32_t index, std::size_t depth, const TPlace* place) {
        const std::uint32_t* children = doc_.ChildrenOf(object);
        // The fields first, counted, so that they stand together in gff_.Fields.
        std::uint32_t fields = 0;
        gff_.Structs[index].Id = kRootStructId;
        for (std::uint32_t i = 0; i + 1 < object.Count; i += 2) {
            const std::string_view key = Text(doc_.At(children[i]));
            const Node& value = doc_.At(children[i + 1]);
            if (IsFieldKey(key, value)) {
                ++fields;
            } else if (key == kStructIdKey) {
                gff_.Structs[index].Id = StructId(value, place);
            } else if (key == kDataTypeKey && depth == 0) {
                if (value.Kind != TJsonKind::String) Fail(value, nullptr, "\"__data_type\" is no string");
                gff_.FileType = CodePage(value, nullptr, "\"__data_type\"");
                if (gff_.FileType.size() != 4) Fail(value, nullptr, "\"__data_type\" is not four characters");
            }
        }
        const std::size_t first = gff_.Fields.size();
        if (first + fields > UINT32_MAX) Fail(object, place, "too many fields");
        gff_.Fields.resize(first + fields);
        gff_.Structs[index].FirstField = static_cast<std::uint32_t>(first);
        gff_.Structs[index].FieldCount = fields;
        // The labels next, each once in the struct; then the values, which may hold structs.
        ++stamp_;
        std::size_t at = first;
        for (std::uint32_t i = 0; i + 1 < object.Count; i += 2) {
            const Node& keyNode = doc_.At(children[i]);
            const std::string_view key = Text(keyNode);
            if (!IsFieldKey(key, doc_.At(children[i + 1]))) continue;
            const TPlace here{place, key, std::nullopt};
            const std::uint32_t label = LabelIndex(keyNode, &here);
            if (seen_[label] == stamp_) Fail(keyNode, &here, "the struct holds this label twice");
            seen_[label] = stamp_;
            gff_.Fields[at++].Label = label;
        }
        at = first;
        for (std::uint32_t i = 0; i + 1 < object.Count; i += 2) {
            const std::string_view key = Text(doc_.At(children[i]));
            const Node& value = doc_.At(children[i + 1]);
            if (!IsFieldKey(key, value)) continue;
            const TPlace here{place, key, std::nullopt};
            TGffField field = ReadField(value, depth, &here);
            field.Label = gff_.Fields[at].Label;
            gff_.Fields[at++] = field;
        }
    }

    // Whether a member of a struct's object is a field: any key but those of the document's own,
    // which start with "__"; such a key is a field only when it holds one and is not one of the
    // two the document uses.
    bool IsFieldKey(std::string_view key, const Node& value) const {
        if (key.substr(0, kOwnKeyPrefix.size()) != kOwnKeyPrefix) return true;
        return key != kStructIdKey && key != kDataTypeKey && value.Kind == TJsonKind::Object && Member(value, "type");
    }

    std::uint32_t LabelIndex(const Node& keyNode, const TPlace* place) {
        const auto [found, fresh] = labelIndex_.try_emplace(std::string(Text(keyNode)), 0);
        if (fresh) {
            std::string label = CodePage(keyNode, place, "the label");
            if (label.size() > kMaxLabel)
                Fail(keyNode, place, "the label is longer than " + std::to_string(kMaxLabel) + " bytes");
            if (label.find('\0') != std::string::npos) Fail(keyNode, place, "the label holds a zero byte");
            found->second = static_cast<std::uint32_t>(gff_.Labels.size());
            gff_.Labels.push_back(std::move(label));
            seen_.push_back(0);
        }
        return found->second;
    }

    std::uint32_t AddData(std::string bytes) {
        gff_.Data.push_back(std::move(bytes));
        return static_cast<std::uint32_t>(gff_.Data.size() - 1);
    }

    // A number node's value as a type's integer, sign-extended; refused when out of its range.
    std::uint64_t Integer(const Node& value, const TPlace* place, std::int64_t low, std::uint64_t high) {
        if (value.Kind == TJsonKind::Number) {
            const std::string_view text = Text(value);
            if (low < 0) {
                if (const auto v = JsonInt64(text);
                    v && *v >= low && (*v < 0 || static_cast<std::uint64_t>(*v) <= high))
                    return static_cast<std::uint64_t>(*v);
            } else if (const auto v = JsonUint64(text); v && *v <= high) {
                return *v;
            }
        }
        Fail(value, place, "\"value\" is no integer from " + std::to_string(low) + " to " + std::to_string(high));
    }

    double Floating(const Node& value, const TPlace* place) {
        if (value.Kind == TJsonKind::Number)
            if (const auto v = JsonDouble(Text(value))) return *v;
        if (value.Kind == TJsonKind::String) {
            const std::string_view text = Text(value);
            if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
            if (text == "inf") return std::numeric_limits<double>::infinity();
            if (text == "-inf") return -std::numeric_limits<double>::infinity();
        }
        Fail(value, place, "\"value\" is no number");
    }

    const Node& Need(const Node* node, const Node& field, const TPlace* place, TJsonKind kind, const char* what) {
        if (!node) Fail(field, place, std::string("the field has no \"value\""));
        if (node->Kind != kind) Fail(*node, place, std::string("\"value\" is no ") + what);
        return *node;
    }

    TGffField ReadField(const Node& object, std::size_t depth, const TPlace* place) {
        if (object.Kind != TJsonKind::Object) Fail(object, place, "a field is an object with a \"type\"");
        const Node* typeMember = Member(object, "type");
        if (!typeMember) Fail(object, place, "the field has no \"type\"");
        const Node& typeNode = *typeMember;
        const auto typeName = typeNode.Kind == TJsonKind::String ? Text(typeNode) : std::string_view();
        const auto named = std::find(kTypeNames.begin(), kTypeNames.end(), typeName);
        if (named == kTypeNames.end()) Fail(typeNode, place, "\"type\" is no GFF field type");
        TGffField field;
        field.Type = static_cast<TGffType>(named - kTypeNames.begin());
        const Node* value = Member(object, "value");
        const auto need = [&](TJsonKind kind, const char* what) -> const Node& {
            return Need(value, object, place, kind, what);
        };
        const auto number = [&]() -> const Node& {
            if (!value) Fail(object, place, "the field has no \"value\"");
            return *value;
        };
        switch (field.Type) {
            case TGffType::Byte:
                field.Value = Integer(number(), place, 0, UINT8_MAX);
                break;
            case TGffType::Char:
                field.Value = Integer(number(), place, INT8_MIN, INT8_MAX);
                break;
            case TGffType::Word:
                field.Value = Integer(number(), place, 0, UINT16_MAX);
                break;
            case TGffType::Short:
                field.Value = Integer(number(), place, INT16_MIN, INT16_MAX);
                break;
            case TGffType::Dword:
                field.Value = Integer(number(), place, 0, UINT32_MAX);
                break;
            case TGffType::Int:
                field.Value = Integer(number(), place, INT32_MIN, INT32_MAX);
                break;
            case TGffType::Dword64:
                field.Value = Integer(number(), place, 0, UINT64_MAX);
                break;
            case TGffType::Int64:
                field.Value = Integer(number(), place, INT64_MIN, INT64_MAX);
                break;
            case TGffType::Float: {
                const double d = Floating(number(), place);
                if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
                    Fail(*value, place, "\"value\" is beyond the range of a float");
                field.Value = std::bit_cast<std::uint32_t>(static_cast<float>(d));
                break;
            }
            case TGffType::Double:
                field.Value = std::bit_cast<std::uint64_t>(Floating(number(), place));
                break;
            case TGffType::ExoString:
                field.Ref = AddData(CodePage(need(TJsonKind::String, "string"), place, "the text"));
                break;
            case TGffType::ResRef: {
                std::string resRef = CodePage(need(TJsonKind::String, "string"), place, "the ResRef");
                if (resRef.size() > kMaxResRef)
                    Fail(*value, place, "the ResRef is longer than " + std::to_string(kMaxResRef) + " bytes");
                field.Ref = AddData(std::move(resRef));
                break;
            }
            case TGffType::Void: {
                // "value64" in base64; older writers put the bytes in "value" as they were.
                if (const Node* blob = Member(object, "value64")) {
                    if (blob->Kind != TJsonKind::String) Fail(*blob, place, "\"value64\" is no string");
                    auto bytes = FromBase64(Text(*blob));
                    if (!bytes) Fail(*blob, place, "\"value64\" is not base64");
                    field.Ref = AddData(std::move(*bytes));
                } else {
                    field.Ref = AddData(std::string(Text(need(TJsonKind::String, "string"))));
                }
                break;
            }
            case TGffType::ExoLocString:
                field.Ref = ReadLocString(object, need(TJsonKind::Object, "object"), place);
                break;
            case TGffType::Struct: {
                const Node& inner = need(TJsonKind::Object, "object");
                field.Ref = NewStruct(inner, depth, place);
                FillStruct(inner, field.Ref, depth + 1, place);
                break;
            }
            case TGffType::List: {
                const Node& items = need(TJsonKind::Array, "array");
                if (gff_.ListItems.size() + items.Count > UINT32_MAX) Fail(items, place, "too many list items");
                const auto first = static_cast<std::uint32_t>(gff_.ListItems.size());
                gff_.Lists.push_back({first, items.Count});
                field.Ref = static_cast<std::uint32_t>(gff_.Lists.size() - 1);
                gff_.ListItems.resize(first + items.Count);
                const std::uint32_t* children = doc_.ChildrenOf(items);
                for (std::uint32_t i = 0; i < items.Count; ++i) {
                    const Node& item = doc_.At(children[i]);
                    const TPlace here{place, {}, i};
                    if (item.Kind != TJsonKind::Object) Fail(item, &here, "a list item is no object");
                    const std::uint32_t index = NewStruct(item, depth, &here);
                    gff_.ListItems[first + i] = index;
                    FillStruct(item, index, depth + 1, &here);
                }
                break;
            }
        }
        return field;
    }

    std::uint32_t NewStruct(const Node& node, std::size_t depth, const TPlace* place) {
        if (depth + 1 > kMaxGffDepth)
            Fail(node, place, "structs nest deeper than " + std::to_string(kMaxGffDepth) + " levels");
        if (gff_.Structs.size() >= UINT32_MAX) Fail(node, place, "too many structs");
        gff_.Structs.push_back({});
        return static_cast<std::uint32_t>(gff_.Structs.size() - 1);
    }

    std::uint32_t ReadLocString(const Node& field, const Node& value, const TPlace* place) {
        TGffLocString loc;
        const std::uint32_t* children = doc_.ChildrenOf(value);
        const auto strRef = [&](const Node& id) {
            if (id.Kind == TJsonKind::Number)
                if (const auto v = JsonUint64(Text(id)); v && *v <= UINT32_MAX) return static_cast<std::uint32_t>(*v);
            Fail(id, place, "\"id\" is no StrRef (an integer from 0 to 4294967295)");
        };
        for (std::uint32_t i = 0; i + 1 < value.Count; i += 2) {
            const Node& keyNode = doc_.At(children[i]);
            const std::string_view key = Text(keyNode);
            const Node& text = doc_.At(children[i + 1]);
            if (key == kStrRefKey) {
                loc.StrRef = strRef(text);
                continue;
            }
            const auto id = JsonInt64(key);
            if (!id || *id < INT32_MIN || *id > UINT32_MAX || key.empty() || key[0] == '+' ||
                (key.size() > 1 && (key[0] == '0' || (key[0] == '-' && key[1] == '0'))))
                Fail(keyNode, place, "a CExoLocString's key is neither a StringID nor \"id\"");
            if (text.Kind != TJsonKind::String) Fail(text, place, "a CExoLocString's text is no string");
            const auto stringId = static_cast<std::uint32_t>(*id);
            for (const auto& [known, _] : loc.Strings)
                if (known == stringId)
                    Fail(keyNode, place, "the CExoLocString holds StringID " + std::string(key) + " twice");
            loc.Strings.emplace_back(stringId, CodePage(text, place, "the text"));
        }
        // An older form kept the StrRef beside "value".
        if (loc.StrRef == kNoStrRef)
            if (const Node* id = Member(field, kStrRefKey)) loc.StrRef = strRef(*id);
        gff_.LocStrings.push_back(std::move(loc));
        return static_cast<std::uint32_t>(gff_.LocStrings.size() - 1);
    }

    TJsonDocument doc_;
    TGff gff_;
    std::unordered_map<std::string, std::uint32_t> labelIndex_;
    // Per label, the stamp of the last struct that took it: a label twice in one struct.
    std::vector<std::uint64_t> seen_;
    std::uint64_t stamp_ = 0;
};

} // namespace

std::string JsonDoubleText(double value) {
    if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
    char buffer[64];
    const auto end = std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::scientific).ptr;
    const std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
    // "-d.ddde+XX": the sign, the digits without their point, and the exponent.
    const bool negative = shortest[0] == '-';
    const std::size_t e = shortest.find('e');
    std::string digits;
    for (const char c : shortest.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
        if (c != '.') digits += c;
    int exponent = 0;
    const std::string_view exp = shortest.substr(e + 1);
    std::from_chars(exp.data() + (exp[0] == '+' ? 1 : 0), exp.data() + exp.size(), exponent);
    const int count = static_cast<int>(digits.size());
    const int point = exponent + 1; // digits before the point
    std::string text = negative ? "-" : "";
    // Plain digits while the point stands from 6 places left of the first digit to 17 right of it.
    if (point >= -6 && point <= 17) {
        if (point <= 0) {
            text.append("0.").append(static_cast<std::size_t>(-point), '0').append(digits);
        } else if (point < count) {
            text.append(digits, 0, static_cast<std::size_t>(point))
                .append(".")
                .append(digits, static_cast<std::size_t>(point));
        } else {
            text.append(digits).append(static_cast<std::size_t>(point - count), '0').append(".0");
        }
        return text;
    }
    text += digits[0];
    if (count > 1) text.append(".").append(digits, 1);
    text += exponent < 0 ? "e-" : "e+";
    text += std::to_string(exponent < 0 ? -exponent : exponent);
    return text;
}

bool WriteGffJson(const TGff& gff, const TJsonWriter::Sink& sink) { return TGffJsonWriter(gff, sink).Write(); }

std::string GffToJson(const TGff& gff) {
    std::string text;
    WriteGffJson(gff, [&](std::string_view chunk) {
        text.append(chunk);
        return true;
    });
    return text;
}

TGff GffFromJson(std::string_view text) { return TGffJsonReader(text).Read(); }

} // namespace vellocar::gff
