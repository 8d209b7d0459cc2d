// The forms of a build's own files beside its targets: see SideFileNames.h.

#include "SideFileNames.h"

#include "Names.h"

#include <array>

namespace vellocar {

namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::string_view kTemporaryEnding = ".tmp";
// Tags that would make a "temporary" of the owner's own journal, lock or backup.
constexpr std::array<std::string_view, 3> kReservedTags{"journal", "lock", "bak"};

bool IsTagCharacter(char c) { return IsAsciiDigit(c) || IsAsciiLetter(c) || c == '-'; }

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

bool IsTemporaryNameOf(std::string_view candidate, std::string_view owner) {
    if (owner.empty()) return false;
    if (candidate.starts_with('.')) candidate.remove_prefix(1);
    if (!candidate.starts_with(owner) || candidate.size() <= owner.size() + 1 || candidate[owner.size()] != '.')
        return false;
    std::string_view tag = candidate.substr(owner.size() + 1);
    if (tag.ends_with(kTemporaryEnding)) tag.remove_suffix(kTemporaryEnding.size());
    if (tag.empty()) return false;
    for (const char c : tag)
        if (!IsTagCharacter(c)) return false;
    for (const std::string_view reserved : kReservedTags)
        if (EqualIgnoringCase(tag, reserved)) return false;
    return true;
}

} // namespace vellocar
