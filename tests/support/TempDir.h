#pragma once
// A scratch folder for one test, removed with everything in it when the test ends. It lies
// under $VELLOCAR_TEST_TMP when set (the build folder), else under the system's temp folder.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vellocar::test {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("VELLOCAR_TEST_TMP");
        std::filesystem::path root =
            base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
        std::random_device rd;
        for (;;) {
            path_ = root / ("vellocar-test-" + std::to_string(rd()));
            std::error_code ec;
            std::filesystem::create_directories(root, ec);
            if (std::filesystem::create_directory(path_, ec)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full path of name inside the folder, as a string.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The folder with a trailing separator, as the archive code takes target folders.
    std::string withSeparator() const { return (path_ / "").string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace vellocar::test
