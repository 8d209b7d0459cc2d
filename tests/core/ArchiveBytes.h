#pragma once
// Hand-made KEY and BIF files for the reader tests: a little-endian byte builder, and helpers
// that lay out small archives the way the game's own files are laid out.

#include "BifFiles.h"
#include "KeyFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vellocar::test {

class Bytes {
public:
    Bytes& U16(std::uint16_t v) {
        data.push_back(static_cast<unsigned char>(v));
        data.push_back(static_cast<unsigned char>(v >> 8));
        return *this;
    }
    Bytes& U32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) data.push_back(static_cast<unsigned char>(v >> shift));
        return *this;
    }
    // The characters of text, then zero bytes up to width (no padding when width is 0).
    Bytes& Text(const std::string& text, std::size_t width = 0) {
        data.insert(data.end(), text.begin(), text.end());
        for (std::size_t i = text.size(); i < width; ++i) data.push_back(0);
        return *this;
    }
    Bytes& Zeros(std::size_t n) {
        data.insert(data.end(), n, 0);
        return *this;
    }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(data.size()); }
    // Overwrites a 32-bit field already written, for offsets known only later.
    void Patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    }

    std::vector<unsigned char> data;
};

// Whether text holds part, with the whole text in the failure message.
inline testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << text << "\" does not hold \"" << part << "\"";
}

inline TResRef Ref(const std::string& name) {
    TResRef ref{};
    for (std::size_t i = 0; i < name.size() && i < ref.size(); ++i) ref[i] = name[i];
    return ref;
}

inline TNWNKeyEntry Entry(const std::string& name, std::uint16_t type, std::uint32_t bif, std::uint32_t index) {
    return TNWNKeyEntry{Ref(name), type, (bif << kResIdBifShift) + index};
}

// A KEY model as the builder leaves it, ready for SaveToFile.
inline TNWNKeyFile MakeKey(const std::vector<std::pair<std::string, std::vector<TNWNKeyEntry>>>& bifs) {
    TNWNKeyFile key;
    key.FileType = {'K', 'E', 'Y', ' '};
    key.FileVersion = {'V', '1', ' ', ' '};
    for (const auto& [name, entries] : bifs) {
        TNWNFileTableEntry row;
        row.FilenameSize = static_cast<std::uint16_t>(name.size());
        key.FileTable.push_back(row);
        key.Filenames.push_back({name, entries});
    }
    key.BifCount = static_cast<std::uint32_t>(bifs.size());
    return key;
}

// A KEY whose file-table rows all point at one name of nameSize 'n' bytes without a zero
// byte: small on disk, rows x nameSize bytes once every row holds its own copy of the name.
inline std::vector<unsigned char> SharedNameKey(std::uint32_t rows, std::uint16_t nameSize) {
    const std::uint32_t fileTable = static_cast<std::uint32_t>(kKeyHeaderSize);
    const std::uint32_t name = fileTable + rows * static_cast<std::uint32_t>(kKeyFileTableEntrySize);
    Bytes b;
    b.Text("KEY V1  ").U32(rows).U32(0).U32(fileTable).U32(name + nameSize).U32(0).U32(0).Zeros(kKeyReservedSize);
    for (std::uint32_t i = 0; i < rows; ++i) b.U32(0).U32(name).U16(nameSize).U16(0);
    b.Text(std::string(nameSize, 'n'));
    return b.data;
}

// A BIF in the builder's layout: header, variable table at 20, contents in order.
struct Resource {
    std::string Content;
    std::uint32_t Type = 10;
};

inline std::vector<unsigned char> MakeBif(const std::vector<Resource>& resources) {
    Bytes b;
    b.Text("BIFF").Text("V1  ").U32(static_cast<std::uint32_t>(resources.size())).U32(0).U32(20);
    std::uint32_t offset = static_cast<std::uint32_t>(20 + 16 * resources.size());
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const auto size = static_cast<std::uint32_t>(resources[i].Content.size());
        b.U32(static_cast<std::uint32_t>(i)).U32(offset).U32(size).U32(resources[i].Type);
        offset += size;
    }
    for (const Resource& r : resources) b.Text(r.Content);
    return b.data;
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
