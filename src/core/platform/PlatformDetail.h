#pragma once
// What each system's platform file gives PlatformCommon.cpp, so that the questions both
// systems answer alike (is this the same file?) are answered in one place.

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vellocar::platform::detail {

using platform::FileId;

// The identity of what path names (a link counts as what it points to, "" is the working
// folder); none when nothing does.
std::optional<FileId> IdentityOf(const std::string& path);

// The identity of a folder, however its path is spelled.
std::optional<FileId> FolderIdentity(const std::string& folder);

// The message of EUntrustedFile for what stands at path, one of the program's own names.
std::string UntrustedNameMessage(const std::string& path, const std::string& what);

// Whether two existing files of different identities are certainly two: not where a file system
// numbers each spelling of one file apart (some FUSE file systems).
bool IdentitiesAreFinal();

// Whether two names (no folder) could name one file in some folder: a cheap test that spares
// the system calls of the rest.
bool MayNameOneFile(const std::string& nameA, const std::string& nameB);

// Whether the last parts of a and b, which lie in folder, name one entry there under its name
// rules (Windows: also when one is the short 8.3 alias of the other).
bool SameEntryIn(const std::string& folder, const std::string& a, const std::string& b);

#ifndef _WIN32
// The acts on one name in the folder at (a held folder's descriptor, or AT_FDCWD for a path), one
// version for File, RenameFile and LookAt and for HeldFolder; path names the file in messages.
// Each returns the descriptor opened and raises as the function of the same purpose does.
int OpenOwnAt(int at, const char* name, const std::string& path, std::uint64_t& size);
int CreateNewAt(int at, const char* name, const std::string& path);
int CreateAt(int at, const char* name, const std::string& path);
void RenameAt(int at, const char* from, const char* to, bool replace);
std::optional<EntryFacts> LookAtIn(int at, const char* name);
#endif

} // namespace vellocar::platform::detail
