#pragma once
// A private scratch folder for one fuzzing process, removed when the process ends.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vellocar::fuzz {

inline const std::filesystem::path& Scratch() {
    struct Folder {
        Folder() {
            const char* base = std::getenv("TMPDIR");
            path = std::filesystem::path(base && *base ? base : "/tmp") /
                   ("vellocar-fuzz-" + std::to_string(::getpid()));
            std::filesystem::create_directories(path);
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
        std::filesystem::path path;
    };
    static Folder folder;
    return folder.path;
}

inline void WriteBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

} // namespace vellocar::fuzz
