#pragma once
// Shell-style patterns over resource names ("*.2da", "c_drag*", "[ab]?.nss"), matched on the
// names as an archive holds them: single bytes in Windows-1252, so that "?" stands for one
// letter ("é" too) and letters of either case match (FoldArchiveLetter), as the game looks
// names up.

#include "names/ArchiveNames.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// Whether name matches pattern, both in the bytes of an archive's names: "*" stands for any run
// of characters (none included), "?" for one character, "[...]" for one character of the set
// ("[a-c]" a range, "[!x]" or "[^x]" any but those). A "[" that no "]" closes, and every other
// character, stands for itself. The work is linear in the name per "*", whatever the pattern:
// no pattern can make it explode.
bool MatchesPattern(std::string_view pattern, std::string_view name);

// A pattern as a command line of a system that spells names so types it, in the bytes of an
// archive's names: in a code page as it is (the names are shown in it too), in UTF-8 turned into
// Windows-1252. Nothing when it holds a character that no archive name can hold.
std::optional<std::string> ArchivePattern(std::string_view typed, TNameSpelling spelling);

// Patterns as typed (ArchivePattern), matched against names as an archive holds them. Without
// patterns every name matches; a pattern that no archive name can match matches none.
class TNamePatterns {
public:
    TNamePatterns(const std::vector<std::string>& typed, TNameSpelling spelling);
    bool Empty() const { return empty_; }
    bool Matches(const TArchiveName& name) const;

private:
    std::vector<std::string> patterns_;
    bool empty_ = true;
};

} // namespace vellocar
