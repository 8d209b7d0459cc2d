// One string value read from the registry, in the native view and then in the 32-bit one.

#include "Win32Registry.h"

#include "MachineRegistry.h"

#include "base/Errors.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vellocar::game {

namespace {

constexpr int kReadAttempts = 4;

struct KeyCloser {
    HKEY key;
    ~KeyCloser() { RegCloseKey(key); }
};

// One view of the registry. Nothing when the key or value is missing, empty or refused.
std::optional<std::string> ReadFromView(HKEY root, const std::string& key, const std::string& value, REGSAM view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return std::nullopt;
    KeyCloser closer{handle};

    // A value that grows between the two queries is read again, a few times at most.
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        if (size == 0) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) throw EVellocarError("Invalid data type for '" + value + "'");

        std::vector<char> data(size + 1, '\0');
        DWORD got = size;
        const LONG status =
            RegQueryValueExA(handle, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            if (got == 0) return std::nullopt;
            throw EVellocarError("Invalid data type for '" + value + "'");
        }
        std::string text(data.data(), std::min<std::size_t>(got, size));
        if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        if (text.empty()) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ReadRegistryString(HKEY root, const std::string& key, const std::string& value) {
    if (auto found = ReadFromView(root, key, value, 0)) return found;
    return ReadFromView(root, key, value, KEY_WOW64_32KEY);
}

std::optional<std::string> MachineRegistryString(const std::string& key, const std::string& value) {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, key, value);
}

} // namespace vellocar::game
