#pragma once
// Small KEY and BIF files for the window tests, written byte by byte here so that the window
// is tested against files that do not come from the code under test.

#include "TempDir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vellocar::ui::test {

// Resource types as the game numbers them.
inline constexpr std::uint16_t kType2da = 2017;
inline constexpr std::uint16_t kTypeNss = 2009;
inline constexpr std::uint16_t kTypeTxt = 10;

struct FixtureResource {
    std::string ResRef;     // at most 16 characters
    std::uint16_t ResType;
    std::string Bytes;
};

struct FixtureBif {
    std::string StoredName;     // as the KEY names it: "data\x.bif"
    std::vector<FixtureResource> Resources;
};

namespace detail {
inline void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void Put16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
inline void PutText(std::vector<unsigned char>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}
inline std::uint32_t Get32(const std::vector<unsigned char>& in, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in.at(at + i)) << (8 * i);
    return v;
}
} // namespace detail

// A BIF with a 20-byte header, the variable table right after it and the bytes after that.
inline std::vector<unsigned char> BifBytes(const std::vector<FixtureResource>& resources) {
    using namespace detail;
    std::vector<unsigned char> out;
    PutText(out, "BIFFV1  ");
    const auto count = static_cast<std::uint32_t>(resources.size());
    Put32(out, count);
    Put32(out, 0);
    Put32(out, 20);
    std::uint32_t offset = 20 + 16 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        Put32(out, i);
        Put32(out, offset);
        Put32(out, static_cast<std::uint32_t>(resources[i].Bytes.size()));
        Put32(out, resources[i].ResType);
        offset += static_cast<std::uint32_t>(resources[i].Bytes.size());
    }
    for (const auto& r : resources) PutText(out, r.Bytes);
    return out;
}

// A KEY naming the BIFs in order; resource i of BIF b gets ResId b << 20 | i.
inline std::vector<unsigned char> KeyBytes(const std::vector<FixtureBif>& bifs) {
    using namespace detail;
    std::vector<unsigned char> out;
    const auto bifCount = static_cast<std::uint32_t>(bifs.size());
    std::uint32_t keyCount = 0;
    for (const auto& b : bifs) keyCount += static_cast<std::uint32_t>(b.Resources.size());
    std::uint32_t namesSize = 0;
    for (const auto& b : bifs) namesSize += static_cast<std::uint32_t>(b.StoredName.size() + 1);
    const std::uint32_t fileTable = 64;
    const std::uint32_t names = fileTable + 12 * bifCount;
    const std::uint32_t keyTable = names + namesSize;

    PutText(out, "KEY V1  ");
    Put32(out, bifCount);
    Put32(out, keyCount);
    Put32(out, fileTable);
    Put32(out, keyTable);
    Put32(out, 126);    // 2026
    Put32(out, 0);
    out.resize(64, 0);
    std::uint32_t nameAt = names;
    for (const auto& b : bifs) {
        Put32(out, static_cast<std::uint32_t>(BifBytes(b.Resources).size()));
        Put32(out, nameAt);
        Put16(out, static_cast<std::uint16_t>(b.StoredName.size()));
        Put16(out, 0);
        nameAt += static_cast<std::uint32_t>(b.StoredName.size() + 1);
    }
    for (const auto& b : bifs) {
        PutText(out, b.StoredName);
        out.push_back(0);
    }
    for (std::uint32_t bi = 0; bi < bifCount; ++bi) {
        const auto& resources = bifs[bi].Resources;
        for (std::uint32_t i = 0; i < resources.size(); ++i) {
            std::string resRef = resources[i].ResRef;
            resRef.resize(16, '\0');
            PutText(out, resRef);
            Put16(out, resources[i].ResType);
            Put32(out, bi << 20 | i);
        }
    }
    return out;
}

// The file on disk that a stored name like "data\one.bif" stands for below folder.
inline std::string StoredPath(const std::filesystem::path& folder, std::string storedName) {
    for (char& c : storedName)
        if (c == '\\') c = '/';
    return (folder / std::filesystem::path(storedName).make_preferred()).string();
}

// A KEY and its BIFs below folder: the KEY at keyName, each BIF where its stored name points.
inline std::string WriteArchive(const std::filesystem::path& folder, const std::string& keyName,
                                const std::vector<FixtureBif>& bifs) {
    for (const auto& b : bifs) {
        const std::string path = StoredPath(folder, b.StoredName);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        vellocar::test::WriteFile(path, BifBytes(b.Resources));
    }
    const std::string keyPath = (folder / keyName).string();
    vellocar::test::WriteFile(keyPath, KeyBytes(bifs));
    return keyPath;
}

// The game-like set most tests use: chitin.key naming data\one.bif (three resources) and
// data\two.bif (one resource).
inline std::vector<FixtureBif> StandardBifs() {
    return {
        {"data\\one.bif",
         {{"alpha", kType2da, "2DA V2.0\nalpha"}, {"beta", kTypeNss, "void main() {}"},
          {"gamma", kTypeTxt, "gamma text"}}},
        {"data\\two.bif", {{"delta", kTypeTxt, "delta"}}},
    };
}

inline std::string ReadText(const std::string& path) {
    const auto bytes = vellocar::test::ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// The number of variable resources in the BIF at path (0 when it cannot be read).
inline std::uint32_t BifResourceCount(const std::string& path) {
    const auto bytes = vellocar::test::ReadFile(path);
    return bytes.size() >= 20 ? detail::Get32(bytes, 8) : 0;
}

// The names of the entries of a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vellocar::ui::test
