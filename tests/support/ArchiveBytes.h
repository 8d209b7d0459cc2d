#pragma once
// KEY and BIF files for every test, written and read byte by byte from plain descriptions.
// Nothing here uses the program's own code: a fault in its readers or writers cannot hide in
// the files the tests feed it, nor in the way the tests read back what it wrote.

#include "TempDir.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vellocar::test {

// Bytes, with a little-endian writer for building files field by field.
struct Bytes : std::vector<unsigned char> {
    using std::vector<unsigned char>::vector;
    Bytes(const std::vector<unsigned char>& v) : std::vector<unsigned char>(v) {}
    explicit Bytes(const std::string& text) : std::vector<unsigned char>(text.begin(), text.end()) {}

    Bytes& U16(std::uint16_t v) {
        push_back(static_cast<unsigned char>(v));
        push_back(static_cast<unsigned char>(v >> 8));
        return *this;
    }
    Bytes& U32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) push_back(static_cast<unsigned char>(v >> shift));
        return *this;
    }
    // The characters of text, then zero bytes up to width (no padding when width is 0).
    Bytes& Text(const std::string& text, std::size_t width = 0) {
        insert(end(), text.begin(), text.end());
        if (text.size() < width) insert(end(), width - text.size(), 0);
        return *this;
    }
    Bytes& Zeros(std::size_t n) {
        insert(end(), n, 0);
        return *this;
    }
    Bytes& Append(const std::vector<unsigned char>& more) {
        insert(end(), more.begin(), more.end());
        return *this;
    }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(size()); }
    std::string Str() const { return {begin(), end()}; }
};

inline std::uint32_t U32At(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 | std::uint32_t{b.at(at + 2)} << 16 |
        std::uint32_t{b.at(at + 3)} << 24;
}
inline std::uint16_t U16At(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::string TextAt(const std::vector<unsigned char>& b, std::size_t at, std::size_t size) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + size));
}

// The 16 bytes a ResRef of this name takes: the name, then zero bytes.
inline std::string ResRef16(const std::string& name) {
    std::string r = name;
    r.resize(16, '\0');
    return r;
}

inline constexpr std::uint32_t ResId(std::uint32_t bif, std::uint32_t index) { return bif << 20 | index; }

// Resource types as the game numbers them.
inline constexpr std::uint16_t kTypeTxt = 10;
inline constexpr std::uint16_t kTypeNss = 2009;
inline constexpr std::uint16_t kType2da = 2017;

// ---- BIF ----

struct Resource {
    std::string Content;
    std::uint32_t Type = kTypeTxt;
};

// A BIF in the usual layout: 20-byte header, variable table right after it, contents in order.
inline Bytes BifBytes(const std::vector<Resource>& resources) {
    const auto count = static_cast<std::uint32_t>(resources.size());
    Bytes b;
    b.Text("BIFFV1  ").U32(count).U32(0).U32(20);
    std::uint32_t offset = 20 + 16 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto size = static_cast<std::uint32_t>(resources[i].Content.size());
        b.U32(i).U32(offset).U32(size).U32(resources[i].Type);
        offset += size;
    }
    for (const Resource& r : resources) b.Text(r.Content);
    return b;
}

// A BIF whose count resources (2DAs, as Key::AddBif names them) share one span of span bytes.
inline Bytes SharedSpanBif(std::uint32_t count, std::uint32_t span) {
    Bytes b;
    b.Text("BIFFV1  ").U32(count).U32(0).U32(20);
    for (std::uint32_t i = 0; i < count; ++i) b.U32(i).U32(20 + 16 * count).U32(span).U32(kType2da);
    return b.Text(std::string(span, 'x'));
}

// ---- KEY ----

// A KEY written contiguously: header, file table, names (each followed by one zero byte), key
// table in the order given (which may interleave BIFs). Every header field can be overridden,
// for files that lie about themselves.
struct Key {
    struct Bif {
        std::string Name; // as stored: "data\x.bif"
        std::optional<std::uint16_t> FilenameSize = {}; // the name's length, zero byte not counted
        std::uint16_t Drives = 0;
        std::uint32_t FileSize = 0;
    };
    struct Entry {
        std::string ResRef; // up to 16 bytes
        std::uint16_t ResType = kTypeTxt;
        std::uint32_t ResId = 0;
        std::string Sha1 = {}; // 20 bytes, written after the entry in an E1 KEY
    };
    std::string FileType = "KEY ", FileVersion = "V1  ";
    std::optional<std::uint32_t> BifCount = {}, KeyCount = {}, OffsetToFileTable = {}, OffsetToKeyTable = {};
    std::uint32_t BuildYear = 126, BuildDay = 0;
    Bytes Reserved = Bytes(32, 0);
    std::vector<Bif> Bifs;
    std::vector<Entry> Entries;

    // A BIF named name with count entries <prefix><i> of type 2da.
    Key& AddBif(const std::string& name, int count, const std::string& prefix = "", std::uint16_t drives = 0,
                std::uint32_t fileSize = 1000) {
        const auto index = static_cast<std::uint32_t>(Bifs.size());
        Bifs.push_back({name, {}, drives, fileSize});
        for (int i = 0; i < count; ++i)
            Entries.push_back({prefix + std::to_string(i), kType2da, ResId(index, static_cast<std::uint32_t>(i))});
        return *this;
    }

    Bytes Write() const {
        const auto bifCount = static_cast<std::uint32_t>(Bifs.size());
        std::uint32_t names = 0;
        for (const Bif& bif : Bifs) names += static_cast<std::uint32_t>(bif.Name.size() + 1);
        Bytes b;
        b.Text(FileType, 4).Text(FileVersion, 4).U32(BifCount.value_or(bifCount));
        b.U32(KeyCount.value_or(static_cast<std::uint32_t>(Entries.size())));
        b.U32(OffsetToFileTable.value_or(64)).U32(OffsetToKeyTable.value_or(64 + 12 * bifCount + names));
        b.U32(BuildYear).U32(BuildDay).Append(Reserved);
        std::uint32_t offset = 64 + 12 * bifCount;
        for (const Bif& bif : Bifs) {
            b.U32(bif.FileSize).U32(offset);
            b.U16(bif.FilenameSize.value_or(static_cast<std::uint16_t>(bif.Name.size()))).U16(bif.Drives);
            offset += static_cast<std::uint32_t>(bif.Name.size() + 1);
        }
        for (const Bif& bif : Bifs) b.Text(bif.Name).Zeros(1);
        for (const Entry& e : Entries) {
            b.Text(ResRef16(e.ResRef)).U16(e.ResType).U32(e.ResId);
            if (FileVersion == "E1  ") b.Text(e.Sha1, 20);
        }
        return b;
    }
};

inline void WriteKey(const std::string& path, const std::vector<Key::Bif>& bifs,
                     const std::vector<Key::Entry>& entries) {
    Key key;
    key.Bifs = bifs;
    key.Entries = entries;
    WriteFile(path, key.Write());
}

// A BIF whose variable table holds one entry per content, in order, of the given types (2da
// where none is given).
inline void WriteBif(const std::string& path, const std::vector<std::string>& contents,
                     const std::vector<std::uint32_t>& types = {}) {
    std::vector<Resource> resources;
    for (std::size_t i = 0; i < contents.size(); ++i)
        resources.push_back({contents[i], i < types.size() ? types[i] : kType2da});
    WriteFile(path, BifBytes(resources));
}

// A KEY whose file-table rows all point at one name of nameSize 'n' bytes without a zero
// byte: small on disk, rows x nameSize bytes once every row holds its own copy of the name.
inline Bytes SharedNameKey(std::uint32_t rows, std::uint16_t nameSize) {
    const std::uint32_t name = 64 + rows * 12;
    Key key;
    key.BifCount = rows;
    key.OffsetToKeyTable = name + nameSize;
    key.BuildYear = 0;
    Bytes b = key.Write();
    for (std::uint32_t i = 0; i < rows; ++i) b.U32(0).U32(name).U16(nameSize).U16(0);
    return b.Text(std::string(nameSize, 'n'));
}

// ---- A KEY with its BIFs on disk ----

struct ArchiveResource {
    std::string ResRef;
    std::uint16_t ResType;
    std::string Content; // as stored: in E1.0, a compressed buffer when Compression is 1
    std::uint32_t Compression = 0; // E1.0: with the size once read (Content's when none) and the SHA-1
    std::optional<std::uint32_t> Unpacked = {};
    std::string Sha1 = {};
};
struct ArchiveBif {
    std::string StoredName; // as the KEY names it: "data\x.bif"
    std::vector<ArchiveResource> Resources;
};

inline Bytes ArchiveBifBytes(const ArchiveBif& bif) {
    std::vector<Resource> plain;
    for (const auto& r : bif.Resources) plain.push_back({r.Content, r.ResType});
    return BifBytes(plain);
}

// The KEY naming the BIFs in order; resource i of BIF b gets ResId(b, i).
inline Bytes KeyBytes(const std::vector<ArchiveBif>& bifs) {
    Key key;
    for (std::uint32_t b = 0; b < bifs.size(); ++b) {
        key.Bifs.push_back({bifs[b].StoredName, {}, 0, ArchiveBifBytes(bifs[b]).Size()});
        for (std::uint32_t i = 0; i < bifs[b].Resources.size(); ++i)
            key.Entries.push_back({bifs[b].Resources[i].ResRef, bifs[b].Resources[i].ResType, ResId(b, i)});
    }
    return key.Write();
}

// The file on disk that a stored name like "data\one.bif" stands for below folder.
inline std::string StoredPath(const std::filesystem::path& folder, std::string storedName) {
    for (char& c : storedName)
        if (c == '\\') c = '/';
    return (folder / std::filesystem::path(storedName).make_preferred()).string();
}

// A KEY and its BIFs below folder: the KEY at keyName, each BIF where its stored name points.
inline std::string WriteArchive(const std::filesystem::path& folder, const std::string& keyName,
                                const std::vector<ArchiveBif>& bifs) {
    for (const auto& b : bifs) {
        const std::string path = StoredPath(folder, b.StoredName);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, ArchiveBifBytes(b));
    }
    const std::string keyPath = (folder / keyName).string();
    WriteFile(keyPath, KeyBytes(bifs));
    return keyPath;
}

inline const std::string kE1Oid = "6553a0f1c2d3e4f5a6b7c8d9"; // 24 ASCII characters

// ---- ERF family (HAK, MOD, ...) V1.0 and E1.0 ----

// An archive laid out as the game's tools lay one: header (160 bytes), localized strings, key
// list (24 bytes an entry, ResID its place), resource list (8 bytes an entry), the bytes. Header
// fields sit at 8 (LanguageCount), 12, 16 (EntryCount), 20, 24 (key list), 28 (resource list).
// "E1.0": kE1Oid at 40, the SHA-1 after each key entry, compression and size after each resource's.
inline Bytes ErfBytes(const std::vector<ArchiveResource>& resources,
                      const std::vector<std::pair<std::uint32_t, std::string>>& strings = {},
                      const std::string& typeAndVersion = "HAK V1.0") {
    Bytes text;
    for (const auto& [language, words] : strings)
        text.U32(language).U32(static_cast<std::uint32_t>(words.size())).Text(words);
    const auto n = static_cast<std::uint32_t>(resources.size());
    const bool e1 = typeAndVersion.substr(4) == "E1.0";
    const std::uint32_t keys = 160 + text.Size(), list = keys + (e1 ? 44 : 24) * n;
    Bytes b(typeAndVersion);
    b.U32(static_cast<std::uint32_t>(strings.size())).U32(text.Size()).U32(n).U32(160).U32(keys).U32(list);
    b.U32(126).U32(40).U32(0xFFFFFFFF).Text(e1 ? kE1Oid : "", 24).Zeros(92).Append(text);
    for (std::uint32_t i = 0; i < n; ++i) {
        b.Text(resources[i].ResRef, 16).U32(i).U16(resources[i].ResType).U16(0);
        if (e1) b.Text(resources[i].Sha1, 20);
    }
    std::uint32_t at = list + (e1 ? 16 : 8) * n;
    for (const auto& r : resources) {
        const auto size = static_cast<std::uint32_t>(r.Content.size());
        b.U32(at).U32(size);
        if (e1) b.U32(r.Compression).U32(r.Unpacked.value_or(size));
        at += size;
    }
    for (const auto& r : resources) b.Text(r.Content);
    return b;
}

// A UTI (GFF V3.2) of one byte field, label, of value 5: header; struct, field and label at 56,
// 68 and 80; no field data or indices.
inline std::string OneByteGff(const std::string& label) {
    Bytes b("UTI V3.2");
    for (std::uint32_t v : {56u, 1u, 68u, 1u, 80u, 1u, 96u, 0u, 96u, 0u, 96u, 0u}) b.U32(v);
    return b.U32(0xFFFFFFFF).U32(0).U32(1).U32(0).U32(0).U32(5).Text(label, 16).Str();
}

// The JSON of OneByteGff(label) as the community's tools write it (a field is its type and value,
// the document ends with CR LF).
inline std::string OneByteGffJson(const std::string& label) {
    return "{\n  \"__data_type\": \"UTI \",\n  \"" + label +
        "\": {\n    \"type\": \"byte\",\n    \"value\": 5\n  }\n}\r\n";
}

// A module.ifo (GFF V3.2) holding nothing but Mod_HakList, a struct per HAK with its Mod_Hak
// CExoString: header (14 fields), structs (12 bytes: type, field index, field count), fields
// (12 bytes: type, label, data), labels (16 bytes), field data (length, bytes), list indices
// (count, struct indices). Each struct has one field, so there are no field indices.
inline Bytes ModuleIfoBytes(const std::vector<std::string>& haks) {
    const auto n = static_cast<std::uint32_t>(haks.size());
    Bytes structs, fields, data, lists;
    structs.U32(0xFFFFFFFF).U32(0).U32(1);
    fields.U32(15).U32(0).U32(0);
    lists.U32(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        structs.U32(8).U32(i + 1).U32(1);
        fields.U32(10).U32(1).U32(data.Size());
        data.U32(static_cast<std::uint32_t>(haks[i].size())).Text(haks[i]);
        lists.U32(i + 1);
    }
    Bytes labels;
    labels.Text("Mod_HakList", 16).Text("Mod_Hak", 16);
    const std::uint32_t fieldsAt = 56 + structs.Size(), labelsAt = fieldsAt + fields.Size();
    const std::uint32_t dataAt = labelsAt + 32, listsAt = dataAt + data.Size();
    Bytes b("IFO V3.2");
    b.U32(56).U32(n + 1).U32(fieldsAt).U32(n + 1).U32(labelsAt).U32(2).U32(dataAt).U32(data.Size());
    b.U32(listsAt).U32(0).U32(listsAt).U32(lists.Size());
    return b.Append(structs).Append(fields).Append(labels).Append(data).Append(lists);
}
inline constexpr std::uint16_t kTypeIfo = 2014;

// ---- E1: a KEY and its BIF as the Enhanced Edition's packer writes them ----

// A compressed buffer: "XRES", version, algorithm (0 none, 1 zlib, 2 zstd), size; zlib's version
// or zstd's version and dictionary; then payload (made by the test).
inline std::string XRes(std::uint32_t algorithm, std::uint32_t size, const std::string& payload,
                        const std::string& magic = "XRES", std::uint32_t version = 3, std::uint32_t dictionary = 0) {
    Bytes b = Bytes().Text(magic, 4).U32(version).U32(algorithm).U32(size);
    if (algorithm == 1) b.U32(1);
    if (algorithm == 2) b.U32(1).U32(dictionary);
    return b.Text(payload).Str();
}

struct E1Resource {
    std::string ResRef, Stored; // Stored: as the BIF holds it, a buffer when Compression is 1
    std::uint32_t Compression = 0, UncompressedSize = 0;
    std::string Sha1; // the 20 bytes the KEY gives
};

// data\e1.bif (object ID bifOid; 44 bytes reserved per entry, 24 filled, entries one after
// another, as one packer writes them) and e1.key naming it; resource i is ResId(0, i), a txt.
inline std::string WriteE1Archive(const std::filesystem::path& folder, const std::vector<E1Resource>& resources,
                                  const std::string& bifOid = kE1Oid) {
    const auto count = static_cast<std::uint32_t>(resources.size());
    Bytes bif;
    bif.Text("BIFFE1  ").U32(count).U32(0).U32(44).Text(bifOid, 24);
    Key key;
    key.FileVersion = "E1  ";
    key.Reserved = Bytes(kE1Oid).Zeros(8);
    std::uint32_t offset = 44 + 44 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const E1Resource& r = resources[i];
        const auto size = static_cast<std::uint32_t>(r.Stored.size());
        bif.U32(i).U32(offset).U32(size).U32(kTypeTxt).U32(r.Compression).U32(r.UncompressedSize);
        offset += size;
        key.Entries.push_back({r.ResRef, kTypeTxt, ResId(0, i), r.Sha1});
    }
    bif.Zeros(20 * count);
    for (const E1Resource& r : resources) bif.Text(r.Stored);
    std::filesystem::create_directories(folder / "data");
    WriteFile((folder / "data" / "e1.bif").string(), bif);
    key.Bifs.push_back({"data\\e1.bif", {}, 0, bif.Size()});
    WriteFile((folder / "e1.key").string(), key.Write());
    return (folder / "e1.key").string();
}

// ---- Resources to look at ----

inline constexpr std::uint16_t kTypeTga = 3;
inline constexpr std::uint16_t kTypeDds = 2033;
inline constexpr std::uint16_t kTypeMdl = 2002;

// A 32-bit TGA of side x side pixels, rows top first: red across, green down, alpha fading to
// the right, so that the checkerboard shows through.
inline std::string TgaPicture(std::uint16_t side) {
    Bytes b = Bytes{0, 0, 2}.Zeros(9).U16(side).U16(side).Append({32, 0x28});
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x)
            b.Append({64, static_cast<unsigned char>(y * 255 / side), static_cast<unsigned char>(x * 255 / side),
                      static_cast<unsigned char>(255 - x * 191 / side)});
    return b.Str();
}

// One resource of each kind a viewer shows, in data\look.bif: a table, a table that is not
// one, a script, a picture, a texture that does not decode, and a model of binary bytes.
inline ArchiveBif ViewerBif() {
    return {"data\\look.bif",
            {{"appearance", kType2da, "2DA V2.0\n\n   Label     Cost\n0  Sword     \"10 gp\"\n1  ****      5\n"},
             {"broken", kType2da, "2DA V2.0\n\nLabel\n0 \"open\n"},
             {"nw_s0_sleep", kTypeNss, "void main()\r\n{\r\n}\r\n"},
             {"c_bugbear", kTypeTga, TgaPicture(64)},
             {"bad", kTypeDds, "DDS |"},
             {"c_bugbear", kTypeMdl, std::string("\0\x01\x02MDL", 6)}}};
}

// ---- Reading what the program wrote ----

struct RawKey {
    struct Bif {
        std::uint32_t FileSize = 0, FilenameOffset = 0;
        std::uint16_t FilenameSize = 0, Drives = 0;
        std::string Name; // FilenameSize bytes, cut at the first zero
    };
    struct Entry {
        std::string ResRef; // all 16 bytes
        std::uint16_t ResType = 0;
        std::uint32_t ResId = 0;
    };
    std::string FileType, FileVersion;
    std::uint32_t BifCount = 0, KeyCount = 0, OffsetToFileTable = 0, OffsetToKeyTable = 0;
    std::uint32_t BuildYear = 0, BuildDay = 0;
    Bytes Reserved;
    std::vector<Bif> Bifs;
    std::vector<Entry> Keys;
    std::size_t FileSize = 0;
};

inline RawKey ParseKey(const std::vector<unsigned char>& b) {
    RawKey k;
    k.FileSize = b.size();
    k.FileType = TextAt(b, 0, 4);
    k.FileVersion = TextAt(b, 4, 4);
    k.BifCount = U32At(b, 8);
    k.KeyCount = U32At(b, 12);
    k.OffsetToFileTable = U32At(b, 16);
    k.OffsetToKeyTable = U32At(b, 20);
    k.BuildYear = U32At(b, 24);
    k.BuildDay = U32At(b, 28);
    k.Reserved = Bytes(b.begin() + 32, b.begin() + 64);
    for (std::uint32_t i = 0; i < k.BifCount; ++i) {
        const std::size_t at = k.OffsetToFileTable + 12 * std::size_t{i};
        RawKey::Bif e{U32At(b, at), U32At(b, at + 4), U16At(b, at + 8), U16At(b, at + 10), {}};
        e.Name = TextAt(b, e.FilenameOffset, e.FilenameSize);
        e.Name = e.Name.substr(0, e.Name.find('\0'));
        k.Bifs.push_back(e);
    }
    for (std::uint32_t i = 0; i < k.KeyCount; ++i) {
        const std::size_t at = k.OffsetToKeyTable + 22 * std::size_t{i};
        k.Keys.push_back({TextAt(b, at, 16), U16At(b, at + 16), U32At(b, at + 18)});
    }
    return k;
}

struct RawBif {
    struct Var {
        std::uint32_t Id, Offset, FileSize, ResType;
        bool operator==(const Var&) const = default;
    };
    std::string FileType, FileVersion;
    std::uint32_t VarResCount = 0, FixedResCount = 0, VarTableOffset = 0;
    std::vector<Var> Vars;
};

inline RawBif ParseBif(const std::vector<unsigned char>& b) {
    RawBif r{TextAt(b, 0, 4), TextAt(b, 4, 4), U32At(b, 8), U32At(b, 12), U32At(b, 16), {}};
    for (std::uint32_t i = 0; i < r.VarResCount; ++i) {
        const std::size_t at = r.VarTableOffset + 16 * std::size_t{i};
        r.Vars.push_back({U32At(b, at), U32At(b, at + 4), U32At(b, at + 8), U32At(b, at + 12)});
    }
    return r;
}

} // namespace vellocar::test

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>

namespace vellocar::test {

// While alive, no file of this process may grow beyond limit bytes: writes past it fail with
// EFBIG, the way a full disk makes them fail, without needing a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit now = saved_;
        now.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &now);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
};

} // namespace vellocar::test
#endif
