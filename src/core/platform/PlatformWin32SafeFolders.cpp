// The folders below an export's folder on Windows: made, then checked to be no reparse point
// (a symbolic link or a junction), which Windows would follow.

#include "SafeFolders.h"

#include "Errors.h"
#include "PlatformWin32Detail.h"
#include "Text.h"

namespace vellocar::platform {

std::optional<std::string> MakeFolderBelow(const std::string& parent, const std::string& name) {
    const std::string path =
        parent.empty() || IsPathSeparator(parent.back()) ? parent + name : parent + kPathSeparator + name;
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) throw EFCreateError(win32::CreateErrorText(path, code));
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) throw EFCreateError(win32::CreateErrorText(path, GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Quoted(path) + " is a link or a junction (a reparse point), not a folder of its own";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Quoted(path) + " is a file, not a folder";
    return std::nullopt;
}

} // namespace vellocar::platform
