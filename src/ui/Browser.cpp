// The resource browser's logic.

#include "Browser.h"

namespace vellocar::ui {

std::optional<std::string> BrowseArgument(const std::vector<std::string>&) { return std::nullopt; }

} // namespace vellocar::ui
