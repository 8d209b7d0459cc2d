// The forms of a build's own files beside its targets: see SideFileNames.h.

#include "names/SideFileNames.h"

#include "names/Names.h"

#include <string>

namespace vellocar {

namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::string_view kTemporaryEnding = ".tmp";
// A token written in full, lower case only: one spelling per token.
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kTokenDigits = 16;

// Whether the path's parts between separators are all real names: none empty (but where the
// form of an absolute path has them), none "." or "..".
bool HasOnlyRealParts(std::string_view rest, TPathSystem system) {
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !IsSeparatorOf(system, rest[end])) ++end;
        const std::string_view part = rest.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return rest.empty() || !IsSeparatorOf(system, rest.back());
}

} // namespace

std::string SideFileName(std::string_view targetName, std::string_view kind, TPathSystem system) {
    std::string name;
    if (system == TPathSystem::Windows) {
        name = targetName;
    } else {
        name = ".";
        name += WindowsNameKey(targetName);
    }
    name += '.';
    name += kind;
    return name;
}

bool IsPlainFileName(std::string_view name, TPathSystem system) {
    if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
    for (const char c : name) {
        if (IsSeparatorOf(system, c) || static_cast<unsigned char>(c) < 0x20) return false;
        if (system == TPathSystem::Windows && c == ':') return false;
    }
    return true;
}

bool IsAbsoluteFolder(std::string_view folder, TPathSystem system) {
    if (system == TPathSystem::Posix) return folder.starts_with('/') && HasOnlyRealParts(folder.substr(1), system);
    // "C:\" and what follows it, or "\\server\share\" and what follows it.
    if (folder.size() >= 3 && IsAsciiLetter(folder[0]) && folder[1] == ':' && IsSeparatorOf(system, folder[2]))
        return HasOnlyRealParts(folder.substr(3), system);
    if (folder.size() >= 2 && IsSeparatorOf(system, folder[0]) && IsSeparatorOf(system, folder[1])) {
        const std::string_view share = folder.substr(2);
        return share.find('?') == std::string_view::npos && HasOnlyRealParts(share, system) &&
            share.find_first_of("\\/") != std::string_view::npos;
    }
    return false;
}

std::string OwnTemporaryName(std::string_view owner, std::uint64_t token, TPathSystem system) {
    std::string name = system == TPathSystem::Windows ? "" : ".";
    name += owner;
    name += '.';
    for (int shift = 60; shift >= 0; shift -= 4) name += kHexDigits[(token >> shift) & 0xF];
    name += kTemporaryEnding;
    return name;
}

std::optional<std::uint64_t> OwnTemporaryToken(std::string_view candidate, std::string_view owner, TPathSystem system) {
    const std::string_view lead = system == TPathSystem::Windows ? "" : ".";
    const std::size_t size = lead.size() + owner.size() + 1 + kTokenDigits + kTemporaryEnding.size();
    if (owner.empty() || candidate.size() != size || !candidate.starts_with(lead) ||
        candidate.substr(lead.size(), owner.size()) != owner || candidate[lead.size() + owner.size()] != '.' ||
        !candidate.ends_with(kTemporaryEnding))
        return std::nullopt;
    std::uint64_t token = 0;
    for (const char c : candidate.substr(lead.size() + owner.size() + 1, kTokenDigits)) {
        const char* digit = std::char_traits<char>::find(kHexDigits, 16, c);
        if (!digit) return std::nullopt;
        token = (token << 4) | static_cast<std::uint64_t>(digit - kHexDigits);
    }
    return token;
}

} // namespace vellocar
