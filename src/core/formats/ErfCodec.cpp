// The reader and writer of the ERF family over bytes, record by record as ErfCodec.h lays them
// out.

#include "formats/ErfCodec.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/FileKinds.h"
#include "names/Names.h"
#include "platform/Platform.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace vellocar::erfcodec {

namespace {

using byteio::PastEnd;
using byteio::RangeEnd;
using byteio::RowsWithin;

constexpr std::array<TFourCC, 5> kTypes{
    {{'E', 'R', 'F', ' '}, {'H', 'A', 'K', ' '}, {'M', 'O', 'D', ' '}, {'N', 'W', 'M', ' '}, {'S', 'A', 'V', ' '}}};
constexpr TFourCC kErfType{'E', 'R', 'F', ' '};

TFourCC TypeOf(std::span<const std::uint8_t> bytes) {
    TFourCC type{};
    for (std::size_t i = 0; i < type.size() && i < bytes.size(); ++i) type[i] = static_cast<char>(bytes[i]);
    return type;
}

std::string Fault(const std::string& name, std::span<const std::uint8_t> bytes, const std::string& what) {
    return CannotOpenAs(KindOf(TypeOf(bytes)), name, what);
}

// Why the file is no archive of the family of a version read here, "" when it is one; a file
// too short to say is left to the check of its size. Judged before that check, so that a short
// file of another kind is named as what it is.
std::string NotThisErf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kKindBytes) return {};
    const auto head = bytes.first(kKindBytes);
    const TFourCC type = TypeOf(head);
    if (!IsErfType(head)) return WrongKindText("ERF", head, kErfType, kVersion1);
    const TFourCC version = TypeOf(head.subspan(4));
    if (version == kVersion1 || version == kVersionE1) return {};
    return "it is of version " + Quoted(Printable(std::string_view(version.data(), version.size()))) +
        ", which Vellocar does not read (it reads " + KindOf(type) + " versions \"V1.0\" and \"E1.0\")";
}

std::string TooShort(std::uint64_t fileSize) {
    return "the file is too short for an ERF header (file " + std::to_string(fileSize) + " bytes, header " +
        std::to_string(Header::Size) + " bytes)";
}

std::string StringsPastEnd(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
    return "the localized strings run past the end of the file (offset " + std::to_string(offset) + ", " +
        std::to_string(size) + " bytes, file " + std::to_string(fileSize) + " bytes)";
}

// The localized strings, one after another within their LocalizedStringSize bytes (those of them
// within the file). Each takes at least its 8 bytes of head there, so the count is bounded by the
// bytes before anything is kept for it.
std::vector<TErfLocalizedString> ReadStrings(std::span<const std::uint8_t> bytes, const TErfFile& erf,
                                             std::uint64_t fileSize, const TFaultSink& fault) {
    std::uint64_t begin = erf.OffsetToLocalizedString, end = 0;
    if (const auto regionEnd = RangeEnd(begin, erf.LocalizedStringSize, 1, fileSize)) {
        end = *regionEnd;
    } else {
        fault(StringsPastEnd(begin, erf.LocalizedStringSize, fileSize));
        begin = std::min<std::uint64_t>(begin, fileSize);
        end = fileSize;
    }
    std::vector<TErfLocalizedString> strings;
    strings.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(erf.LanguageCount, (end - begin) / 8)));
    std::uint64_t at = begin;
    for (std::uint32_t i = 0; i < erf.LanguageCount; ++i) {
        const std::uint64_t left = end - at;
        const std::uint32_t size = left >= kStringHeadSize ? byteio::Get32(bytes.data() + at + 4) : 0;
        if (left < kStringHeadSize || size > left - kStringHeadSize) {
            fault("localized string " + std::to_string(i) + " of " + std::to_string(erf.LanguageCount) +
                  " runs past the end of the localized strings (offset " + std::to_string(at) + ", they end at " +
                  std::to_string(end) + ")");
            break;
        }
        const std::uint8_t* head = bytes.data() + at;
        strings.push_back({byteio::Get32(head), std::string(byteio::AsChars(head + kStringHeadSize, size))});
        at += kStringHeadSize + size;
    }
    return strings;
}

std::string Named(const TErfFile& erf, std::size_t i) {
    return "entry " + std::to_string(i) + " (" +
        Quoted(platform::ShownName(ResourceLine(KeyEntryOf(erf.Keys[i], static_cast<std::uint32_t>(i))))) + ")";
}

// A span of the file that something takes: a table, or a resource's bytes.
struct TPlaced {
    std::uint64_t Offset = 0;
    std::uint64_t End = 0;
    std::string Name;
};

// The faults of the resources, which Parse leaves to the reader of each resource: bytes past the
// end of the file, bytes that another resource or a table takes too (each span against the one
// that reaches furthest among those that start before it: one sort), two entries that are one
// resource, a ResID that is not its entry's place.
void CheckResources(const TErfFile& erf, std::uint64_t fileSize, const TFaultSink& fault) {
    std::vector<TPlaced> placed{
        {0, Header::Size, "the header"},
        {erf.OffsetToLocalizedString, std::uint64_t{erf.OffsetToLocalizedString} + erf.LocalizedStringSize,
         "the localized strings"},
        {erf.OffsetToKeyList, erf.OffsetToKeyList + std::uint64_t{KeyRowSize(erf.FileVersion)} * erf.EntryCount,
         "the key list"},
        {erf.OffsetToResourceList,
         erf.OffsetToResourceList + std::uint64_t{ResourceRowSize(erf.FileVersion)} * erf.EntryCount,
         "the resource list"}};
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < erf.Keys.size(); ++i) {
        const TErfKeyEntry& key = erf.Keys[i];
        const TErfResourceEntry& r = erf.Resources[i];
        if (key.ResId != i)
            fault("key " + Named(erf, i) + " gives ResID " + std::to_string(key.ResId) +
                  ", not its place in the resource list");
        const auto [first, fresh] = seen.emplace(ResourceKey(ResRefToString(key.ResRef), key.ResType), i);
        if (!fresh) fault("key " + Named(erf, i) + " is the same resource as " + Named(erf, first->second));
        if (!RangeEnd(r.Offset, r.Size, 1, fileSize)) {
            fault("the bytes of " + Named(erf, i) + " run past the end of the file (offset " +
                  std::to_string(r.Offset) + ", " + std::to_string(r.Size) + " bytes, file " +
                  std::to_string(fileSize) + " bytes)");
        } else {
            placed.push_back({r.Offset, std::uint64_t{r.Offset} + r.Size, "the bytes of " + Named(erf, i)});
        }
    }
    std::erase_if(placed, [](const TPlaced& p) { return p.End == p.Offset; });
    std::stable_sort(placed.begin(), placed.end(), [](const TPlaced& a, const TPlaced& b) {
        return a.Offset != b.Offset ? a.Offset < b.Offset : a.End > b.End;
    });
    const TPlaced* furthest = nullptr;
    for (const TPlaced& p : placed) {
        if (furthest && p.Offset < furthest->End)
            fault(p.Name + " (offset " + std::to_string(p.Offset) + ", " + std::to_string(p.End - p.Offset) +
                  (p.Name.starts_with("the bytes") ? " bytes) overlap " : " bytes) overlaps ") + furthest->Name +
                  " (offset " + std::to_string(furthest->Offset) + ", " +
                  std::to_string(furthest->End - furthest->Offset) + " bytes)");
        if (!furthest || p.End > furthest->End) furthest = &p;
    }
}

// The reading of ParseForCheck and Parse: bytes holds every byte of the tables that lies within a
// file of fileSize bytes.
std::optional<TErfFile> ReadErf(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const TFaultSink& fault) {
    if (const std::string wrong = NotThisErf(bytes.first(std::min<std::uint64_t>(bytes.size(), fileSize)));
        !wrong.empty()) {
        fault(wrong);
        return std::nullopt;
    }
    if (fileSize < Header::Size) {
        fault(TooShort(fileSize));
        return std::nullopt;
    }
    TErfFile erf = Header::Read(bytes.data());
    erf.Strings = ReadStrings(bytes, erf, fileSize, fault);
    const std::size_t keyRow = KeyRowSize(erf.FileVersion), resourceRow = ResourceRowSize(erf.FileVersion);
    const std::uint64_t keys = RowsWithin(fault, "the key list", erf.OffsetToKeyList, erf.EntryCount, keyRow, fileSize);
    const std::uint64_t resources =
        RowsWithin(fault, "the resource list", erf.OffsetToResourceList, erf.EntryCount, resourceRow, fileSize);
    // Only the entries both lists hold within the file: each names the resource at its place.
    const auto entries = static_cast<std::size_t>(std::min(keys, resources));
    erf.Keys.resize(entries);
    erf.Resources.resize(entries);
    const bool e1 = erf.FileVersion == kVersionE1;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* key = bytes.data() + erf.OffsetToKeyList + i * keyRow;
        const std::uint8_t* resource = bytes.data() + erf.OffsetToResourceList + i * resourceRow;
        if (e1) {
            KeyRowE1::Read(key, erf.Keys[i]);
            ResourceRowE1::Read(resource, erf.Resources[i]);
        } else {
            KeyRow::Read(key, erf.Keys[i]);
            ResourceRow::Read(resource, erf.Resources[i]);
            erf.Resources[i].UncompressedSize = erf.Resources[i].Size;
        }
    }
    return erf;
}

} // namespace

TNWNKeyEntry KeyEntryOf(const TErfKeyEntry& entry, std::uint32_t place) {
    TNWNKeyEntry key;
    key.ResRef = entry.ResRef;
    key.ResType = entry.ResType;
    key.ResId = place;
    key.Sha1 = entry.Sha1;
    return key;
}

bool IsErfType(std::span<const std::uint8_t> head) {
    return head.size() >= 4 && std::find(kTypes.begin(), kTypes.end(), TypeOf(head)) != kTypes.end();
}

std::string KindOf(const TFourCC& type) {
    if (std::find(kTypes.begin(), kTypes.end(), type) == kTypes.end()) return "ERF";
    return std::string(type.data(), 3);
}

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name) {
    const std::uint64_t headerBytes = std::min<std::uint64_t>(fileSize, Header::Size);
    if (prefix.size() < headerBytes) return headerBytes;
    if (const std::string wrong = NotThisErf(prefix); !wrong.empty()) throw EFormatError(Fault(name, prefix, wrong));
    if (fileSize < Header::Size) throw EFormatError(Fault(name, prefix, TooShort(fileSize)));
    const TErfFile header = Header::Read(prefix.data());
    const auto stringsEnd = RangeEnd(header.OffsetToLocalizedString, header.LocalizedStringSize, 1, fileSize);
    if (!stringsEnd)
        throw EFormatError(
            Fault(name, prefix, StringsPastEnd(header.OffsetToLocalizedString, header.LocalizedStringSize, fileSize)));
    std::uint64_t needed = std::max<std::uint64_t>(Header::Size, *stringsEnd);
    for (const auto& [list, offset, rowSize] :
         {std::tuple{"the key list", header.OffsetToKeyList, KeyRowSize(header.FileVersion)},
          std::tuple{"the resource list", header.OffsetToResourceList, ResourceRowSize(header.FileVersion)}}) {
        const auto end = RangeEnd(offset, header.EntryCount, rowSize, fileSize);
        if (!end) throw EFormatError(Fault(name, prefix, PastEnd(list, offset, header.EntryCount, rowSize, fileSize)));
        needed = std::max(needed, *end);
    }
    return needed;
}

TErfFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name) {
    if (BytesNeeded(bytes, fileSize, name) > bytes.size()) throw EReadError("Stream read error");
    // The first fault ends the reading.
    return *ReadErf(bytes, fileSize, [&](const std::string& what) { throw EFormatError(Fault(name, bytes, what)); });
}

std::uint64_t CheckBytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize) {
    const std::uint64_t headerBytes = std::min<std::uint64_t>(fileSize, Header::Size);
    if (prefix.size() < headerBytes) return headerBytes;
    if (prefix.size() < Header::Size || !NotThisErf(prefix).empty()) return prefix.size();
    const TErfFile h = Header::Read(prefix.data());
    // Each end in 64 bits, which 32-bit offsets and counts cannot overflow.
    const std::uint64_t end =
        std::max({std::uint64_t{h.OffsetToLocalizedString} + h.LocalizedStringSize,
                  h.OffsetToKeyList + std::uint64_t{KeyRowSize(h.FileVersion)} * h.EntryCount,
                  h.OffsetToResourceList + std::uint64_t{ResourceRowSize(h.FileVersion)} * h.EntryCount});
    return std::max<std::uint64_t>(prefix.size(), std::min(end, fileSize));
}

std::optional<TErfFile> ParseForCheck(std::span<const std::uint8_t> bytes, std::uint64_t fileSize,
                                      const TFaultSink& fault) {
    std::optional<TErfFile> erf =
        ReadErf(bytes.first(std::min<std::uint64_t>(bytes.size(), fileSize)), fileSize, fault);
    if (erf) CheckResources(*erf, fileSize, fault);
    return erf;
}

TErfLayout Layout(const TErfContent& head, std::span<const TErfPlannedResource> resources, const std::string& name) {
    const auto refused = [&](const std::string& why) {
        return EFormatError("Cannot save " + KindOf(head.FileType) + " " + Quoted(name) + ": " + why);
    };
    if (std::find(kTypes.begin(), kTypes.end(), head.FileType) == kTypes.end())
        throw refused("its type " + Quoted(Printable(std::string_view(head.FileType.data(), 4))) +
                      " is none of ERF, HAK, MOD, NWM and SAV");
    const std::uint64_t limit = kMaxWrittenSize;
    if (resources.size() > kMaxResourcesPerBif || head.Strings.size() > limit)
        throw refused(WithThousands(resources.size()) + " resources are more than an archive may hold (at most " +
                      WithThousands(kMaxResourcesPerBif) + ")");

    // In the order a build packs a folder in, so that one content always gives one file.
    std::vector<std::string> lines;
    lines.reserve(resources.size());
    for (const TErfPlannedResource& r : resources)
        lines.push_back(ResourceLine(KeyEntryOf({r.ResRef, 0, r.ResType, 0}, 0)).Bytes);
    TErfLayout layout;
    std::vector<std::size_t>& order = layout.Order;
    order.resize(resources.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (FolderOrderLess(lines[a], lines[b])) return true;
        if (FolderOrderLess(lines[b], lines[a])) return false;
        return lines[a] != lines[b] ? lines[a] < lines[b] : resources[a].ResType < resources[b].ResType;
    });
    std::unordered_map<std::string, std::size_t> seen;
    seen.reserve(resources.size());
    for (const std::size_t i : order) {
        // The name as shown is made only for a refusal: for thousands of resources it costs more
        // than the check.
        const auto shown = [&](std::size_t k) { return Quoted(platform::ShownName({lines[k]})); };
        const std::string ref = ResRefToString(resources[i].ResRef);
        if (ref.empty()) throw refused("a resource " + shown(i) + " has no name");
        const auto [first, fresh] = seen.emplace(ResourceKey(ref, resources[i].ResType), i);
        if (!fresh) throw refused(shown(i) + " and " + shown(first->second) + " are one resource");
    }

    // The layout, every sum checked against the limit before anything is allocated.
    const auto tooLarge = [&] {
        return refused("it would come to more than " + WithThousands(limit) + " bytes, the most an archive may hold");
    };
    std::uint64_t at = Header::Size;
    for (const TErfLocalizedString& s : head.Strings) {
        const auto next = RangeEnd(at, kStringHeadSize + std::uint64_t{s.Text.size()}, 1, limit);
        if (!next) throw tooLarge();
        at = *next;
    }
    const std::uint64_t keyList = at;
    const auto resourceList = RangeEnd(keyList, resources.size(), KeyRow::Size, limit);
    const auto data = resourceList ? RangeEnd(*resourceList, resources.size(), ResourceRow::Size, limit) : std::nullopt;
    if (!data) throw tooLarge();
    layout.Size = *data;
    for (const TErfPlannedResource& r : resources) {
        const auto next = RangeEnd(layout.Size, r.Size, 1, limit);
        if (!next) throw tooLarge();
        layout.Size = *next;
    }

    TErfFile header;
    header.FileType = head.FileType;
    header.FileVersion = kVersion1;
    header.LanguageCount = static_cast<std::uint32_t>(head.Strings.size());
    header.LocalizedStringSize = static_cast<std::uint32_t>(keyList - Header::Size);
    header.EntryCount = static_cast<std::uint32_t>(resources.size());
    header.OffsetToLocalizedString = static_cast<std::uint32_t>(Header::Size);
    header.OffsetToKeyList = static_cast<std::uint32_t>(keyList);
    header.OffsetToResourceList = static_cast<std::uint32_t>(*resourceList);
    header.BuildYear = head.Built.YearsSince1900;
    header.BuildDay = head.Built.DayOfYear;
    header.DescriptionStrRef = head.DescriptionStrRef;

    std::vector<std::uint8_t>& out = layout.Front;
    out.resize(static_cast<std::size_t>(*data));
    Header::Write(header, out.data());
    std::uint8_t* p = out.data() + Header::Size;
    for (const TErfLocalizedString& s : head.Strings) {
        byteio::Put32(p, s.LanguageId);
        byteio::Put32(p + 4, static_cast<std::uint32_t>(s.Text.size()));
        p = std::copy(s.Text.begin(), s.Text.end(), p + kStringHeadSize);
    }
    std::uint64_t bytesAt = *data;
    for (std::size_t place = 0; place < order.size(); ++place) {
        const TErfPlannedResource& r = resources[order[place]];
        TErfKeyEntry key;
        const std::string resRef = ResRefToString(r.ResRef); // the name, zero-padded anew
        std::copy(resRef.begin(), resRef.end(), key.ResRef.begin());
        key.ResId = static_cast<std::uint32_t>(place);
        key.ResType = r.ResType;
        KeyRow::Write(key, out.data() + keyList + place * KeyRow::Size);
        ResourceRow::Write({static_cast<std::uint32_t>(bytesAt), static_cast<std::uint32_t>(r.Size)},
                           out.data() + *resourceList + place * ResourceRow::Size);
        bytesAt += r.Size;
    }
    return layout;
}

std::vector<std::uint8_t> Serialize(const TErfContent& content, const std::string& name) {
    std::vector<TErfPlannedResource> planned;
    planned.reserve(content.Resources.size());
    for (const TErfResource& r : content.Resources) planned.push_back({r.ResRef, r.ResType, r.Bytes.size()});
    TErfLayout layout = Layout(content, planned, name);
    std::vector<std::uint8_t> out = std::move(layout.Front);
    out.reserve(static_cast<std::size_t>(layout.Size));
    for (const std::size_t i : layout.Order)
        out.insert(out.end(), content.Resources[i].Bytes.begin(), content.Resources[i].Bytes.end());
    return out;
}

} // namespace vellocar::erfcodec
