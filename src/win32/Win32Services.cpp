// The system's dialogs, message boxes and shell "open" for the Windows program, and the files
// handed to it from outside (a drop, the command line).

#include "Win32Services.h"

#include "base/Errors.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

namespace vellocar::win32 {

using ui::FileDialogSpec;
using ui::MessageAnswer;
using ui::MessageKind;

// ---- File dialogs ----------------------------------------------------------------------------

std::vector<char> DialogFilter(const std::string& filter) {
    std::vector<char> out;
    out.reserve(filter.size() + 2);
    for (char c : filter) out.push_back(c == '|' ? '\0' : c);
    if (!filter.empty()) out.push_back('\0');
    out.push_back('\0');
    if (filter.empty()) out.push_back('\0');
    return out;
}

DWORD DialogFlags(const FileDialogSpec& dialog) {
    DWORD flags = OFN_EXPLORER;
    if (dialog.HideReadOnly) flags |= OFN_HIDEREADONLY;
    if (dialog.NoChangeDir) flags |= OFN_NOCHANGEDIR;
    if (dialog.ShowHelp) flags |= OFN_SHOWHELP;
    if (dialog.PathMustExist) flags |= OFN_PATHMUSTEXIST;
    if (dialog.NoNetworkButton) flags |= OFN_NONETWORKBUTTON;
    if (dialog.EnableSizing) flags |= OFN_ENABLESIZING;
    if (dialog.OverwritePrompt) flags |= OFN_OVERWRITEPROMPT;
    return flags;
}

std::optional<std::string> RunFileDialog(HWND owner, const FileDialogSpec& dialog) {
    // Longer than any path the ...A file functions accept, so that the dialog never refuses a
    // name for the buffer's sake.
    std::vector<char> file(4096, '\0');
    std::copy_n(dialog.FileName.begin(), std::min(dialog.FileName.size(), file.size() - 1), file.begin());
    const std::vector<char> filter = DialogFilter(dialog.Filter);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = dialog.Filter.empty() ? nullptr : filter.data();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dialog.InitialDir.empty() ? nullptr : dialog.InitialDir.c_str();
    ofn.lpstrTitle = dialog.Title.empty() ? nullptr : dialog.Title.c_str();
    ofn.lpstrDefExt = dialog.DefaultExt.empty() ? nullptr : dialog.DefaultExt.c_str();
    ofn.Flags = DialogFlags(dialog);

    ModalScope modal(owner);
    const BOOL chosen =
        dialog.DialogMode == FileDialogSpec::Mode::Save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!chosen) return std::nullopt;
    return std::string(file.data());
}

// ---- Browse for folder -----------------------------------------------------------------------

namespace {

// Switches the system's critical-error boxes off ("no disk in drive") for its lifetime.
class ErrorModeScope {
public:
    ErrorModeScope() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~ErrorModeScope() { SetErrorMode(previous_); }
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;

private:
    UINT previous_;
};

// Memory from the shell's allocator, freed through it on every way out.
class ShellMemory {
public:
    ShellMemory(IMalloc* allocator, void* block) : allocator_(allocator), block_(block) {}
    ~ShellMemory() {
        if (block_) allocator_->Free(block_);
    }
    ShellMemory(const ShellMemory&) = delete;
    ShellMemory& operator=(const ShellMemory&) = delete;
    void* Get() const { return block_; }

private:
    IMalloc* allocator_;
    void* block_;
};

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

} // namespace

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& prompt, const std::string& initialFolder) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return std::nullopt;
    struct Release {
        IMalloc* p;
        ~Release() { p->Release(); }
    } release{allocator};

    ShellMemory buffer(allocator, allocator->Alloc(MAX_PATH));
    if (!buffer.Get()) return std::nullopt;
    char* path = static_cast<char*>(buffer.Get());
    path[0] = '\0';

    const DWORD attributes =
        initialFolder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(initialFolder.c_str());
    const bool preselect = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);

    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr; // the desktop: the whole shell namespace
    info.pszDisplayName = path;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (preselect) {
        info.lpfn = &BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
    }

    // Declared in this order so that the error mode is restored before the windows come back.
    ModalScope modal(owner);
    ErrorModeScope errorMode;
    ShellMemory chosen(allocator, SHBrowseForFolderA(&info));
    if (!chosen.Get()) return std::nullopt;
    if (!SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(chosen.Get()), path)) return std::nullopt;
    path[MAX_PATH - 1] = '\0';
    return std::string(path);
}

// ---- Message boxes ---------------------------------------------------------------------------

MessageAnswer ShowMessage(HWND owner, const std::string& text, const std::string& title, MessageKind kind) {
    UINT type = MB_OK;
    switch (kind) {
        case MessageKind::Ok:
            type = MB_OK;
            break;
        case MessageKind::OkError:
            type = MB_OK | MB_ICONERROR;
            break;
        case MessageKind::OkWarning:
            type = MB_OK | MB_ICONWARNING;
            break;
        case MessageKind::YesNo:
            type = MB_YESNO | MB_DEFBUTTON1;
            break;
    }
    ModalScope modal(owner);
    const int answer = MessageBoxA(owner, text.c_str(), title.c_str(), type | MB_APPLMODAL);
    if (kind != MessageKind::YesNo) return MessageAnswer::Ok;
    return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

// ---- Files from outside the window --------------------------------------------------------------

std::optional<std::string> FirstDroppedFile(HDROP drop) {
    if (!drop || DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::nullopt;
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::string path(static_cast<std::size_t>(length) + 1, '\0');
    const UINT copied = DragQueryFileA(drop, 0, path.data(), length + 1);
    path.resize(std::min<std::size_t>(copied, length));
    if (path.empty()) return std::nullopt;
    return path;
}

std::optional<std::string> KeyFileArgument(int argc, char** argv) {
    if (argc < 2 || !argv || !argv[1] || !*argv[1]) return std::nullopt;
    const std::string given = argv[1];
    // Full, as the Open dialog gives it: a relative name would be read against whatever the
    // current folder is later, when the BIFs beside the KEY are looked for.
    const DWORD needed = GetFullPathNameA(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return given;
    std::string full(needed, '\0');
    const DWORD written = GetFullPathNameA(given.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return given;
    full.resize(written);
    return full;
}

// ---- Shell -----------------------------------------------------------------------------------

void ShellOpen(HWND owner, const std::string& target) {
    ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, SW_SHOW);
}

// ---- Modality --------------------------------------------------------------------------------

ModalScope::ModalScope(HWND owner) : owner_(owner) {
    EnumThreadWindows(GetCurrentThreadId(), &ModalScope::Collect, reinterpret_cast<LPARAM>(this));
    for (HWND hwnd : disabled_) EnableWindow(hwnd, FALSE);
}

ModalScope::~ModalScope() {
    for (HWND hwnd : disabled_)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
}

BOOL CALLBACK ModalScope::Collect(HWND hwnd, LPARAM self) {
    auto* scope = reinterpret_cast<ModalScope*>(self);
    if (hwnd != scope->owner_ && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) scope->disabled_.push_back(hwnd);
    return TRUE;
}

} // namespace vellocar::win32
