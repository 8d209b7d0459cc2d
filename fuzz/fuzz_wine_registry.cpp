// Any bytes as a Wine prefix's system.reg, in memory: the lookup gives nothing, a value, or the
// one error it raises for a value of another type, and a value it gives is well-formed UTF-8
// without a zero character (the text ends at its first one). Looked up in both views, with key
// and value names in other letter case, and as the root's default value.

#include "ArchiveNames.h"
#include "Errors.h"
#include "FuzzCheck.h"
#include "WineRegistry.h"

#include <string>
#include <string_view>

using namespace vellocar;

namespace {

void Lookup(std::string_view text, const std::string& key, const std::string& value) {
    try {
        const auto found = qt::WineRegistryValue(text, key, value);
        if (!found) return;
        fuzz::Check(IsValidUtf8(*found), "a value is not valid UTF-8");
        fuzz::Check(found->find('\0') == std::string::npos, "a value holds a zero character");
    } catch (const EVellocarError& e) {
        fuzz::Check(std::string_view(e.what()).starts_with("Invalid data type for '"), "an unexpected error");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Lookup(text, "SOFTWARE\\BioWare\\NWN\\Neverwinter", "Location");
    Lookup(text, "HKLM\\software\\valve\\steam\\", "installpath");
    Lookup(text, "Software", "");
    return 0;
}
