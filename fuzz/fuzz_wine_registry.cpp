// Any bytes as a Wine prefix's system.reg, in memory: the lookup gives nothing, a value, or the
// one error it raises for a value of another type, and a value it gives is well-formed UTF-8
// without a zero character (the text ends at its first one). Looked up in both views, with key
// and value names in other letter case, and as the root's default value; read whole and a few
// bytes at a time alike (a value too long for a path raises the error that passes it over).

#include "base/Errors.h"
#include "FuzzCheck.h"
#include "names/ArchiveNames.h"
#include "WineRegistry.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

using namespace vellocar;

namespace {

// Looked up in the whole text and a few bytes (chunk) at a time, as the file is read: one
// outcome either way, the value or the words of the error raised.
void Lookup(std::string_view text, std::size_t chunk, const std::string& key, const std::string& value) {
    std::pair<std::optional<std::string>, std::string> outcome[2];
    for (int pass = 0; pass < 2; ++pass) {
        std::string_view rest = text;
        const std::size_t piece = pass == 0 ? text.size() : chunk;
        const auto read = [&rest, piece](char* buffer, std::size_t size) {
            const std::size_t n = std::min({size, piece, rest.size()});
            std::copy_n(rest.data(), n, buffer);
            rest.remove_prefix(n);
            return n;
        };
        try {
            outcome[pass].first = game::WineRegistryValue(read, key, value);
        } catch (const EVellocarError& e) {
            outcome[pass].second = e.what();
        }
    }
    fuzz::Check(outcome[0] == outcome[1], "the text read piece by piece gives another outcome");
    if (const auto& found = outcome[0].first) {
        fuzz::Check(IsValidUtf8(*found), "a value is not valid UTF-8");
        fuzz::Check(found->find('\0') == std::string::npos, "a value holds a zero character");
    }
    const std::string& error = outcome[0].second;
    fuzz::Check(
        error.empty() || error.starts_with("Invalid data type for '") || error.ends_with("more than any folder's path"),
        "an unexpected error");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = size == 0 ? 1 : 1 + data[0] % 13;
    Lookup(text, chunk, "SOFTWARE\\BioWare\\NWN\\Neverwinter", "Location");
    Lookup(text, chunk, "HKLM\\software\\valve\\steam\\", "installpath");
    Lookup(text, chunk, "Software", "");
    return 0;
}
