// The folders below an export's folder on Windows: made, then checked to be no reparse point
// (a symbolic link or a junction), which Windows would follow, and to be reached where their
// name says (Wine shows a Unix link as the folder it points to, reparse attribute and all gone).

#include "SafeFolders.h"

#include "Errors.h"
#include "PlatformWin32Detail.h"
#include "Text.h"

namespace vellocar::platform {

namespace {

// Where path really is: its handle's final name, or nothing when the system cannot say.
std::optional<std::string> FinalPath(const std::string& path) {
    const HANDLE h = win32::OpenForQuery(path);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    char final[4 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleA(h, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    if (length == 0 || length >= sizeof final) return std::nullopt;
    return std::string(final, length);
}

} // namespace

std::optional<std::string> MakeFolderBelow(const std::string& parent, const std::string& name) {
    const std::string path = JoinPath(parent, name);
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) throw EFCreateError(win32::CreateErrorText(path, code));
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) throw EFCreateError(win32::CreateErrorText(path, GetLastError()));
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Quoted(path) + " is a link or a junction (a reparse point), not a folder of its own";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Quoted(path) + " is a file, not a folder";
    const auto above = FinalPath(HereIfEmpty(parent));
    const auto here = FinalPath(path);
    if (above && here && NameKey(*here) != NameKey(JoinPath(*above, name)))
        return Quoted(path) + " is a link to " + QuotedPath(*here) + ", not a folder of its own";
    return std::nullopt;
}

} // namespace vellocar::platform
