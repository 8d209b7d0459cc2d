#pragma once
// Files for the tests that drive the program: a scratch folder on the Wine prefix's C: drive
// (the prefix belongs to the build folder); the bytes and whole-file reads and writes are the
// ones every test uses.

#include "AppDriver.h"
#include "ArchiveBytes.h"

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace vellocar::test::win32 {

class ScratchFolder {
public:
    ScratchFolder() {
        // On the Wine prefix's own C: drive, in a folder that only these tests use, and they
        // one at a time (ctest's resource lock): Wine's browse-for-folder dialog loses a
        // selection when the children of a folder on the selected path change meanwhile.
        char windows[MAX_PATH + 1] = {};
        GetWindowsDirectoryA(windows, sizeof windows);
        const std::filesystem::path root = std::filesystem::path(std::string(windows, 3)) / "vellocar-app-tests";
        std::random_device rd;
        std::error_code ec;
        std::filesystem::create_directories(root, ec);
        do {
            path_ = root / std::to_string(rd());
        } while (!std::filesystem::create_directory(path_, ec));
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The full Windows path of a name inside the folder; its folders are created.
    std::string Folder(const std::string& relative) const {
        const auto p = path_ / relative;
        std::filesystem::create_directories(p);
        return p.string();
    }
    std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

private:
    std::filesystem::path path_;
};

inline bool Contains(const std::vector<unsigned char>& haystack, const std::vector<unsigned char>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}
inline bool Contains(const std::vector<unsigned char>& haystack, const std::string& needle) {
    return Contains(haystack, std::vector<unsigned char>(needle.begin(), needle.end()));
}

inline std::string AppPath() { return WindowsPath(VELLOCAR_APP_EXE); }

} // namespace vellocar::test::win32
