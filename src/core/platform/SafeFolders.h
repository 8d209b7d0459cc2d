#pragma once
// Folders held open by their handle. An export checks the folder it writes into once, and
// thousands of files go there afterwards: were each made by its path, a folder swapped for a
// link in between (by an archive unpacked into the export's folder, by another program) would
// carry them anywhere the link points. Held open, the folder checked is the folder written.

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vellocar::platform {

// A folder held open: every act on a name in it goes through the handle, so a folder swapped
// for a link (or renamed) after it was opened gets nothing. On POSIX the acts are the *at()
// calls on the folder's descriptor. On Windows, which has no such calls for a program of the
// ...A functions, the folder is held without delete sharing (nobody can rename or replace it
// while it is held) and each act checks first that the folder's path still leads to the folder
// held (Wine lets a Unix program swap it all the same), then acts by the joined path.
class HeldFolder {
public:
    // Opens the folder at path, never through a link at its last part (on Windows no reparse
    // point, nor a Unix link that Wine shows as the folder it points to). Raises EFOpenError when
    // it is not there or not a folder, EUntrustedFile when a link stands there.
    static HeldFolder Open(const std::string& path);

    // Opens the folder the user chose (an export's target): the user's, links and all, so a link
    // at its name is followed. Raises EFOpenError when it is not there or not a folder.
    static HeldFolder OpenChosen(const std::string& path);

    // Makes the folder name (one part, no separator) in this one, or enters it when it is there
    // already, never through a link: the folder held open, or the reason it is refused (a link,
    // a junction, a file stands there), nothing having been written through it. Raises
    // EFCreateError when it cannot be made (a read-only folder).
    std::variant<HeldFolder, std::string> MakeBelow(std::string_view name) const;

    // The path as opened, without a separator at its end (a root keeps its own).
    const std::string& Path() const { return path_; }
    // The path of name in this folder, for messages and for what must be named by path.
    std::string PathOf(std::string_view name) const;
    // The folder's own identity.
    FileId Id() const { return id_; }

    // What the entry name is, never looking through a link (as platform::LookAt).
    std::optional<EntryFacts> LookAt(std::string_view name) const;
    // A new file of this program's own at name, as File::CreateNew: never opening or removing
    // what stands there (a taken name raises EUntrustedFile).
    File CreateNew(std::string_view name) const;
    // A file written afresh at name, as File::Create: whatever stands there (a file, or a link,
    // whose target stays untouched) is replaced, never written through. Where the system cannot
    // remove a link without harm to its target (Wine's Unix links), EFCreateError.
    File Create(std::string_view name) const;
    // Opens the ordinary file name for reading, never through a link (as File::OpenOwn).
    File OpenRead(std::string_view name) const;
    // Removes the file name (never a folder); false when it could not.
    bool Remove(std::string_view name) const;
    // Renames from to to within this folder; raises EInOutError as platform::RenameFile does.
    void Rename(std::string_view from, std::string_view to, bool replace = false) const;
    // Flushes the folder's entries to the disk, as platform::SyncFolder.
    void Sync() const;
    // Whether the folder's path still leads to the folder held (it was not moved, nor replaced).
    bool StillAtPath() const;

    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

private:
    HeldFolder(std::intptr_t handle, std::string path, FileId id);
    std::intptr_t handle_;
    std::string path_;
    FileId id_;
};

} // namespace vellocar::platform
