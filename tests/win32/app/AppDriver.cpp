#include "AppDriver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <thread>

namespace vellocar::test::win32 {

using vellocar::win32::ControlWindowId;
using vellocar::win32::kMainWindowClass;

namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageTextId = 0xFFFF; // the text of a message box
constexpr int kFileNameComboId = 0x47C; // the file-name field of an open/save dialog

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

struct Search {
    DWORD Pid;
    const std::function<bool(HWND)>* Matches;
    HWND Found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->Pid && IsWindowVisible(hwnd) && (*search->Matches)(hwnd)) {
        search->Found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(DWORD pid, const std::function<bool(HWND)>& matches) {
    Search search{pid, &matches, nullptr};
    EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// Memory in the program's process, for messages whose pointers the system does not carry
// across processes (the browse dialog's and the tree's own messages).
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, std::size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* At(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        return WriteProcessMemory(process_, At(offset), data, size, nullptr) != FALSE;
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        return ReadProcessMemory(process_, At(offset), data, size, nullptr) != FALSE;
    }
    explicit operator bool() const { return address_ != nullptr; }

private:
    HANDLE process_;
    void* address_;
};

// The text of the tree's caret item, read through memory in the program's process.
std::string CaretItemText(HANDLE process, HWND tree) {
    const auto item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return {};
    constexpr std::size_t kTextOffset = 512;
    constexpr int kTextSize = MAX_PATH;
    RemoteBuffer buffer(process, kTextOffset + kTextSize);
    if (!buffer) return {};
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = buffer.At(kTextOffset);
    request.cchTextMax = kTextSize;
    const char nothing = '\0';
    if (!buffer.Write(0, &request, sizeof request) || !buffer.Write(kTextOffset, &nothing, 1)) return {};
    if (!Send(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.At(0)))) return {};
    char text[kTextSize] = {};
    if (!buffer.Read(kTextOffset, text, sizeof text - 1)) return {};
    return text;
}

std::string LastPart(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return done();
        std::this_thread::sleep_for(20ms);
    }
}

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string TextOf(HWND hwnd) {
    if (!hwnd) return {};
    const auto length = Send(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto got = Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::vector<std::string> ListLines(HWND list) {
    // Wine carries LB_GETTEXT across processes in its wide form only, so the lines are read
    // wide and turned back into the program's single-byte text.
    std::vector<std::string> lines;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) return lines;
    for (DWORD_PTR i = 0; i < count && i < 100000; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length);
        if (static_cast<LRESULT>(length) < 0) length = 0;
        std::wstring wide(length + 1, L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &got);
        wide.resize(static_cast<LRESULT>(got) > 0 ? std::min<std::size_t>(got, length) : 0);
        std::string text(wide.size() * 2 + 1, '\0');
        const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                          static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(static_cast<std::size_t>(std::max(n, 0)));
        lines.push_back(text);
    }
    return lines;
}

bool IsMessageBox(HWND dialog) { return ClassOf(dialog) == "#32770" && GetDlgItem(dialog, kMessageTextId) != nullptr; }

bool IsFileDialog(HWND dialog) {
    return ClassOf(dialog) == "#32770" && GetDlgItem(dialog, kFileNameComboId) != nullptr;
}

bool IsFolderDialog(HWND dialog) {
    return ClassOf(dialog) == "#32770" && FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr) != nullptr;
}

// ---- App -------------------------------------------------------------------------------------

App::App(const std::string& exePath, const std::string& arguments) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_))
        return;
    WaitFor([this] {
        main_ = FindWindowOf(process_.dwProcessId, [](HWND hwnd) { return ClassOf(hwnd) == kMainWindowClass; });
        return main_ != nullptr;
    });
    // Ready once its first paint is done and it waits for input.
    WaitForInputIdle(process_.hProcess, 10000);
}

App::~App() {
    if (!process_.hProcess) return;
    if (!closed_ && !Close()) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::optional<DWORD> App::Close() {
    closed_ = true;
    if (main_ && IsWindow(main_)) PostMessageA(main_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

HWND App::Control(ui::ControlId id) const { return GetDlgItem(main_, ControlWindowId(id)); }

bool App::Visible(ui::ControlId id) const { return (GetWindowLongPtrA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }

void App::Click(ui::ControlId id) {
    // Wine clicks even a disabled button; a user waits until the command before has switched it on.
    if (!WaitFor([&] { return Enabled(id); })) return;
    PostMessageA(Control(id), BM_CLICK, 0, 0);
}

void App::ChooseLine(ui::ControlId list, int index) {
    HWND hwnd = Control(list);
    Send(hwnd, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(ControlWindowId(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(hwnd));
}

void App::SelectLines(ui::ControlId list, const std::vector<int>& indexes) {
    HWND hwnd = Control(list);
    Send(hwnd, LB_SETSEL, FALSE, -1);
    for (int index : indexes) Send(hwnd, LB_SETSEL, TRUE, index);
    // LB_SETSEL tells nobody; a click would.
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(ControlWindowId(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(hwnd));
}

bool App::WaitForCaption(ui::ControlId id, const std::string& text) {
    return WaitFor([&] { return Caption(id) == text; });
}

std::optional<Dialog> App::WaitForDialog(const std::function<bool(HWND)>& matches,
                                         std::chrono::milliseconds timeout) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = FindWindowOf(process_.dwProcessId, matches);
            return found != nullptr;
        },
        timeout);
    if (!found) return std::nullopt;
    char title[512] = {};
    GetWindowTextA(found, title, sizeof title);
    return Dialog{found, title};
}

bool App::AnswerFileDialog(const std::string& path, std::string* why) {
    auto dialog = WaitForDialog(IsFileDialog);
    if (!dialog) {
        if (why) *why = "no file dialog appeared";
        return false;
    }
    HWND combo = GetDlgItem(dialog->Window, kFileNameComboId);
    HWND edit = nullptr;
    for (HWND child : Descendants(combo))
        if (ClassOf(child) == "Edit") edit = child;
    if (!edit && ClassOf(combo) == "Edit") edit = combo;
    if (!edit) {
        if (why) *why = "the file dialog has no file-name field";
        return false;
    }
    Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(GetDlgItem(dialog->Window, IDOK), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return !IsWindow(dialog->Window) || !IsWindowVisible(dialog->Window); })) {
        if (why) *why = "the file dialog did not accept " + path;
        return false;
    }
    return true;
}

bool App::AnswerFolderDialog(const std::string& folder, const std::string& expectedPrompt, std::string* why,
                             std::chrono::steady_clock::time_point* okPressedAt) {
    auto dialog = WaitForDialog(IsFolderDialog);
    if (!dialog) {
        if (why) *why = "no browse-for-folder dialog appeared";
        return false;
    }
    HWND tree = FindWindowExA(dialog->Window, nullptr, WC_TREEVIEWA, nullptr);
    bool promptShown = false;
    for (HWND child : Descendants(dialog->Window))
        if (ClassOf(child) == "Static" && TextOf(child) == expectedPrompt) promptShown = true;
    if (!promptShown) {
        if (why) *why = "the folder dialog does not show the prompt \"" + expectedPrompt + "\"";
        PostMessageA(GetDlgItem(dialog->Window, IDCANCEL), BM_CLICK, 0, 0);
        return false;
    }

    RemoteBuffer remotePath(process_.hProcess, folder.size() + 1);
    if (!remotePath || !remotePath.Write(0, folder.c_str(), folder.size() + 1)) {
        if (why) *why = "cannot copy the path into the program's memory";
        return false;
    }
    // The dialog may still be filling its tree, and the program may select again after us:
    // select, give the tree time to get there (expanding a folder can take seconds under
    // load), and select again only when it did not.
    const std::string wanted = LastPart(folder);
    bool selected = false;
    const auto deadline = std::chrono::steady_clock::now() + 2 * kPatience;
    while (!selected && std::chrono::steady_clock::now() < deadline) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(dialog->Window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remotePath.At(0)),
                            SMTO_NORMAL, 30000, &ignored);
        selected = WaitFor([&] { return CaretItemText(process_.hProcess, tree) == wanted; }, 3s);
    }
    if (!selected) {
        if (why)
            *why = "the folder tree would not select " + folder + " (caret at \"" +
                CaretItemText(process_.hProcess, tree) + "\", " + std::to_string(Send(tree, TVM_GETCOUNT, 0, 0)) +
                " items in the tree, dialog " + (IsWindowVisible(dialog->Window) ? "visible" : "hidden") + ")";
        PostMessageA(GetDlgItem(dialog->Window, IDCANCEL), BM_CLICK, 0, 0);
        return false;
    }
    if (okPressedAt) *okPressedAt = std::chrono::steady_clock::now();
    PostMessageA(GetDlgItem(dialog->Window, IDOK), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return !IsWindow(dialog->Window); })) {
        if (why) *why = "the folder dialog did not close";
        return false;
    }
    return true;
}

std::optional<Dialog> App::AnswerMessageBox(int button, std::string* text) {
    auto box = WaitForDialog(IsMessageBox);
    if (!box) return std::nullopt;
    if (text) *text = TextOf(GetDlgItem(box->Window, kMessageTextId));
    HWND target = GetDlgItem(box->Window, button);
    if (!target) return std::nullopt;
    PostMessageA(target, BM_CLICK, 0, 0);
    if (!WaitFor([&] { return !IsWindow(box->Window); })) return std::nullopt;
    return box;
}

bool App::MessageBoxShowing(std::string* text) const {
    HWND box = FindWindowOf(process_.dwProcessId, IsMessageBox);
    if (box && text) *text = TextOf(GetDlgItem(box, kMessageTextId));
    return box != nullptr;
}

} // namespace vellocar::test::win32
