#pragma once
// What the builder's tests share: a byte-level reader of the KEY and BIF files a build writes
// (kept apart from the program's own reader, so that a fault in one cannot hide in the other),
// a writer of hand-made KEYs, a gauge that can act in the middle of a build, and snapshots of
// a folder to prove that a failed build changed nothing.

#include "BifFiles.h"
#include "Progress.h"
#include "TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::test {

using Bytes = std::vector<unsigned char>;

inline std::uint32_t U32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
           std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}
inline std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::string Text(const Bytes& b, std::size_t at, std::size_t size) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + size));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

// A KEY as its bytes say, read straight from the file.
struct RawKeyEntry {
    std::string ResRef;   // all 16 bytes
    std::uint16_t ResType = 0;
    std::uint32_t ResId = 0;
};
struct RawBifEntry {
    std::uint32_t FileSize = 0;
    std::uint32_t FilenameOffset = 0;
    std::uint16_t FilenameSize = 0;
    std::uint16_t Drives = 0;
    std::string Name;     // FilenameSize bytes, cut at the first zero
};
struct RawKey {
    std::string FileType, FileVersion;
    std::uint32_t BifCount = 0, KeyCount = 0, OffsetToFileTable = 0, OffsetToKeyTable = 0;
    std::uint32_t BuildYear = 0, BuildDay = 0;
    Bytes Reserved;
    std::vector<RawBifEntry> Bifs;
    std::vector<RawKeyEntry> Keys;
    std::size_t FileSize = 0;
};

inline RawKey ParseKey(const Bytes& b) {
    RawKey k;
    k.FileSize = b.size();
    k.FileType = Text(b, 0, 4);
    k.FileVersion = Text(b, 4, 4);
    k.BifCount = U32(b, 8);
    k.KeyCount = U32(b, 12);
    k.OffsetToFileTable = U32(b, 16);
    k.OffsetToKeyTable = U32(b, 20);
    k.BuildYear = U32(b, 24);
    k.BuildDay = U32(b, 28);
    k.Reserved.assign(b.begin() + 32, b.begin() + 64);
    for (std::uint32_t i = 0; i < k.BifCount; ++i) {
        const std::size_t at = k.OffsetToFileTable + 12 * std::size_t{i};
        RawBifEntry e{U32(b, at), U32(b, at + 4), U16(b, at + 8), U16(b, at + 10), {}};
        e.Name = Text(b, e.FilenameOffset, e.FilenameSize);
        e.Name = e.Name.substr(0, e.Name.find('\0'));
        k.Bifs.push_back(e);
    }
    for (std::uint32_t i = 0; i < k.KeyCount; ++i) {
        const std::size_t at = k.OffsetToKeyTable + 22 * std::size_t{i};
        k.Keys.push_back({Text(b, at, 16), U16(b, at + 16), U32(b, at + 18)});
    }
    return k;
}

struct RawVarEntry {
    std::uint32_t Id, Offset, FileSize, ResType;
    bool operator==(const RawVarEntry&) const = default;
};
struct RawBif {
    std::string FileType, FileVersion;
    std::uint32_t VarResCount = 0, FixedResCount = 0, VarTableOffset = 0;
    std::vector<RawVarEntry> Vars;
};

inline RawBif ParseBif(const Bytes& b) {
    RawBif r{Text(b, 0, 4), Text(b, 4, 4), U32(b, 8), U32(b, 12), U32(b, 16), {}};
    for (std::uint32_t i = 0; i < r.VarResCount; ++i) {
        const std::size_t at = r.VarTableOffset + 16 * std::size_t{i};
        r.Vars.push_back({U32(b, at), U32(b, at + 4), U32(b, at + 8), U32(b, at + 12)});
    }
    return r;
}

// The 16 bytes a ResRef of this name takes: the name, then zero bytes.
inline std::string ResRef16(const std::string& name) {
    std::string r = name;
    r.resize(16, '\0');
    return r;
}

// A hand-made KEY, written contiguously. Entries name their BIF by index and are written in
// the order given, so a test can interleave them.
struct KeySpec {
    struct Bif {
        std::string Name;
        std::uint16_t FilenameSize;   // as stored; the name is followed by one zero byte
        std::uint16_t Drives;
        std::uint32_t FileSize;
    };
    struct Entry {
        std::string ResRef;
        std::uint16_t ResType;
        std::uint32_t ResId;
    };
    Bytes Reserved = Bytes(32, 0);
    std::vector<Bif> Bifs;
    std::vector<Entry> Entries;

    // A BIF named name whose FilenameSize is its length (no zero counted) and count entries
    // named <prefix><i>.
    void AddBif(const std::string& name, int count, const std::string& prefix,
                std::uint16_t drives = 0, std::uint32_t fileSize = 1000) {
        const auto index = static_cast<std::uint32_t>(Bifs.size());
        Bifs.push_back({name, static_cast<std::uint16_t>(name.size()), drives, fileSize});
        for (int i = 0; i < count; ++i) {
            Entries.push_back({prefix + std::to_string(i), 2017,
                               index << 20 | static_cast<std::uint32_t>(i)});
        }
    }

    Bytes Write() const {
        Bytes b{'K', 'E', 'Y', ' ', 'V', '1', ' ', ' '};
        std::uint32_t names = 0;
        for (const auto& bif : Bifs) names += static_cast<std::uint32_t>(bif.Name.size() + 1);
        const auto bifCount = static_cast<std::uint32_t>(Bifs.size());
        Put32(b, bifCount);
        Put32(b, static_cast<std::uint32_t>(Entries.size()));
        Put32(b, 64);
        Put32(b, 64 + 12 * bifCount + names);
        Put32(b, 99);    // build year and day, which a build replaces
        Put32(b, 300);
        b.insert(b.end(), Reserved.begin(), Reserved.end());
        std::uint32_t offset = 64 + 12 * bifCount;
        for (const auto& bif : Bifs) {
            Put32(b, bif.FileSize);
            Put32(b, offset);
            Put16(b, bif.FilenameSize);
            Put16(b, bif.Drives);
            offset += static_cast<std::uint32_t>(bif.Name.size() + 1);
        }
        for (const auto& bif : Bifs) {
            b.insert(b.end(), bif.Name.begin(), bif.Name.end());
            b.push_back(0);
        }
        for (const auto& e : Entries) {
            const std::string r = ResRef16(e.ResRef);
            b.insert(b.end(), r.begin(), r.end());
            Put16(b, e.ResType);
            Put32(b, e.ResId);
        }
        return b;
    }
};

// A gauge that records what it was told and can run an action at a given position, which is
// how the tests change the source folder between the table pass and the data pass.
class ScriptedGauge : public TGauge {
public:
    void SetMinValue(int value) override { Min = value; }
    void SetMaxValue(int value) override { Max = value; }
    void SetProgress(int value) override {
        Positions.push_back(value);
        if (value == ActAt && Action) {
            auto action = std::move(Action);
            Action = nullptr;
            action();
        }
    }
    void Show() override { Shown = true; }
    void RepaintNow() override { ++Repaints; }

    int Min = -100, Max = -100, Repaints = 0, ActAt = -1;
    bool Shown = false;
    std::vector<int> Positions;
    std::function<void()> Action;
};

// Every entry of a folder (hidden ones too) with its bytes.
using Snapshot = std::map<std::string, Bytes>;
inline Snapshot TakeSnapshot(const std::filesystem::path& folder) {
    Snapshot s;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        s[name] = e.is_regular_file() ? ReadFile(e.path().string()) : Bytes{};
    }
    return s;
}

inline std::string Names(const Snapshot& s) {
    std::string text;
    for (const auto& [name, bytes] : s) text += name + " ";
    return text;
}

// A folder of source files and a folder for the BIF and KEY, with the list the window would
// have filled.
struct BuildFixture {
    TempDir Dir;
    std::string Source = (Dir.path() / "src" / "").string();
    std::string Out = (Dir.path() / "out").string();
    TStringResourceList List;
    ScriptedGauge Gauge;

    BuildFixture() {
        std::filesystem::create_directory(Dir.path() / "src");
        std::filesystem::create_directory(Out);
    }
    void AddFile(const std::string& name, const Bytes& bytes) {
        WriteFile(Source + name, bytes);
        List.Add(name);
    }
    void AddFile(const std::string& name, std::size_t size, unsigned char seed = 1) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
        AddFile(name, bytes);
    }
    std::string OutPath(const std::string& name) const { return Out + "/" + name; }
    bool Build(const std::string& bif, const std::string& key, bool append) {
        TNWNBifFile builder(List, Gauge);
        return builder.BuildFrom(Source, OutPath(bif), OutPath(key), append);
    }
};

// Sets an environment variable for one scope, putting back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        Set(value.c_str());
    }
    ~ScopedEnvironment() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Set(const char* value) {
#ifdef _WIN32
        _putenv_s(name_.c_str(), value ? value : "");
#else
        if (value) setenv(name_.c_str(), value, 1); else unsetenv(name_.c_str());
#endif
    }
    std::string name_;
    std::optional<std::string> old_;
};

// A tmpfs of the given size mounted for one test; Mounted() is false where mounting is not
// allowed (not root, or no mount in this sandbox), and the test then skips.
class ScratchMount {
public:
    ScratchMount(const std::filesystem::path& at, const std::string& options) : at_(at) {
        std::filesystem::create_directories(at_);
        mounted_ = Run("mount -t tmpfs -o " + options + " vellocar-test " + at_.string());
    }
    // Windows has no mount to call; the tests that need one skip there.
    ~ScratchMount() {
        if (mounted_) Run("umount -l " + at_.string());
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    bool Mounted() const { return mounted_; }
    bool Remount(const std::string& options) {
        return Run("mount -o remount," + options + " " + at_.string());
    }
    static bool Run(const std::string& command) {
#ifdef _WIN32
        (void)command;
        return false;
#else
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
#endif
    }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

} // namespace vellocar::test
