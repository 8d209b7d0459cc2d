#pragma once
// Drives the real vellocar.exe from this (second) process as a user would: starts it, finds
// its window and controls, presses buttons, picks list lines and answers its dialogs. Every
// wait polls with a deadline; nothing sleeps for a fixed time.

#include "ControlIds.h"
#include "Layout.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::test::win32 {

using namespace std::chrono_literals;
inline constexpr std::chrono::milliseconds kPatience = 20s;

// Polls until done() holds or the deadline passes; returns done()'s last answer.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

// A Unix path (as CMake and the test folder give them) as this Wine process sees it: Z: is the
// Unix root. A path that is already a Windows path is returned as is.
std::string WindowsPath(const std::string& path);

// Text of a window of another process (WM_GETTEXT, which the system carries across).
std::string TextOf(HWND hwnd);
std::string ClassOf(HWND hwnd);
// The lines of a list box of another process.
std::vector<std::string> ListLines(HWND list);

// A dialog (#32770) that the program shows.
struct Dialog {
    HWND Window = nullptr;
    std::string Title;
};

class App {
public:
    // Starts the program, with the arguments (as they stand on a command line) when given, and
    // waits for its main window.
    explicit App(const std::string& exePath, const std::string& arguments = {});
    ~App(); // closes the window, or ends the process when it does not go
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    HWND Main() const { return main_; }
    HWND Control(ui::ControlId id) const;
    DWORD ProcessId() const { return process_.dwProcessId; }
    HANDLE Process() const { return process_.hProcess; }

    std::string Caption(ui::ControlId id) const { return TextOf(Control(id)); }
    bool Enabled(ui::ControlId id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool Visible(ui::ControlId id) const;

    // Presses an enabled button; fails the test when it is disabled.
    void Click(ui::ControlId id);
    // Selects a line of ListBox1 and tells the window, as a click does.
    void ChooseLine(ui::ControlId list, int index);
    // Sets the selection of ListBox2's lines (exactly those given) and tells the window.
    void SelectLines(ui::ControlId list, const std::vector<int>& indexes);
    // Waits until a control shows the text.
    bool WaitForCaption(ui::ControlId id, const std::string& text);

    // Waits for a visible dialog of the program that matches; nothing on time-out.
    std::optional<Dialog> WaitForDialog(const std::function<bool(HWND)>& matches,
                                        std::chrono::milliseconds timeout = kPatience) const;

    // The dialogs. Each waits for its dialog, answers it and waits until it is gone; false
    // (with the reason in *why) when the dialog did not come or would not take the answer.
    bool AnswerFileDialog(const std::string& path, std::string* why = nullptr);
    // *okPressedAt (when given) is when OK was pressed: the start of what the choice sets off.
    bool AnswerFolderDialog(const std::string& folder, const std::string& expectedPrompt, std::string* why = nullptr,
                            std::chrono::steady_clock::time_point* okPressedAt = nullptr);
    // Presses the button (IDOK, IDYES, IDNO) of the next message box; gives its text and title.
    std::optional<Dialog> AnswerMessageBox(int button, std::string* text = nullptr);
    // Whether a message box is showing right now (its text in *text).
    bool MessageBoxShowing(std::string* text = nullptr) const;

    // Asks the window to close and waits for the process to end; its exit code.
    std::optional<DWORD> Close();

private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
    bool closed_ = false;
};

bool IsMessageBox(HWND dialog);
bool IsFileDialog(HWND dialog);
bool IsFolderDialog(HWND dialog);

} // namespace vellocar::test::win32
