#include "Rotation.h"

#include "Errors.h"
#include "Platform.h"

#include <cstddef>

namespace vellocar {

void TFileMover::Rename(const std::string& from, const std::string& to) { platform::RenameFile(from, to, false); }

bool TFileMover::Exists(const std::string& path) { return platform::PathExists(path); }

bool TFileMover::Remove(const std::string& path) { return platform::RemoveFile(path); }

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What has been done for one file, so that it can be undone.
struct Progress {
    const TReplacement* File = nullptr;
    std::string Backup;
    std::string OldBackup; // where the earlier backup waits; "" when there was none
    bool OldBackupAside = false; // the earlier backup is at OldBackup
    bool MovedAside = false; // the current file is at Backup
    bool Placed = false; // the new file is at Path
};

// Takes back, in reverse order, what was done for one file. Returns sentences on what could
// not be taken back and where each file then is; empty when everything is at its earlier name.
std::string Undo(Progress& step, TFileMover& mover) {
    const TReplacement& file = *step.File;
    auto tryRename = [&mover](const std::string& from, const std::string& to) {
        try {
            mover.Rename(from, to);
            return true;
        } catch (const EVellocarError&) {
            return false;
        }
    };
    if (step.Placed && !tryRename(file.Path, file.Temporary)) {
        std::string trouble = " The new file is at " + Quoted(file.Path) + " and could not be moved away.";
        if (step.MovedAside) trouble += " The previous one is at " + Quoted(step.Backup) + ".";
        if (step.OldBackupAside) trouble += " The earlier backup is at " + Quoted(step.OldBackup) + ".";
        return trouble;
    }
    if (step.MovedAside && !tryRename(step.Backup, file.Path)) {
        std::string trouble = " The previous file is at " + Quoted(step.Backup) + " and could not be moved back to " +
            Quoted(file.Path) + ".";
        if (step.OldBackupAside) trouble += " The earlier backup is at " + Quoted(step.OldBackup) + ".";
        return trouble;
    }
    if (step.OldBackupAside && !tryRename(step.OldBackup, step.Backup)) {
        return " The earlier backup is at " + Quoted(step.OldBackup) + " and could not be moved back to " +
            Quoted(step.Backup) + ".";
    }
    return "";
}

} // namespace

void ReplaceKeepingBackups(const std::vector<TReplacement>& files, TFileMover& mover) {
    std::vector<Progress> steps(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        steps[i].File = &files[i];
        steps[i].Backup = files[i].Path + kBackupSuffix;
    }
    try {
        // First every earlier backup steps aside, so that no move below replaces anything.
        for (Progress& step : steps) {
            if (!mover.Exists(step.Backup)) continue;
            step.OldBackup = platform::TemporaryNameBeside(step.Backup);
            mover.Rename(step.Backup, step.OldBackup);
            step.OldBackupAside = true;
        }
        for (Progress& step : steps) {
            if (mover.Exists(step.File->Path)) {
                mover.Rename(step.File->Path, step.Backup);
                step.MovedAside = true;
            }
            mover.Rename(step.File->Temporary, step.File->Path);
            step.Placed = true;
        }
    } catch (const EInOutError& e) {
        std::string trouble;
        for (std::size_t i = steps.size(); i-- > 0;) trouble += Undo(steps[i], mover);
        throw EInOutError(
            WithContext(e.what(),
                        trouble.empty() ? ". The new files could not be moved into place; the previous files and "
                                          "their backups are back at their names."
                                        : ". The new files could not be moved into place, and not everything could "
                                          "be put back." +
                                trouble),
            e.ErrorCode);
    }
    // Everything is in place: the earlier backups are no longer needed. One that cannot be
    // deleted stays under its temporary name rather than fail a build that has succeeded.
    for (const Progress& step : steps) {
        if (step.OldBackupAside) mover.Remove(step.OldBackup);
    }
}

void ReplaceKeepingBackups(const std::vector<TReplacement>& files) {
    TFileMover mover;
    ReplaceKeepingBackups(files, mover);
}

} // namespace vellocar
