// Any bytes as a Wine prefix's system.reg, in memory: the lookup gives nothing, a value, or one
// of the errors it raises (a value of another type, or too long for a path), the same whether
// the text comes whole or a few bytes at a time, and a value it gives is well-formed UTF-8
// without a zero character (the text ends at its first one). Looked up in both views, with key
// and value names in other letter case, and as the root's default value.

#include "ArchiveNames.h"
#include "Errors.h"
#include "FuzzCheck.h"
#include "WineRegistry.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

using namespace vellocar;

namespace {

// The lookup's outcome: the value, or the words of the error it raised.
std::pair<std::optional<std::string>, std::string> Outcome(const std::function<std::optional<std::string>()>& lookup) {
    try {
        return {lookup(), ""};
    } catch (const EVellocarError& e) {
        return {std::nullopt, e.what()};
    }
}

// Looked up in the whole text, and read piece by piece in pieces of chunk bytes, as the file
// is: one outcome either way.
void Lookup(std::string_view text, std::size_t chunk, const std::string& key, const std::string& value) {
    const auto whole = Outcome([&] { return qt::WineRegistryValue(text, key, value); });
    std::string_view rest = text;
    const auto pieces = Outcome([&] {
        return qt::WineRegistryValue(
            [&rest, chunk](char* buffer, std::size_t size) {
                const std::size_t n = std::min({size, chunk, rest.size()});
                std::copy_n(rest.data(), n, buffer);
                rest.remove_prefix(n);
                return n;
            },
            key, value);
    });
    fuzz::Check(whole == pieces, "the text read piece by piece gives another outcome");
    if (const auto& found = whole.first) {
        fuzz::Check(IsValidUtf8(*found), "a value is not valid UTF-8");
        fuzz::Check(found->find('\0') == std::string::npos, "a value holds a zero character");
    } else if (!whole.second.empty()) {
        fuzz::Check(whole.second.starts_with("Invalid data type for '") ||
                        whole.second.find("more than any folder's path") != std::string::npos,
                    "an unexpected error");
    }
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
