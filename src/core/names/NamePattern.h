#pragma once
// Shell-style patterns over resource names as the list shows them ("*.2da", "c_drag*",
// "[ab]?.nss"). ASCII letters match without regard to case, as the game looks names up.

#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// Whether name matches pattern: "*" stands for any run of characters (none included), "?" for
// one character, "[...]" for one character of the set ("[a-c]" a range, "[!x]" or "[^x]" any
// but those). A "[" that no "]" closes, and every other character, stands for itself. The
// work is linear in the name per "*", whatever the pattern: no pattern can make it explode.
bool MatchesPattern(std::string_view pattern, std::string_view name);

// Whether name matches any of patterns; true for every name when there are none.
bool MatchesAnyPattern(const std::vector<std::string>& patterns, std::string_view name);

} // namespace vellocar
