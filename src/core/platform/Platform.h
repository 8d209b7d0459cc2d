#pragma once
// The file system as the archive code needs it. This header is the only place that knows
// there is more than one operating system: PlatformPosix.cpp and PlatformWin32.cpp implement
// it. Paths are single-byte strings; on Windows they are passed to the ...A functions as is.

#include "base/Dates.h"
#include "base/Paths.h"
#include "names/ArchiveNames.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellocar::platform {

// How this system spells paths, and its file names against an archive's Windows-1252.
#ifdef _WIN32
inline constexpr TPathSystem kHostPathSystem = TPathSystem::Windows;
inline constexpr TNameSpelling kHostSpelling = TNameSpelling::CodePage;
#else
inline constexpr TPathSystem kHostPathSystem = TPathSystem::Posix;
inline constexpr TNameSpelling kHostSpelling = TNameSpelling::Utf8;
#endif

inline constexpr char kPathSeparator = SeparatorOf(kHostPathSystem);

// Whether c separates the parts of a path here: "\\" and "/" on Windows, "/" elsewhere.
inline constexpr bool IsPathSeparator(char c) { return IsSeparatorOf(kHostPathSystem, c); }

// folder and name with this system's separator between them (JoinPath).
using vellocar::JoinPath;
inline std::string JoinPath(std::string folder, std::string_view name) {
    return JoinPath(std::move(folder), name, kHostPathSystem);
}

// A name from an archive as this system shows it (ShownName), and the file name this system
// writes for it (FileNameOf).
using vellocar::FileNameOf;
using vellocar::ShownName;
inline std::string ShownName(const TArchiveName& name) { return ShownName(name, kHostSpelling); }
inline std::string FileNameOf(const TArchiveName& name) { return FileNameOf(name, kHostSpelling); }

// The system's own text for an error code (errno, or GetLastError() on Windows).
std::string SystemErrorText(int code);

// The messages of EFOpenError and EFCreateError: "Cannot open file "<path>". <reason>" and
// "Cannot create file "<path>". <reason>".
std::string CannotOpenMessage(const std::string& path, const std::string& reason);
std::string CannotCreateMessage(const std::string& path, const std::string& reason);

// The message of a read or a write of path that failed: "Stream write error: no space left on
// device, writing "<path>"" (the system's text for code, in lower case and without a final
// point), or with "the system gave no reason" when code is 0 (a write that took no bytes).
std::string StreamErrorMessage(bool writing, const std::string& path, int code);

// An open file, closed by its destructor on every way out. On Windows it is opened with no
// sharing, so a file another program holds open cannot be opened or replaced.
class File {
public:
    // Raises EFOpenError "Cannot open file "<path>". <system text>".
    static File OpenRead(const std::string& path);

    // Opens one of this program's own files for reading (a journal): never through a link, and
    // only an ordinary file. Raises EFOpenError, or EUntrustedFile naming what stands there.
    static File OpenOwn(const std::string& path);

    // Creates path afresh for writing. Whatever stands at that name (a file, or a link, whose
    // target stays untouched) is replaced, never written through. Raises EFCreateError
    // "Cannot create file "<path>". <system text>".
    static File Create(const std::string& path);

    // Creates path as a new file of this program's own (a temporary, a journal), never opening
    // or removing what stands at the name: a name that is taken raises EUntrustedFile, naming it
    // and what stands there; any other failure EFCreateError.
    static File CreateNew(const std::string& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // Reads up to size bytes; returns how many were read (0 at the end of the file).
    std::size_t ReadSome(void* buffer, std::size_t size);
    // Reads exactly size bytes or raises EReadError "Stream read error".
    void ReadExact(void* buffer, std::size_t size);
    // Writes all size bytes or raises EWriteError "Stream write error".
    void WriteAll(const void* buffer, std::size_t size);
    // Copies exactly size bytes from source's offset sourceOffset to this file's current
    // position, in bounded chunks (or by the kernel without a user-space copy where it can).
    // Raises EReadError when source holds fewer bytes, EWriteError when a write comes short.
    void CopyFrom(File& source, std::uint64_t sourceOffset, std::uint64_t size);
    void Seek(std::uint64_t offset);
    // The file's size; for a file opened for reading, as it was when it was opened (which is
    // when every caller asks, and saves the system a second look per file).
    std::uint64_t Size() const;
    // Flushes to the disk (fsync / FlushFileBuffers); raises EWriteError on failure.
    void Flush();
    // Closes now; raises EWriteError when the close reports a failed write.
    void Close();

    const std::string& Path() const { return path_; }

private:
    friend class Folder;
    friend class HeldFolder;
    File(std::intptr_t handle, std::string path, std::optional<std::uint64_t> sizeAtOpen = std::nullopt);
    std::intptr_t handle_;
    std::string path_;
    std::optional<std::uint64_t> sizeAtOpen_;
};

// Reads the leading bytes of file in rounds: each round asks needed how many bytes it wants,
// judged from those at hand, until it wants no more than it has. Raises EReadError when the
// file holds fewer.
std::vector<std::uint8_t> ReadLeadingBytes(File& file,
                                           const std::function<std::uint64_t(std::span<const std::uint8_t>)>& needed);

// The leading bytes of the file at path that a format's reader asks for, round by round
// (needed is given the bytes at hand and the file's size; see ReadLeadingBytes), and the file's
// size. A file that changes while it is read raises EReadError "Cannot open <kind> "<path>": the
// file could not be read in full (Stream read error)".
std::vector<std::uint8_t> ReadFormatBytes(
    const std::string& path, const std::string& kind,
    const std::function<std::uint64_t(std::span<const std::uint8_t>, std::uint64_t)>& needed, std::uint64_t& fileSize);

// Creates path afresh and writes bytes to it, flushed to the disk and closed; a file that could
// not be written whole is removed before the error goes on (a part of a KEY or a journal is
// worse than none: it would be read as garbage). With fresh set, path is made as CreateNew does.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes, bool fresh = false);

// What a directory entry says of a path.
struct PathInfo {
    bool IsRegular = false; // an ordinary file (a link counts as what it points to)
    bool IsDirectory = false;
    std::uint64_t Size = 0; // of a regular file
};

// Whether a directory entry of exactly this path exists, whatever its kind.
bool PathExists(const std::string& path);
std::optional<PathInfo> Stat(const std::string& path);
// Whether path names an ordinary file, or a folder (Stat: a link counts as what it points to).
inline bool IsRegularFile(const std::string& path) {
    const auto info = Stat(path);
    return info && info->IsRegular;
}
inline bool IsFolder(const std::string& path) {
    const auto info = Stat(path);
    return info && info->IsDirectory;
}

// A folder whose files are looked at and opened by name, the folder itself found once rather
// than again for every file (a build's source folder of thousands). Each call does what the
// function of the same name does with path + name, and says so in its messages; a folder that
// cannot be held open (it is gone) leaves every call to that function.
class Folder {
public:
    // path ends with its separator, as path + name names a file of it.
    explicit Folder(std::string path);
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) = delete;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    const std::string& Path() const { return path_; }
    std::optional<PathInfo> Stat(std::string_view name) const;
    File OpenRead(std::string_view name) const;

private:
    std::intptr_t handle_;
    std::string path_;
};

// A file's identity: device and inode, or volume serial and file index.
struct FileId {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    auto operator<=>(const FileId&) const = default;
};

// What the directory entry at a path is, never looking through a link.
struct EntryFacts {
    enum class Kind { Regular, Link, Folder, Other };
    Kind What = Kind::Other;
    std::uint64_t Size = 0; // of a regular file
    FileId Id; // of the entry itself
    std::uint64_t Links = 0; // how many names the entry has: more than one for a hard-linked file
};
std::optional<EntryFacts> LookAt(const std::string& path);

// Whether the file system of folder keeps a file's identity (FileId) for as long as the file
// lives, remounts included: ext4, btrfs, xfs, tmpfs, NTFS, ReFS. Elsewhere (FAT and exFAT, FUSE,
// network shares, anything not known) a file may come back under another identity, and is known
// again by its contents.
bool FolderKeepsIdentities(const std::string& folder);

// What stands at a path, for a message: "a symbolic link", "a folder", "a FIFO, device or
// socket", "a file"; "nothing".
std::string WhatStandsAt(const std::string& path);

// Removes a file that a dead run of this program left at one of its own names (a journal's
// replacement, a temporary): an ordinary file goes, nothing there is fine, and anything else
// (a link, a folder, a FIFO) raises EUntrustedFile naming it, untouched.
void RemoveLeftover(const std::string& path);

// Deletes a file; false (and nothing raised) when it could not.
bool RemoveFile(const std::string& path) noexcept;

// Renames from to to, replacing to when replace is set. Raises EInOutError whose message names
// the system error: "File not found", "Invalid filename", "Too many open files", "File access
// denied", "I/O error <code> (<the system's text>)" otherwise; its ErrorCode is the system's
// code (on Windows 2, 3, 4 and 5 for the four named ones; errno elsewhere). On Windows the
// rename is written through to the disk before it returns; elsewhere see SyncFolder.
void RenameFile(const std::string& from, const std::string& to, bool replace = false);

// Creates a folder and its parents; raises EFCreateError on failure.
void CreateDirectories(const std::string& path);

// How a folder compares the names of its files: byte for byte, or as a Windows volume does
// (letter case and trailing dots and blanks ignored).
enum class NameRules { Exact, Windows };
// This system's usual rules.
inline constexpr NameRules kHostNameRules = kPathSeparator == '\\' ? NameRules::Windows : NameRules::Exact;

// The rules of the folder (which must exist). Windows: always Windows. Elsewhere learned from
// the folder itself, since a FAT or exFAT stick, an NTFS partition mounted to ignore case or an
// ext4 folder with case folding fold names on Linux too: the file system's type and the
// folder's case-folding flag first, and where they cannot tell (FUSE, network shares), whether
// a file made there under one spelling answers to another. A folder where nothing can be
// created is taken as exact (nothing will be written there).
NameRules FolderNameRules(const std::string& folder);

// Whether two paths name the same file, however each is spelled ("./x", "d/../x", a linked
// folder, a hard link, letter case and trailing dots in a folder that ignores them, short 8.3
// names on Windows). Two existing paths with the same file identity (device and inode; volume
// serial and file index) are the same. Otherwise they are the same when they lie in one folder
// and their last parts are equal under that folder's rules (FolderNameRules), as a file about
// to be created under both names would be; this also holds for two existing spellings to which
// a file system gives different identities (some FUSE file systems number each spelling).
bool SameFile(const std::string& a, const std::string& b);

// The form in which a folder of these rules compares one file name (no folder): the name itself
// for exact rules; for Windows rules with trailing dots and spaces dropped and every letter in
// capitals (on Windows as the system's own table gives them for the ANSI code page, elsewhere
// WindowsNameKey).
std::string NameKey(const std::string& name, NameRules rules);
// The same under this system's usual rules: Windows on Windows, exact elsewhere.
std::string NameKey(const std::string& name);

// The absolute form of a path, to be written down and read back by another run from another
// working folder: links in its folder resolved, and on a file system that folds case each folder
// spelled as it is stored. The folder must exist; raises EFOpenError otherwise.
std::string AbsolutePath(const std::string& path);

// A file beside target that belongs to it, for the bookkeeping of a build: "lock" or "journal",
// named by SideFileName in target's folder as AbsolutePath spells it, so that two runs that
// spell one KEY differently meet at one file. Absolute where the folder exists.
std::string SideFileFor(const std::string& target, const std::string& kind);

// Whether path names a stream inside a file rather than a file: a colon in its last part (on
// Windows anywhere after the drive: "x.bif:hidden", "x.bif::$DATA").
bool NamesStream(const std::string& path);

// Flushes a folder's entries to the disk after files in it were created, renamed or deleted, so
// that a power cut cannot bring back an older set of names; best effort, as a folder on a file
// system that cannot be synced is no less usable. A no-op on Windows, whose renames are made
// write-through.
void SyncFolder(const std::string& folder);

// An exclusive lock on a lock file, held until this object goes, or its process: the system
// releases it when the process dies, so a killed build never leaves a stale lock. The lock file
// holds nothing and is removed when the lock is released; one that a killed holder left is
// an empty file that the next holder takes over, and removes in turn.
class FileLock {
public:
    // The lock, or nothing when another holder has it. Raises EFCreateError when the lock file
    // cannot be created (a read-only folder), EUntrustedFile when what stands at its name is no
    // ordinary file (a link, a folder, a FIFO: never opened through), EInOutError when the file
    // system cannot lock.
    static std::optional<FileLock> TryAcquire(const std::string& path);

    // Whether the lock file stood there before, held by no one: a holder died with it. (Never on
    // Windows, where the system deletes the file with its holder.)
    bool WasLeftBehind() const { return leftBehind_; }
    const std::string& Path() const { return path_; }

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    FileLock(std::intptr_t handle, std::string path, bool leftBehind = false);
    void Release() noexcept;
    std::intptr_t handle_;
    std::string path_;
    bool leftBehind_;
};

// The paths of the entries of folder (of any kind) whose names wanted accepts: for finding the
// temporaries that a build which died left beside its target. Empty when it cannot be read.
std::vector<std::string> EntriesIn(const std::string& folder, const std::function<bool(std::string_view)>& wanted);

// The names (without folder) of the plain files of folder: regular files only; folders,
// hidden files (Windows attribute, or a name starting with "." elsewhere), system files and
// anything else (FIFOs, devices) are skipped. Sorted in the order NTFS lists a folder
// (FolderOrderLess) on every system and file system, so that a build is reproducible: of the
// names as an archive holds them (ArchiveNameOf), so that both systems give one order. On
// Windows a character outside the code page comes out as "?" (never as a look-alike).
// An unreadable or missing folder gives an empty list.
std::vector<std::string> ListPlainFiles(const std::string& folder);

// Whether folder can be listed now (it exists, is a folder, and this user may read it): what
// tells an empty listing of ListPlainFiles from one that failed.
bool CanListFolder(const std::string& folder);

// The path a KEY's stored BIF name stands for: keyFolder + separator + storedName. On Windows
// as is; elsewhere "\" is read as "/" and each part that does not exist under its exact name is
// matched without regard to case.
std::string ResolveStoredName(const std::string& keyFolder, const std::string& storedName);

// Everything before the last separator (a drive's root keeps its separator); "" if none.
std::string FolderPart(const std::string& path);
// The folder a path's last part lies in, as the system takes it: FolderPart, or "." for a bare
// name (the working folder).
std::string FolderOf(const std::string& path);
// Everything after the last separator or drive colon.
std::string FileNamePart(const std::string& path);

// A fresh name beside target for writing a file before it is moved into place.
std::string TemporaryNameBeside(const std::string& target);

// The local date.
LocalDate Today();

} // namespace vellocar::platform
