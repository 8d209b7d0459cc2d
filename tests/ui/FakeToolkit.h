#pragma once
// A toolkit without a screen: it keeps every control's state where the tests can read it,
// and answers dialogs and message boxes from a script of expected calls. A dialog that the
// script does not expect, or that differs from what it expects, fails the test.

#include "Toolkit.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui::test {

struct FakeControl {
    std::string Caption;
    bool Enabled = true;
    bool Visible = true;
    bool Underline = false;
    std::vector<std::string> Lines;
    std::vector<bool> Selected;
    int ItemIndex = -1; // the caret line: the one selected line of a single-selection list
    int Anchor = -1; // where a Shift-click range starts

    bool operator==(const FakeControl&) const = default;
};

struct ShownMessage {
    std::string Text;
    std::string Title;
    MessageKind Kind;
};

// What a viewer window was told; kept after the window has gone (Open false).
struct FakeViewer {
    std::string Title, View, Text, Status; // View: "rows", "text", "picture" or "tree"
    const ViewerRows* Rows = nullptr;
    const ViewerTree* Tree = nullptr;
    bool Monospace = false, PictureCommands = false, Open = true, TalkTableCommand = false;
    ViewerPicture Picture;
    std::vector<std::string> Mips;
    std::size_t Mip = 0;
    ViewerChannels Channels = ViewerChannels::Rgba;
    std::optional<std::size_t> SortColumn, SelectedRow;
    bool SortAscending = true;
    std::optional<ViewerTree::Node> SelectedNode;
    std::string ConvertedSave;
    double Scale = 0;
    int Raised = 0;
    ViewerEvents* Events = nullptr;
};

// What a browser window was told, and the user's hand on it; kept after the window has gone.
struct FakeBrowser {
    std::string Title, Count, Status, Clipboard;
    std::vector<BrowserLayer> Layers;
    const BrowserRows* Rows = nullptr;
    std::size_t SortColumn = 0;
    bool Ascending = true, Open = true;
    std::vector<BrowserCommandState> Commands;
    std::vector<std::size_t> Selected; // what the user selected
    int Raised = 0, DockedViewers = 0;
    BrowserEvents* Events = nullptr;

    // The table's cells as shown, row by row.
    std::vector<std::vector<std::string>> Table() const;
    const BrowserCommandState* Command(BrowserCommand command) const;
    // The user selects rows (the face reports it).
    void Select(std::vector<std::size_t> rows);
};

class FakeToolkit final : public Toolkit {
public:
    FakeToolkit();

    // ---- The script, consumed in order ----
    void ExpectFileDialog(FileDialogSpec::Mode mode, std::string title, std::optional<std::string> answer);
    void ExpectFolderDialog(std::string prompt, std::optional<std::string> answer);
    void ExpectMessage(std::string text, std::string title, MessageKind kind, MessageAnswer answer = MessageAnswer::Ok);
    // A message box whose text holds every one of parts.
    void ExpectMessageContaining(std::vector<std::string> parts, std::string title, MessageKind kind);
    // The program's error box: the text exactly, titled "Vellocar", with the error icon.
    void ExpectError(std::string text);
    // Runs action while the dialog or box scripted last is open, as a modal loop would run
    // the face's events.
    void WhileOpen(std::function<void()> action);
    // Fails the test for every scripted call that never came.
    void VerifyScriptUsed();

    // ---- The user's hand on the lists (the face then reports the selection change) ----
    void ClickLine(ControlId list, int index);
    void ShiftClickLine(ControlId list, int index);
    void CtrlClickLine(ControlId list, int index);
    std::vector<int> SelectedLines(ControlId list) const;

    // An event that the next ProcessMessages delivers.
    void Post(std::function<void()> event);

    FakeControl& Control(ControlId id) { return controls_[static_cast<std::size_t>(id)]; }
    const FakeControl& Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }

    // ---- What the program did ----
    std::vector<FileDialogSpec> FileDialogsShown;
    std::vector<std::string> FolderDialogInitialFolders;
    std::vector<ShownMessage> MessagesShown;
    std::vector<std::string> RegistryReads; // "key|value"
    std::vector<std::string> ShellTargets;
    std::vector<ControlId> PopupAnchors;
    std::vector<std::shared_ptr<FakeViewer>> Viewers; // in the order they were opened
    std::vector<std::shared_ptr<FakeBrowser>> Browsers; // in the order they were opened
    std::vector<std::vector<std::string>> ContextMenus; // the items of each shown
    std::optional<std::size_t> ContextMenuAnswer; // what the user picks in each
    std::vector<std::string> GaugeLog; // "min 0", "max 2", "progress 1", in call order
    int GaugeMin = 0;
    int GaugeMax = 100;
    int GaugeProgress = 0;
    int GaugeRepaints = 0;
    int WindowRepaints = 0;
    int ProcessMessagesCalls = 0;
    // Each ended list update, as "ListBox2: 3 lines, 3 expected" (the lines added during it and
    // the count announced at its start), and each line added outside one, as
    // "ListBox2: line outside an update", in call order. An update still open fails the test
    // in VerifyScriptUsed.
    std::vector<std::string> ListUpdates;
    // Called by ListAdd before the line is added; may throw, to stand for a list that cannot
    // take another line.
    std::function<void(ControlId, const std::string&)> OnListAdd;
    // Called on every ProcessMessages, after the posted events.
    std::function<void()> OnProcessMessages;

    // ---- The registry's answer ----
    std::optional<std::string> RegistryValue;
    bool RegistryValueNotAString = false;
    // Called by ShellOpen; may throw, to stand for a failing face.
    std::function<void(const std::string&)> OnShellOpen;

    // ---- Toolkit ----
    void SetCaption(ControlId id, const std::string& text) override;
    std::string Caption(ControlId id) const override;
    void SetEnabled(ControlId id, bool enabled) override;
    bool Enabled(ControlId id) const override;
    void SetVisible(ControlId id, bool visible) override;
    bool Visible(ControlId id) const override;
    void SetUnderline(ControlId id, bool underline) override;
    void ListClear(ControlId id) override;
    void ListAdd(ControlId id, const std::string& line) override;
    int ListCount(ControlId id) const override;
    std::string ListLine(ControlId id, int index) const override;
    bool ListSelected(ControlId id, int index) const override;
    int ListItemIndex(ControlId id) const override;
    void ListBeginUpdate(ControlId id, int expectedLines) override;
    void ListEndUpdate(ControlId id) override;
    void SetGaugeMin(int value) override;
    void SetGaugeMax(int value) override;
    void SetGaugeProgress(int value) override;
    void RepaintGauge() override;
    void PopupMenuBelow(ControlId anchor) override;
    std::optional<std::size_t> RunContextMenu(const std::vector<std::string>& items) override;
    std::unique_ptr<ViewerWindow> OpenViewerWindow(const std::string& title, ViewerEvents& events) override;
    std::unique_ptr<BrowserWindow> OpenBrowserWindow(const std::string& title, BrowserEvents& events) override;
    std::optional<std::string> RunFileDialog(const FileDialogSpec& dialog) override;
    std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& initialFolder) override;
    MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageKind kind) override;
    std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override;
    void ShellOpen(const std::string& target) override;
    void RepaintNow() override;
    void ProcessMessages() override;

private:
    struct Expected {
        enum class Type { FileDialog, FolderDialog, Message } What;
        std::string Description;
        FileDialogSpec::Mode Mode = FileDialogSpec::Mode::Open;
        std::string TitleOrPrompt;
        std::optional<std::string> Path;
        std::function<bool(const std::string&)> TextMatches;
        MessageKind Kind = MessageKind::Ok;
        MessageAnswer Answer = MessageAnswer::Ok;
        std::function<void()> WhileOpen;
    };

    // The next scripted call, if it is of the kind wanted; fails the test otherwise.
    std::optional<Expected> Next(Expected::Type what, const std::string& actual);
    const FakeControl& Checked(ControlId id, const char* operation) const;
    bool IsList(ControlId id) const;

    std::array<FakeControl, kControlCount> controls_;
    std::deque<Expected> script_;
    std::deque<std::function<void()>> posted_;
    struct OpenUpdate {
        int Depth = 0;
        int Expected = 0;
        int Added = 0;
    };
    std::array<OpenUpdate, kControlCount> updates_{};
};

std::string Describe(MessageKind kind);

} // namespace vellocar::ui::test
