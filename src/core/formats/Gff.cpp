// The GFF V3.2 reader and writer over bytes.
//
// Layout (all integers little-endian):
//   header         56 bytes at 0: FileType, FileVersion, then (offset, count) of the struct
//                  table and the field table (12-byte rows), the label table (16-byte rows), and
//                  (offset, size in bytes) of the field data, the field indices, the list indices
//   struct row     Id, DataOrDataOffset, FieldCount: one field, DataOrDataOffset is its index;
//                  more, a byte offset into the field indices, where FieldCount u32 indices start
//   field row      Type, LabelIndex, DataOrDataOffset: the value itself (Byte .. Int, Float), a
//                  byte offset into the field data (Dword64, Int64, Double, ExoString, ResRef,
//                  ExoLocString, Void), a struct index (Struct), a byte offset into the list
//                  indices (List), where a u32 count and that many struct indices start
//   label row      16 bytes, the label padded with NULs
//
// The reader walks the tree from the root, so that everything it keeps was reached once, within
// the file, and no deeper than kMaxGffDepth; the writer walks it the same way and lays the file
// out in the order of that walk, as the game's files are: structs and fields in the order they
// are reached (a field's row before those of the structs below it), labels in the order of first
// use, field data in field order, each struct's field indices in struct order, each list's
// indices in the order its field is reached.

#include "formats/Gff.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Records.h"
#include "base/Text.h"

#include <array>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace vellocar::gff {

namespace {

using byteio::Get32;
using byteio::Put32;
using byteio::RangeEnd;

using TTag = std::array<char, 4>;

struct THeader {
    TTag FileType{};
    TTag FileVersion{};
    std::uint32_t StructOffset = 0, StructCount = 0;
    std::uint32_t FieldOffset = 0, FieldCount = 0;
    std::uint32_t LabelOffset = 0, LabelCount = 0;
    std::uint32_t FieldDataOffset = 0, FieldDataSize = 0;
    std::uint32_t FieldIndicesOffset = 0, FieldIndicesSize = 0;
    std::uint32_t ListIndicesOffset = 0, ListIndicesSize = 0;
};
struct TStructRow {
    std::uint32_t Id = 0;
    std::uint32_t DataOrDataOffset = 0;
    std::uint32_t FieldCount = 0;
};
struct TFieldRow {
    std::uint32_t Type = 0;
    std::uint32_t LabelIndex = 0;
    std::uint32_t DataOrDataOffset = 0;
};

using Header =
    byteio::TRecordLayout<&THeader::FileType, &THeader::FileVersion, &THeader::StructOffset, &THeader::StructCount,
                          &THeader::FieldOffset, &THeader::FieldCount, &THeader::LabelOffset, &THeader::LabelCount,
                          &THeader::FieldDataOffset, &THeader::FieldDataSize, &THeader::FieldIndicesOffset,
                          &THeader::FieldIndicesSize, &THeader::ListIndicesOffset, &THeader::ListIndicesSize>;
using StructRow = byteio::TRecordLayout<&TStructRow::Id, &TStructRow::DataOrDataOffset, &TStructRow::FieldCount>;
using FieldRow = byteio::TRecordLayout<&TFieldRow::Type, &TFieldRow::LabelIndex, &TFieldRow::DataOrDataOffset>;
static_assert(Header::Size == 56 && StructRow::Size == 12 && FieldRow::Size == 12);
constexpr std::size_t kLabelRowSize = kMaxLabel;
constexpr std::size_t kIndexSize = 4; // a field index, a list's count, a struct index
constexpr std::size_t kLengthSize = 4; // before an ExoString's, a Void's and an ExoLocString's bytes
constexpr std::size_t kResRefLengthSize = 1;
constexpr std::size_t kWideSize = 8; // Dword64, Int64, Double
constexpr std::size_t kLocHeadSize = 8; // an ExoLocString's StrRef and count, after its length
constexpr std::size_t kSubstringHeadSize = 8; // a substring's StringID and length
constexpr TTag kVersion{'V', '3', '.', '2'};
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

[[noreturn]] void Fail(const std::string& what) { throw EGffError(what); }

std::string Num(std::uint64_t n) { return std::to_string(n); }

// The value a Byte .. Int or Float field holds, from its row's 32 bits, as the model keeps it: the
// type's own bits, sign-extended for the signed ones.
std::uint64_t InlineValue(TGffType type, std::uint32_t raw) {
    switch (type) {
        case TGffType::Byte:
            return raw & 0xFFu;
        case TGffType::Char:
            return static_cast<std::uint64_t>(std::int64_t{static_cast<std::int8_t>(raw & 0xFFu)});
        case TGffType::Word:
            return raw & 0xFFFFu;
        case TGffType::Short:
            return static_cast<std::uint64_t>(std::int64_t{static_cast<std::int16_t>(raw & 0xFFFFu)});
        case TGffType::Int:
            return static_cast<std::uint64_t>(std::int64_t{static_cast<std::int32_t>(raw)});
        default:
            return raw; // Dword, Float
    }
}

bool IsInline(TGffType type) { return type <= TGffType::Int || type == TGffType::Float; }
bool IsWide(TGffType type) { return type == TGffType::Dword64 || type == TGffType::Int64 || type == TGffType::Double; }

std::uint64_t Get64(const std::uint8_t* p) { return Get32(p) | std::uint64_t{Get32(p + 4)} << 32; }

// ---------------------------------------------------------------------------------------------
// Reading

class TReader {
public:
    explicit TReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    TGff Read() {
        if (bytes_.size() < Header::Size)
            Fail("the file is too short for a GFF header (file " + Num(bytes_.size()) + " bytes, header " +
                 Num(Header::Size) + " bytes)");
        h_ = Header::Read(bytes_.data());
        if (h_.FileVersion != kVersion)
            Fail("the file is of version " +
                 Quoted(Printable(std::string_view(h_.FileVersion.data(), h_.FileVersion.size()))) + ", not GFF V3.2");
        structs_ = Section("the struct table", h_.StructOffset, h_.StructCount, StructRow::Size);
        fields_ = Section("the field table", h_.FieldOffset, h_.FieldCount, FieldRow::Size);
        labels_ = Section("the label table", h_.LabelOffset, h_.LabelCount, kLabelRowSize);
        data_ = Section("the field data", h_.FieldDataOffset, h_.FieldDataSize, 1);
        fieldIndices_ = Section("the field indices", h_.FieldIndicesOffset, h_.FieldIndicesSize, 1);
        listIndices_ = Section("the list indices", h_.ListIndicesOffset, h_.ListIndicesSize, 1);
        if (h_.StructCount == 0) Fail("the GFF has no struct, not even its root");

        gff_.FileType.assign(h_.FileType.data(), h_.FileType.size());
        gff_.FileVersion.assign(kVersion.data(), kVersion.size());
        gff_.Labels.reserve(h_.LabelCount);
        for (std::size_t i = 0; i < h_.LabelCount; ++i) {
            const auto row = byteio::AsChars(labels_.data() + i * kLabelRowSize, kLabelRowSize);
            gff_.Labels.emplace_back(row.substr(0, row.find('\0')));
        }
        // Every count below was checked against the file: each struct and field is kept once at
        // most, so these are the most the model can hold.
        gff_.Structs.reserve(h_.StructCount);
        gff_.Fields.reserve(h_.FieldCount);
        structState_.assign(h_.StructCount, kUnreached);
        fieldUsed_.assign(h_.FieldCount, false);
        // Structs and fields that the root does not reach are left out: the game walks the tree
        // from the root and never sees them, and keeping them would give the model parts that
        // belong to no tree (nothing could show, convert or write them where they were).
        Visit(0, 1);
        return std::move(gff_);
    }

private:
    enum : std::uint8_t { kUnreached, kOnPath, kDone };

    std::span<const std::uint8_t> Section(const char* name, std::uint32_t offset, std::uint32_t count,
                                          std::size_t rowSize) {
        if (!RangeEnd(offset, count, rowSize, bytes_.size()))
            Fail(byteio::PastEnd(name, offset, count, rowSize, bytes_.size()));
        return bytes_.subspan(offset, count * rowSize);
    }

    // Reads struct s of the file, depth structs deep (the root is 1), into the model; its index
    // there. Its fields take slots in the model before those of the structs below them, so that
    // each struct's fields stay together.
    std::uint32_t Visit(std::uint32_t s, std::size_t depth) {
        if (s >= h_.StructCount)
            Fail("GFF struct index " + Num(s) + " is out of range (the file has " + Num(h_.StructCount) + " structs)");
        if (structState_[s] == kOnPath) Fail("GFF struct " + Num(s) + " lies inside itself");
        if (structState_[s] == kDone) Fail("GFF struct " + Num(s) + " is reached twice");
        if (depth > kMaxGffDepth)
            Fail("GFF struct " + Num(s) + " lies " + Num(depth) + " structs deep, deeper than the " +
                 Num(kMaxGffDepth) + " accepted");
        structState_[s] = kOnPath;
        const TStructRow row = StructRow::Read(structs_.data() + std::size_t{s} * StructRow::Size);
        if (row.FieldCount > h_.FieldCount)
            Fail("GFF struct " + Num(s) + " has " + Num(row.FieldCount) + " fields, but the file has " +
                 Num(h_.FieldCount));
        if (row.FieldCount > 1 && !RangeEnd(row.DataOrDataOffset, row.FieldCount, kIndexSize, fieldIndices_.size()))
            Fail("the field indices of GFF struct " + Num(s) + " run past the end of the field indices (offset " +
                 Num(row.DataOrDataOffset) + ", " + Num(row.FieldCount) + " fields, field indices " +
                 Num(fieldIndices_.size()) + " bytes)");
        const auto index = static_cast<std::uint32_t>(gff_.Structs.size());
        const auto first = static_cast<std::uint32_t>(gff_.Fields.size());
        gff_.Structs.push_back({row.Id, first, row.FieldCount});
        gff_.Fields.resize(std::size_t{first} + row.FieldCount);
        for (std::uint32_t i = 0; i < row.FieldCount; ++i) {
            const std::uint32_t f = row.FieldCount == 1
                ? row.DataOrDataOffset
                : Get32(fieldIndices_.data() + row.DataOrDataOffset + std::size_t{i} * kIndexSize);
            if (f >= h_.FieldCount)
                Fail("GFF struct " + Num(s) + " names field " + Num(f) + ", but the file has " + Num(h_.FieldCount) +
                     " fields");
            if (fieldUsed_[f]) Fail("GFF field " + Num(f) + " belongs to more than one struct");
            fieldUsed_[f] = true;
            const TGffField field = ReadField(f, depth);
            gff_.Fields[first + i] = field;
        }
        structState_[s] = kDone;
        return index;
    }

    TGffField ReadField(std::uint32_t f, std::size_t depth) {
        const TFieldRow row = FieldRow::Read(fields_.data() + std::size_t{f} * FieldRow::Size);
        if (row.Type >= kGffTypeCount)
            Fail("GFF field " + Num(f) + " has type " + Num(row.Type) + ", which GFF V3.2 does not have");
        if (row.LabelIndex >= h_.LabelCount)
            Fail("GFF field " + Num(f) + " has label index " + Num(row.LabelIndex) + ", but the file has " +
                 Num(h_.LabelCount) + " labels");
        TGffField field;
        field.Label = row.LabelIndex;
        field.Type = static_cast<TGffType>(row.Type);
        const std::uint32_t at = row.DataOrDataOffset;
        if (IsInline(field.Type)) {
            field.Value = InlineValue(field.Type, at);
        } else if (IsWide(field.Type)) {
            field.Value = Get64(Take(f, at, kWideSize));
        } else if (field.Type == TGffType::ExoString || field.Type == TGffType::Void) {
            field.Ref = KeepData(f, at + std::uint64_t{kLengthSize}, Get32(Take(f, at, kLengthSize)));
        } else if (field.Type == TGffType::ResRef) {
            field.Ref = KeepData(f, at + std::uint64_t{kResRefLengthSize}, *Take(f, at, kResRefLengthSize));
        } else if (field.Type == TGffType::ExoLocString) {
            field.Ref = ReadLocString(f, at);
        } else if (field.Type == TGffType::Struct) {
            field.Ref = Visit(at, depth + 1);
        } else {
            field.Ref = ReadList(f, at, depth);
        }
        return field;
    }

    // size bytes of field f's data at offset into the field data. Each field's data is its own:
    // once the fields have taken more bytes than the field data holds, some take the same bytes,
    // which could make the model many times the file.
    const std::uint8_t* Take(std::uint32_t f, std::uint64_t offset, std::uint64_t size) {
        if (!RangeEnd(offset, size, 1, data_.size()))
            Fail("the data of GFF field " + Num(f) + " runs past the end of the field data (offset " + Num(offset) +
                 ", " + Num(size) + " bytes, field data " + Num(data_.size()) + " bytes)");
        taken_ += size;
        if (taken_ > data_.size())
            Fail("GFF field " + Num(f) + " shares its data with another field (the fields take more than the " +
                 Num(data_.size()) + " bytes of field data)");
        return data_.data() + offset;
    }

    std::uint32_t KeepData(std::uint32_t f, std::uint64_t offset, std::uint32_t size) {
        const std::uint8_t* p = Take(f, offset, size);
        gff_.Data.emplace_back(byteio::AsChars(p, size));
        return static_cast<std::uint32_t>(gff_.Data.size() - 1);
    }

    std::uint32_t ReadLocString(std::uint32_t f, std::uint64_t at) {
        const std::uint32_t total = Get32(Take(f, at, kLengthSize));
        const std::uint8_t* p = Take(f, at + kLengthSize, total);
        if (total < kLocHeadSize)
            Fail("the CExoLocString of GFF field " + Num(f) + " takes " + Num(total) + " bytes, fewer than its " +
                 Num(kLocHeadSize) + "-byte head");
        TGffLocString loc;
        loc.StrRef = Get32(p);
        const std::uint32_t count = Get32(p + 4);
        std::size_t pos = kLocHeadSize;
        if (count > (total - pos) / kSubstringHeadSize)
            Fail("the CExoLocString of GFF field " + Num(f) + " has " + Num(count) + " strings, more than its " +
                 Num(total) + " bytes hold");
        loc.Strings.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t left = total - pos;
            const std::uint32_t size = left >= kSubstringHeadSize ? Get32(p + pos + 4) : 0;
            if (left < kSubstringHeadSize || size > left - kSubstringHeadSize)
                Fail("string " + Num(i) + " of the CExoLocString of GFF field " + Num(f) + " runs past its " +
                     Num(total) + " bytes");
            loc.Strings.emplace_back(Get32(p + pos), std::string(byteio::AsChars(p + pos + kSubstringHeadSize, size)));
            pos += kSubstringHeadSize + size;
        }
        gff_.LocStrings.push_back(std::move(loc));
        return static_cast<std::uint32_t>(gff_.LocStrings.size() - 1);
    }

    std::uint32_t ReadList(std::uint32_t f, std::uint32_t at, std::size_t depth) {
        const std::uint32_t count =
            RangeEnd(at, 1, kIndexSize, listIndices_.size()) ? Get32(listIndices_.data() + at) : 0;
        if (!RangeEnd(at + std::uint64_t{kIndexSize}, count, kIndexSize, listIndices_.size()))
            Fail("the list of GFF field " + Num(f) + " runs past the end of the list indices (offset " + Num(at) +
                 ", " + Num(count) + " structs, list indices " + Num(listIndices_.size()) + " bytes)");
        const auto index = static_cast<std::uint32_t>(gff_.Lists.size());
        const auto first = static_cast<std::uint32_t>(gff_.ListItems.size());
        gff_.Lists.push_back({first, count});
        gff_.ListItems.resize(std::size_t{first} + count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t item =
                Visit(Get32(listIndices_.data() + at + kIndexSize * (std::size_t{i} + 1)), depth + 1);
            gff_.ListItems[first + i] = item;
        }
        return index;
    }

    std::span<const std::uint8_t> bytes_;
    THeader h_;
    std::span<const std::uint8_t> structs_, fields_, labels_, data_, fieldIndices_, listIndices_;
    std::vector<std::uint8_t> structState_;
    std::vector<bool> fieldUsed_;
    std::uint64_t taken_ = 0;
    TGff gff_;
};

// ---------------------------------------------------------------------------------------------
// Writing

class TWriter {
public:
    explicit TWriter(const TGff& gff) : g_(gff) {}

    std::vector<std::uint8_t> Write() {
        if (g_.FileType.size() != 4)
            Fail("a GFF's file type is four characters, not " + Quoted(Printable(g_.FileType)));
        if (g_.FileVersion != std::string_view(kVersion.data(), kVersion.size()))
            Fail("a GFF of version " + Quoted(Printable(g_.FileVersion)) + " cannot be written (only V3.2)");
        if (g_.Structs.empty()) Fail("the GFF has no root struct");
        placed_.assign(g_.Structs.size(), kNone);
        fieldOut_.assign(g_.Fields.size(), kNone);
        labelOut_.assign(g_.Labels.size(), kNone);
        structRows_.reserve(g_.Structs.size());
        fieldRows_.reserve(g_.Fields.size());
        Place(0, 1);

        // Each struct's field indices, in struct order.
        std::vector<std::uint32_t> fieldIndices;
        fieldIndices.reserve(fieldRows_.size());
        for (std::size_t k = 0; k < order_.size(); ++k) {
            const TGffStruct& s = g_.Structs[order_[k]];
            if (s.FieldCount == 1) {
                structRows_[k].DataOrDataOffset = fieldOut_[s.FirstField];
            } else if (s.FieldCount > 1) {
                structRows_[k].DataOrDataOffset = Fits(fieldIndices.size() * kIndexSize, "the field indices");
                for (std::uint32_t i = 0; i < s.FieldCount; ++i) fieldIndices.push_back(fieldOut_[s.FirstField + i]);
            }
        }

        THeader h;
        std::copy(g_.FileType.begin(), g_.FileType.end(), h.FileType.begin());
        h.FileVersion = kVersion;
        std::uint64_t at = Header::Size;
        const auto section = [&](std::uint32_t& offset, std::uint32_t& count, std::uint64_t n, std::size_t row) {
            offset = Fits(at, "the GFF");
            count = Fits(n, "the GFF");
            at += n * row;
        };
        section(h.StructOffset, h.StructCount, structRows_.size(), StructRow::Size);
        section(h.FieldOffset, h.FieldCount, fieldRows_.size(), FieldRow::Size);
        section(h.LabelOffset, h.LabelCount, labels_.size(), kLabelRowSize);
        section(h.FieldDataOffset, h.FieldDataSize, data_.size(), 1);
        section(h.FieldIndicesOffset, h.FieldIndicesSize, fieldIndices.size() * kIndexSize, 1);
        section(h.ListIndicesOffset, h.ListIndicesSize, listIndices_.size() * kIndexSize, 1);
        Fits(at, "the GFF");

        std::vector<std::uint8_t> out(static_cast<std::size_t>(at));
        std::uint8_t* p = out.data();
        Header::Write(h, p);
        p += Header::Size;
        for (const TStructRow& r : structRows_) StructRow::Write(r, p), p += StructRow::Size;
        for (const TFieldRow& r : fieldRows_) FieldRow::Write(r, p), p += FieldRow::Size;
        for (const std::string* label : labels_) std::copy(label->begin(), label->end(), p), p += kLabelRowSize;
        p = std::copy(data_.begin(), data_.end(), p);
        for (std::uint32_t v : fieldIndices) Put32(p, v), p += kIndexSize;
        for (std::uint32_t v : listIndices_) Put32(p, v), p += kIndexSize;
        return out;
    }

private:
    static std::uint32_t Fits(std::uint64_t n, const char* what) {
        if (n > std::numeric_limits<std::uint32_t>::max())
            Fail(std::string(what) + " would pass 4 GiB, more than a GFF can hold");
        return static_cast<std::uint32_t>(n);
    }

    // Gives model struct s its place in the file, depth structs deep, with its fields' rows.
    std::uint32_t Place(std::uint32_t s, std::size_t depth) {
        if (s >= g_.Structs.size())
            Fail("struct index " + Num(s) + " is out of range (the GFF has " + Num(g_.Structs.size()) + " structs)");
        if (placed_[s] != kNone) Fail("struct " + Num(s) + " is used twice in the GFF");
        if (depth > kMaxGffDepth)
            Fail("struct " + Num(s) + " lies " + Num(depth) + " structs deep, deeper than the " + Num(kMaxGffDepth) +
                 " a GFF is read with");
        const TGffStruct& st = g_.Structs[s];
        if (std::uint64_t{st.FirstField} + st.FieldCount > g_.Fields.size())
            Fail("the fields of struct " + Num(s) + " (" + Num(st.FirstField) + " + " + Num(st.FieldCount) +
                 ") are out of range (the GFF has " + Num(g_.Fields.size()) + " fields)");
        const auto index = static_cast<std::uint32_t>(order_.size());
        placed_[s] = index;
        order_.push_back(s);
        structRows_.push_back({st.Id, 0, st.FieldCount});
        for (std::uint32_t i = 0; i < st.FieldCount; ++i) {
            const std::uint32_t f = st.FirstField + i;
            if (fieldOut_[f] != kNone) Fail("field " + Num(f) + " belongs to more than one struct");
            fieldOut_[f] = static_cast<std::uint32_t>(fieldRows_.size());
            fieldRows_.emplace_back();
            const TFieldRow row = FieldRowOf(f, depth);
            fieldRows_[fieldOut_[f]] = row;
        }
        return index;
    }

    std::uint32_t LabelOf(std::uint32_t f, std::uint32_t label) {
        if (label >= g_.Labels.size())
            Fail("field " + Num(f) + " has label index " + Num(label) + ", but the GFF has " + Num(g_.Labels.size()) +
                 " labels");
        if (labelOut_[label] != kNone) return labelOut_[label];
        const std::string& text = g_.Labels[label];
        if (text.size() > kMaxLabel || text.find('\0') != std::string::npos)
            Fail("the label " + Quoted(Printable(text)) + " of field " + Num(f) +
                 " cannot be written: a label is at most " + Num(kMaxLabel) + " bytes, none of them NUL");
        const auto [it, fresh] = byText_.emplace(text, static_cast<std::uint32_t>(labels_.size()));
        if (fresh) labels_.push_back(&text);
        return labelOut_[label] = it->second;
    }

    std::uint32_t DataAt() { return Fits(data_.size(), "the field data"); }

    void Append32(std::uint32_t v) {
        const std::size_t at = data_.size();
        data_.resize(at + 4);
        Put32(data_.data() + at, v);
    }
    void AppendBytes(const std::string& s) { data_.insert(data_.end(), s.begin(), s.end()); }

    const std::string& DataOf(std::uint32_t f, std::uint32_t ref) const {
        if (ref >= g_.Data.size())
            Fail("field " + Num(f) + " refers to data " + Num(ref) + ", but the GFF has " + Num(g_.Data.size()));
        return g_.Data[ref];
    }

    TFieldRow FieldRowOf(std::uint32_t f, std::size_t depth) {
        const TGffField& field = g_.Fields[f];
        const auto type = static_cast<std::uint32_t>(field.Type);
        if (type >= kGffTypeCount)
            Fail("field " + Num(f) + " has type " + Num(type) + ", which GFF V3.2 does not have");
        TFieldRow row{type, LabelOf(f, field.Label), 0};
        if (IsInline(field.Type)) {
            const auto raw = static_cast<std::uint32_t>(field.Value);
            if (InlineValue(field.Type, raw) != field.Value)
                Fail("field " + Num(f) + " of type " + GffTypeName(field.Type) + " holds " + Num(field.Value) +
                     ", which that type cannot hold");
            row.DataOrDataOffset = raw;
        } else if (IsWide(field.Type)) {
            row.DataOrDataOffset = DataAt();
            Append32(static_cast<std::uint32_t>(field.Value));
            Append32(static_cast<std::uint32_t>(field.Value >> 32));
        } else if (field.Type == TGffType::ExoString || field.Type == TGffType::Void) {
            const std::string& s = DataOf(f, field.Ref);
            row.DataOrDataOffset = DataAt();
            Append32(Fits(s.size(), "a string"));
            AppendBytes(s);
        } else if (field.Type == TGffType::ResRef) {
            const std::string& s = DataOf(f, field.Ref);
            if (s.size() > kMaxResRef)
                Fail("the ResRef of field " + Num(f) + " is " + Num(s.size()) + " bytes long, more than the " +
                     Num(kMaxResRef) + " a GFF can hold");
            row.DataOrDataOffset = DataAt();
            data_.push_back(static_cast<std::uint8_t>(s.size()));
            AppendBytes(s);
        } else if (field.Type == TGffType::ExoLocString) {
            if (field.Ref >= g_.LocStrings.size())
                Fail("field " + Num(f) + " refers to CExoLocString " + Num(field.Ref) + ", but the GFF has " +
                     Num(g_.LocStrings.size()));
            const TGffLocString& loc = g_.LocStrings[field.Ref];
            std::uint64_t total = kLocHeadSize;
            for (const auto& [id, text] : loc.Strings) total += kSubstringHeadSize + text.size();
            row.DataOrDataOffset = DataAt();
            Append32(Fits(total, "a CExoLocString"));
            Append32(loc.StrRef);
            Append32(static_cast<std::uint32_t>(loc.Strings.size()));
            for (const auto& [id, text] : loc.Strings) {
                Append32(id);
                Append32(static_cast<std::uint32_t>(text.size()));
                AppendBytes(text);
            }
        } else if (field.Type == TGffType::Struct) {
            row.DataOrDataOffset = Place(field.Ref, depth + 1);
        } else {
            row.DataOrDataOffset = PlaceList(f, field.Ref, depth);
        }
        return row;
    }

    // The list's indices take their place before those of the lists below it.
    std::uint32_t PlaceList(std::uint32_t f, std::uint32_t ref, std::size_t depth) {
        if (ref >= g_.Lists.size())
            Fail("field " + Num(f) + " refers to list " + Num(ref) + ", but the GFF has " + Num(g_.Lists.size()));
        const TGffList& list = g_.Lists[ref];
        if (std::uint64_t{list.First} + list.Count > g_.ListItems.size())
            Fail("the structs of list " + Num(ref) + " (" + Num(list.First) + " + " + Num(list.Count) +
                 ") are out of range (the GFF has " + Num(g_.ListItems.size()) + " list items)");
        const std::uint32_t offset = Fits(listIndices_.size() * kIndexSize, "the list indices");
        const std::size_t at = listIndices_.size();
        listIndices_.resize(at + 1 + list.Count);
        listIndices_[at] = list.Count;
        for (std::uint32_t i = 0; i < list.Count; ++i) {
            const std::uint32_t placed = Place(g_.ListItems[list.First + i], depth + 1);
            listIndices_[at + 1 + i] = placed;
        }
        return offset;
    }

    const TGff& g_;
    std::vector<std::uint32_t> placed_; // model struct -> its index in the file
    std::vector<std::uint32_t> order_; // file struct -> model struct
    std::vector<std::uint32_t> fieldOut_; // model field -> its index in the file
    std::vector<std::uint32_t> labelOut_; // model label -> its index in the file
    std::unordered_map<std::string_view, std::uint32_t> byText_;
    std::vector<const std::string*> labels_;
    std::vector<TStructRow> structRows_;
    std::vector<TFieldRow> fieldRows_;
    std::vector<std::uint8_t> data_;
    std::vector<std::uint32_t> listIndices_;
};

} // namespace

const char* GffTypeName(TGffType type) {
    static constexpr std::array<const char*, kGffTypeCount> kNames{
        "byte",  "char",   "word",       "short",  "dword",         "int",  "dword64", "int64",
        "float", "double", "cexostring", "resref", "cexolocstring", "void", "struct",  "list"};
    const auto i = static_cast<std::uint32_t>(type);
    return i < kGffTypeCount ? kNames[i] : "unknown";
}

TGff ReadGff(std::span<const std::uint8_t> bytes) { return TReader(bytes).Read(); }

std::vector<std::uint8_t> WriteGff(const TGff& gff) { return TWriter(gff).Write(); }

} // namespace vellocar::gff
