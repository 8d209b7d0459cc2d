#pragma once
// What the core tests share beyond the files themselves (those come from ArchiveBytes.h): a
// message check, a gauge that records what it was told and can act in the middle of a job,
// and snapshots of a folder to prove that a failed build changed nothing.

#include "ArchiveBytes.h"
#include "base/Progress.h"
#include "operations/Build.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vellocar::test {

// The token of the tests' rotations, and the temporary a build of that token writes for a
// target named name: hidden, the token in 16 hex digits, ".tmp" (on Windows not hidden).
constexpr std::uint64_t kTestToken = 0x0123456789abcdef;
inline std::string Temp(const std::string& name, const std::string& token = "0123456789abcdef") {
#ifdef _WIN32
    return name + "." + token + ".tmp";
#else
    return "." + name + "." + token + ".tmp";
#endif
}

// Whether text holds part, with the whole text in the failure message.
inline testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << text << "\" does not hold \"" << part << "\"";
}

// A gauge that records what it was told and can run an action at a given position, which is
// how the tests change the source folder between the table pass and the data pass. A job's
// progress (Progress()) moves it as it moves the window's gauge.
class ScriptedGauge {
public:
    TProgress Progress() {
        return [this](std::uint64_t done, std::uint64_t total) {
            if (!Shown) {
                SetMinValue(0);
                SetMaxValue(static_cast<int>(total) - 1);
                SetProgress(0);
                Show();
            }
            SetProgress(static_cast<int>(done));
            RepaintNow();
        };
    }
    void SetMinValue(int value) {
        Min = value;
        Log.push_back({'m', value});
    }
    void SetMaxValue(int value) {
        Max = value;
        Log.push_back({'M', value});
    }
    void SetProgress(int value) {
        Positions.push_back(value);
        Log.push_back({'p', value});
        if (value == ActAt && Action) {
            auto action = std::move(Action);
            Action = nullptr;
            action();
        }
    }
    void Show() {
        Shown = true;
        Log.push_back({'s', 0});
    }
    void RepaintNow() {
        ++Repaints;
        Log.push_back({'r', 0});
    }

    int Min = -100, Max = -100, Repaints = 0, ActAt = -1;
    bool Shown = false;
    std::vector<int> Positions;
    std::vector<std::pair<char, int>> Log; // every call in order: kind, value
    std::function<void()> Action;
};

// Whether the gauge ran over a job of steps 0..last the way a person should see it: the range
// set before the first step, the gauge shown, the position reaching every step in order and
// ending at the last, and a repaint after each change of position.
inline testing::AssertionResult RanOver(const ScriptedGauge& g, int last) {
    if (g.Min != 0 || g.Max != last)
        return testing::AssertionFailure() << "range " << g.Min << ".." << g.Max << ", not 0.." << last;
    if (!g.Shown) return testing::AssertionFailure() << "never shown";
    bool rangeSet = false;
    int next = 0;
    int unpainted = -1; // a position set and not yet repainted
    for (const auto& [kind, value] : g.Log) {
        if (kind == 'M') rangeSet = true;
        if (kind == 'r') unpainted = -1;
        if (kind != 'p') continue;
        if (!rangeSet) return testing::AssertionFailure() << "position " << value << " before the range";
        if (unpainted >= 0 && value != unpainted)
            return testing::AssertionFailure() << "position " << unpainted << " never repainted";
        if (value > next || value < next - 1)
            return testing::AssertionFailure() << "position " << value << " out of order (next " << next << ")";
        if (value == next) ++next;
        unpainted = value;
    }
    if (next != last + 1 || g.Positions.empty() || g.Positions.back() != last)
        return testing::AssertionFailure() << "the position stopped at " << next - 1 << ", not " << last;
    if (unpainted >= 0) return testing::AssertionFailure() << "the last position never repainted";
    return testing::AssertionSuccess();
}

// Every entry of a folder (hidden ones too) with its bytes.
using Snapshot = std::map<std::string, Bytes>;
inline Snapshot TakeSnapshot(const std::filesystem::path& folder) {
    Snapshot s;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        s[name] = e.is_regular_file() ? Bytes(ReadFile(e.path().string())) : Bytes{};
    }
    return s;
}

inline std::string Names(const Snapshot& s) {
    std::string text;
    for (const auto& [name, bytes] : s) text += name + " ";
    return text;
}

// A folder of source files and a folder for the BIF and KEY, with the names the folder listing
// would have given.
struct BuildFixture {
    TempDir Dir;
    std::string Source = (Dir.path() / "src" / "").string();
    std::string Out = (Dir.path() / "out").string();
    std::vector<std::string> List;
    ScriptedGauge Gauge;
    std::optional<std::string> SourceDateEpoch;

    BuildFixture() {
        std::filesystem::create_directory(Dir.path() / "src");
        std::filesystem::create_directory(Out);
    }
    void AddFile(const std::string& name, const Bytes& bytes) {
        WriteFile(Source + name, bytes);
        List.push_back(name);
    }
    void AddFile(const std::string& name, std::size_t size, unsigned char seed = 1) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
        AddFile(name, bytes);
    }
    std::string OutPath(const std::string& name) const { return Out + "/" + name; }
    // The build of the listed names from Source into bif and key in Out, progress on Gauge.
    TBuildRequest Request(const std::string& bif, const std::string& key, bool append) {
        TBuildRequest request(Source, bif, key, append);
        request.Files = List;
        request.Progress = Gauge.Progress();
        request.SourceDateEpoch = SourceDateEpoch;
        return request;
    }
    bool Build(const std::string& bif, const std::string& key, bool append) {
        BuildArchive(Request(OutPath(bif), OutPath(key), append));
        return true;
    }
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
    bool Remount(const std::string& options) { return Run("mount -o remount," + options + " " + at_.string()); }
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

// A FAT file system mounted through FUSE for one test: a folder that folds letter case on Linux
// as a USB stick does (and gives each spelling of a name its own inode number). Mounted() is
// false where that cannot be done (not root, no FUSE, no fusefat or mkfs.vfat), and the test
// then skips.
class FatMount {
public:
    explicit FatMount(const std::filesystem::path& at) : at_(at), image_(at.string() + ".img") {
        std::filesystem::create_directories(at_);
        mounted_ = ScratchMount::Run("(truncate -s 16M " + image_ + " && mkfs.vfat " + image_ + " && fusefat -o rw+ " +
                                     image_ + " " + at_.string() + ")");
    }
    ~FatMount() {
        if (mounted_) ScratchMount::Run("umount " + at_.string() + " || fusermount -u " + at_.string());
        std::error_code ec;
        std::filesystem::remove(image_, ec);
    }
    FatMount(const FatMount&) = delete;
    FatMount& operator=(const FatMount&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::filesystem::path at_;
    std::string image_;
    bool mounted_ = false;
};

} // namespace vellocar::test
