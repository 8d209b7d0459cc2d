#pragma once
// Shell-style patterns over resource names ("*.2da", "c_drag*", "[ab]?.nss"), matched on the
// names as an archive holds them: single bytes in Windows-1252, so that "?" stands for one
// letter ("é" too) and letters of either case match (FoldArchiveLetter), as the game looks
// names up.

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

// A pattern as this system's command line spells it, in the bytes of an archive's names: on
// Windows as it is (the system's code page, in which the names are shown too), elsewhere from
// UTF-8 into Windows-1252. Nothing when it holds a character that no archive name can hold.
std::optional<std::string> ArchivePattern(std::string_view typed);

// Patterns as typed (ArchivePattern), matched against names as an archive holds them. Without
// patterns every name matches; a pattern that no archive name can match matches none.
class TNamePatterns {
public:
    explicit TNamePatterns(const std::vector<std::string>& typed);
    bool Empty() const { return empty_; }
    bool Matches(std::string_view archiveName) const;

private:
    std::vector<std::string> patterns_;
    bool empty_ = true;
};

} // namespace vellocar
