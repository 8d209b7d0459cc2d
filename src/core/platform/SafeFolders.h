#pragma once
// The folders an export makes or enters below the folder it was given. The chosen folder is the
// user's, links and all; anything below it must be a folder of its own, reached without a link,
// or a link planted there (by an archive unpacked into the folder, say) would carry the export's
// files anywhere the link points.

#include <optional>
#include <string>

namespace vellocar::platform {

// Makes the folder name (one part, no separator) in parent, which must exist, or enters it when
// it is there already. Nothing when it is then a real folder reached without a link (on POSIX
// opened through parent with O_NOFOLLOW; on Windows no reparse point: no symbolic link, no
// junction); otherwise the reason it is refused, and nothing has been written through it.
// Raises EFCreateError when it cannot be made (a read-only or missing parent).
std::optional<std::string> MakeFolderBelow(const std::string& parent, const std::string& name);

} // namespace vellocar::platform
