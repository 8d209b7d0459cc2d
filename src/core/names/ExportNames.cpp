// Which resource names can be written as files in an export folder, and which are devices.

#include "names/ExportNames.h"

#include "names/Names.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellocar {

// Windows opens the device rather than a file for these stems, whatever extension follows
// and with trailing blanks ignored. The serial and parallel ports count from 0 to 9; Windows
// also reads the superscript digits 1, 2 and 3 of the ANSI code page (bytes B9, B2 and B3)
// after COM and LPT as their plain digits.
bool IsWindowsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    // The devices' stems are three to seven characters long; most names are not.
    if (stem.size() < 3 || stem.size() > 7) return false;
    const auto is = [&stem](std::string_view device) {
        return stem.size() >= device.size() &&
            std::equal(device.begin(), device.end(), stem.begin(), [](char d, char c) { return d == UpperAscii(c); });
    };
    static constexpr std::array<std::string_view, 6> kPlain{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (auto device : kPlain)
        if (stem.size() == device.size() && is(device)) return true;
    if (stem.size() != 4 || (!is("COM") && !is("LPT"))) return false;
    const auto digit = static_cast<unsigned char>(stem[3]);
    return IsAsciiDigit(stem[3]) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

namespace {

// The bytes that a file name in the export folder cannot hold as they stand: path separators, a
// drive's colon, control bytes, and the characters Windows refuses.
constexpr auto kUnsafeInName = [] {
    std::array<bool, 256> unsafe{};
    for (std::size_t c = 0; c < 0x20; ++c) unsafe[c] = true;
    for (const char c : std::string_view("/\\:*?\"<>|\x7F")) unsafe[static_cast<unsigned char>(c)] = true;
    return unsafe;
}();

} // namespace

std::optional<std::string> UnsafeExportNameReason(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "the name " + Quoted(name) + " stands for a folder";
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (!kUnsafeInName[c]) continue;
        if (c == '/' || c == '\\' || c == ':')
            return "the name holds a path separator and would be written outside the folder";
        if (c < 0x20 || c == 0x7F) return "the name holds a control character";
        return std::string("the name holds the character '") + ch + "', which file names cannot hold";
    }
    if (IsWindowsDeviceName(name)) return "the name is a Windows device name";
    return std::nullopt;
}

} // namespace vellocar
