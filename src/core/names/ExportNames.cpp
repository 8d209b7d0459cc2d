// Which resource names can be written as files in an export folder, and which are devices.

#include "ExportNames.h"

#include "Names.h"

#include <array>
#include <string_view>

namespace vellocar {

// Windows opens the device rather than a file for these stems, whatever extension follows
// and with trailing blanks ignored. The serial and parallel ports count from 0 to 9; Windows
// also reads the superscript digits 1, 2 and 3 of the ANSI code page (bytes B9, B2 and B3)
// after COM and LPT as their plain digits.
bool IsWindowsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = UpperAscii(c);
    static constexpr std::array<std::string_view, 6> kPlain{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (auto device : kPlain)
        if (stem == device) return true;
    if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) return false;
    const auto digit = static_cast<unsigned char>(stem[3]);
    return IsAsciiDigit(stem[3]) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::optional<std::string> UnsafeExportNameReason(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "the name " + Quoted(name) + " stands for a folder";
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || c == '\\' || c == ':')
            return "the name holds a path separator and would be written outside the folder";
        if (c < 0x20 || c == 0x7F) return "the name holds a control character";
        if (std::string_view("*?\"<>|").find(ch) != std::string_view::npos)
            return std::string("the name holds the character '") + ch + "', which file names cannot hold";
    }
    if (IsWindowsDeviceName(name)) return "the name is a Windows device name";
    return std::nullopt;
}

} // namespace vellocar
