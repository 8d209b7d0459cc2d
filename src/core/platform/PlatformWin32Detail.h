#pragma once
// What the two Windows platform files share: handles as the platform layer holds them, the
// messages of a failed open or create, and the handle that asks a file who it is.

#include "platform/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace vellocar::platform::win32 {

inline HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
inline std::intptr_t FromHandle(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

inline std::string OpenErrorText(const std::string& path, DWORD code) {
    return CannotOpenMessage(path, SystemErrorText(static_cast<int>(code)));
}

inline std::string CreateErrorText(const std::string& path, DWORD code) {
    return CannotCreateMessage(path, SystemErrorText(static_cast<int>(code)));
}

// Opens a path for reading its identity or attributes only: no data access, so it neither
// conflicts with nor is refused by another handle that holds the file without sharing, and
// folders open as well as files.
inline HANDLE OpenForQuery(const std::string& path) {
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether the entry that h was opened on, by path, is a link: a reparse point, or (under Wine,
// which shows a Unix symbolic link as the file it points to, and deletes that file when the link
// is deleted) a file whose final name is not the name it was opened by.
bool OpenedThroughLink(HANDLE h, const std::string& path);

// Whether path names a link that the system shows as the file it points to (Wine's Unix links):
// such a name is never deleted, since deleting it would delete what it points to.
bool IsHiddenLink(const std::string& path);

inline std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

} // namespace vellocar::platform::win32
