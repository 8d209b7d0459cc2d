#include "FakeToolkit.h"

#include "base/Errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace vellocar::ui::test {

std::string Describe(MessageKind kind) {
    switch (kind) {
        case MessageKind::Ok:
            return "OK";
        case MessageKind::OkError:
            return "OK+error icon";
        case MessageKind::OkWarning:
            return "OK+warning icon";
        case MessageKind::YesNo:
            return "Yes/No";
    }
    return "?";
}

namespace {

std::string Describe(FileDialogSpec::Mode mode) {
    return mode == FileDialogSpec::Mode::Open ? "open dialog" : "save dialog";
}

} // namespace

FakeToolkit::FakeToolkit() {
    for (const ControlSpec& desc : kLayout) {
        FakeControl& c = Control(desc.Id);
        c.Caption = std::string(desc.Caption);
        c.Enabled = desc.Enabled;
        c.Visible = desc.Visible;
    }
}

// ---- Script ------------------------------------------------------------------------------------

void FakeToolkit::ExpectFileDialog(FileDialogSpec::Mode mode, std::string title, std::optional<std::string> answer) {
    Expected e{Expected::Type::FileDialog,
               Describe(mode) + " titled \"" + title + "\"",
               mode,
               std::move(title),
               std::move(answer),
               {},
               MessageKind::Ok,
               MessageAnswer::Ok,
               {}};
    script_.push_back(std::move(e));
}

void FakeToolkit::ExpectFolderDialog(std::string prompt, std::optional<std::string> answer) {
    Expected e{Expected::Type::FolderDialog,
               "folder dialog \"" + prompt + "\"",
               {},
               std::move(prompt),
               std::move(answer),
               {},
               MessageKind::Ok,
               MessageAnswer::Ok,
               {}};
    script_.push_back(std::move(e));
}

void FakeToolkit::ExpectMessage(std::string text, std::string title, MessageKind kind, MessageAnswer answer) {
    Expected e{Expected::Type::Message,
               "message \"" + text + "\" titled \"" + title + "\" (" + Describe(kind) + ")",
               {},
               std::move(title),
               {},
               [text](const std::string& actual) { return actual == text; },
               kind,
               answer,
               {}};
    script_.push_back(std::move(e));
}

void FakeToolkit::ExpectMessageContaining(std::vector<std::string> parts, std::string title, MessageKind kind) {
    std::string description = "message containing";
    for (const auto& p : parts) description += " \"" + p + "\"";
    description += " titled \"" + title + "\" (" + Describe(kind) + ")";
    Expected e{Expected::Type::Message,
               description,
               {},
               std::move(title),
               {},
               [parts](const std::string& actual) {
                   return std::all_of(parts.begin(), parts.end(),
                                      [&](const std::string& p) { return actual.find(p) != std::string::npos; });
               },
               kind,
               MessageAnswer::Ok,
               {}};
    script_.push_back(std::move(e));
}

void FakeToolkit::ExpectError(std::string text) { ExpectMessage(std::move(text), "Vellocar", MessageKind::OkError); }

void FakeToolkit::WhileOpen(std::function<void()> action) {
    ASSERT_FALSE(script_.empty()) << "WhileOpen needs a scripted dialog to attach to";
    script_.back().WhileOpen = std::move(action);
}

void FakeToolkit::VerifyScriptUsed() {
    for (const Expected& e : script_) ADD_FAILURE() << "the program never showed the expected " << e.Description;
    script_.clear();
    for (const ControlSpec& desc : kLayout)
        if (updates_[static_cast<std::size_t>(desc.Id)].Depth > 0)
            ADD_FAILURE() << "the update of " << desc.Name << " was never ended";
}

std::optional<FakeToolkit::Expected> FakeToolkit::Next(Expected::Type what, const std::string& actual) {
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected " << actual << " (the script expected nothing more)";
        return std::nullopt;
    }
    Expected e = std::move(script_.front());
    script_.pop_front();
    if (e.What != what) {
        ADD_FAILURE() << "the script expected " << e.Description << ", but the program showed " << actual;
        return std::nullopt;
    }
    return e;
}

// ---- Gestures ----------------------------------------------------------------------------------

void FakeToolkit::ClickLine(ControlId list, int index) {
    FakeControl& c = Control(list);
    ASSERT_TRUE(index >= 0 && index < static_cast<int>(c.Lines.size())) << "no line " << index;
    std::fill(c.Selected.begin(), c.Selected.end(), false);
    c.Selected[static_cast<std::size_t>(index)] = true;
    c.ItemIndex = index;
    c.Anchor = index;
}

void FakeToolkit::ShiftClickLine(ControlId list, int index) {
    FakeControl& c = Control(list);
    ASSERT_EQ(LayoutOf(list).Kind, ControlKind::ListMulti) << "Shift-click needs a multi-selection list";
    ASSERT_TRUE(index >= 0 && index < static_cast<int>(c.Lines.size())) << "no line " << index;
    const int from = c.Anchor < 0 ? index : c.Anchor;
    std::fill(c.Selected.begin(), c.Selected.end(), false);
    for (int i = std::min(from, index); i <= std::max(from, index); ++i) c.Selected[static_cast<std::size_t>(i)] = true;
    c.ItemIndex = index;
}

void FakeToolkit::CtrlClickLine(ControlId list, int index) {
    FakeControl& c = Control(list);
    ASSERT_EQ(LayoutOf(list).Kind, ControlKind::ListMulti) << "Ctrl-click needs a multi-selection list";
    ASSERT_TRUE(index >= 0 && index < static_cast<int>(c.Lines.size())) << "no line " << index;
    c.Selected[static_cast<std::size_t>(index)] = !c.Selected[static_cast<std::size_t>(index)];
    c.ItemIndex = index;
    c.Anchor = index;
}

std::vector<int> FakeToolkit::SelectedLines(ControlId list) const {
    std::vector<int> result;
    const FakeControl& c = Control(list);
    for (std::size_t i = 0; i < c.Selected.size(); ++i)
        if (c.Selected[i]) result.push_back(static_cast<int>(i));
    return result;
}

void FakeToolkit::Post(std::function<void()> event) { posted_.push_back(std::move(event)); }

// ---- Controls ----------------------------------------------------------------------------------

const FakeControl& FakeToolkit::Checked(ControlId id, const char* operation) const {
    if (static_cast<std::size_t>(id) >= kControlCount) ADD_FAILURE() << operation << " on an unknown control";
    return Control(id);
}

bool FakeToolkit::IsList(ControlId id) const {
    const ControlKind kind = LayoutOf(id).Kind;
    return kind == ControlKind::ListSingle || kind == ControlKind::ListMulti;
}

void FakeToolkit::SetCaption(ControlId id, const std::string& text) {
    Checked(id, "SetCaption");
    Control(id).Caption = text;
}
std::string FakeToolkit::Caption(ControlId id) const { return Checked(id, "Caption").Caption; }
void FakeToolkit::SetEnabled(ControlId id, bool enabled) { Control(id).Enabled = enabled; }
bool FakeToolkit::Enabled(ControlId id) const { return Checked(id, "Enabled").Enabled; }
void FakeToolkit::SetVisible(ControlId id, bool visible) { Control(id).Visible = visible; }
bool FakeToolkit::Visible(ControlId id) const { return Checked(id, "Visible").Visible; }
void FakeToolkit::SetUnderline(ControlId id, bool underline) { Control(id).Underline = underline; }

void FakeToolkit::ListClear(ControlId id) {
    EXPECT_TRUE(IsList(id)) << "ListClear on " << LayoutOf(id).Name;
    FakeControl& c = Control(id);
    c.Lines.clear();
    c.Selected.clear();
    c.ItemIndex = -1;
    c.Anchor = -1;
}

void FakeToolkit::ListAdd(ControlId id, const std::string& line) {
    EXPECT_TRUE(IsList(id)) << "ListAdd on " << LayoutOf(id).Name;
    if (OnListAdd) OnListAdd(id, line);
    OpenUpdate& update = updates_[static_cast<std::size_t>(id)];
    if (update.Depth > 0)
        ++update.Added;
    else
        ListUpdates.push_back(std::string(LayoutOf(id).Name) + ": line outside an update");
    FakeControl& c = Control(id);
    c.Lines.push_back(line);
    c.Selected.push_back(false);
}

void FakeToolkit::ListBeginUpdate(ControlId id, int expectedLines) {
    EXPECT_TRUE(IsList(id)) << "ListBeginUpdate on " << LayoutOf(id).Name;
    OpenUpdate& update = updates_[static_cast<std::size_t>(id)];
    if (update.Depth++ == 0) update = {1, expectedLines, 0};
}

void FakeToolkit::ListEndUpdate(ControlId id) {
    OpenUpdate& update = updates_[static_cast<std::size_t>(id)];
    if (update.Depth == 0) {
        ADD_FAILURE() << "ListEndUpdate on " << LayoutOf(id).Name << " without an update";
        return;
    }
    if (--update.Depth == 0)
        ListUpdates.push_back(std::string(LayoutOf(id).Name) + ": " + std::to_string(update.Added) + " lines, " +
                              std::to_string(update.Expected) + " expected");
}

int FakeToolkit::ListCount(ControlId id) const { return static_cast<int>(Checked(id, "ListCount").Lines.size()); }

std::string FakeToolkit::ListLine(ControlId id, int index) const {
    const FakeControl& c = Checked(id, "ListLine");
    if (index < 0 || index >= static_cast<int>(c.Lines.size())) {
        ADD_FAILURE() << "ListLine(" << LayoutOf(id).Name << ", " << index << ") out of range";
        return {};
    }
    return c.Lines[static_cast<std::size_t>(index)];
}

bool FakeToolkit::ListSelected(ControlId id, int index) const {
    const FakeControl& c = Checked(id, "ListSelected");
    if (index < 0 || index >= static_cast<int>(c.Selected.size())) {
        ADD_FAILURE() << "ListSelected(" << LayoutOf(id).Name << ", " << index << ") out of range";
        return false;
    }
    return c.Selected[static_cast<std::size_t>(index)];
}

int FakeToolkit::ListItemIndex(ControlId id) const { return Checked(id, "ListItemIndex").ItemIndex; }

void FakeToolkit::SetGaugeMin(int value) {
    GaugeMin = value;
    GaugeLog.push_back("min " + std::to_string(value));
}
void FakeToolkit::SetGaugeMax(int value) {
    GaugeMax = value;
    GaugeLog.push_back("max " + std::to_string(value));
}
void FakeToolkit::SetGaugeProgress(int value) {
    GaugeProgress = value;
    GaugeLog.push_back("progress " + std::to_string(value));
}
void FakeToolkit::RepaintGauge() { ++GaugeRepaints; }

void FakeToolkit::PopupMenuBelow(ControlId anchor) { PopupAnchors.push_back(anchor); }

std::optional<std::size_t> FakeToolkit::RunContextMenu(const std::vector<std::string>& items) {
    ContextMenus.push_back(items);
    return ContextMenuAnswer;
}

namespace {

class FakeViewerWindow final : public ViewerWindow {
public:
    explicit FakeViewerWindow(std::shared_ptr<FakeViewer> state) : v_(std::move(state)) {}
    ~FakeViewerWindow() override {
        v_->Open = false;
        v_->Events = nullptr;
        v_->Rows = nullptr;
        v_->Tree = nullptr;
    }
    void ShowRows(const ViewerRows& rows, bool monospace) override {
        v_->View = "rows";
        v_->Rows = &rows;
        v_->Monospace = monospace;
    }
    void ShowText(const std::string& text) override {
        v_->View = "text";
        v_->Text = text;
    }
    void ShowPicture(const ViewerPicture& picture) override {
        v_->View = "picture";
        v_->Picture = picture;
    }
    void SetPictureScale(double scale, ViewerZoom) override { v_->Scale = scale; }
    void SetStatus(const std::string& text) override { v_->Status = text; }
    void ShowPictureCommands(bool shown) override { v_->PictureCommands = shown; }
    void ShowTree(const ViewerTree& tree) override {
        v_->View = "tree";
        v_->Tree = &tree;
    }
    void RowsChanged(std::size_t sortColumn, bool ascending) override {
        v_->SortColumn = sortColumn;
        v_->SortAscending = ascending;
    }
    void SelectRow(std::size_t row) override { v_->SelectedRow = row; }
    void SelectNode(ViewerTree::Node node) override { v_->SelectedNode = node; }
    void SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip, ViewerChannels channels) override {
        v_->Mips = mips;
        v_->Mip = mip;
        v_->Channels = channels;
    }
    void ShowConvertedSave(const std::string& caption) override { v_->ConvertedSave = caption; }
    void ShowTalkTableCommand(bool shown) override { v_->TalkTableCommand = shown; }
    void Raise() override { ++v_->Raised; }

private:
    std::shared_ptr<FakeViewer> v_;
};

} // namespace

std::unique_ptr<ViewerWindow> FakeToolkit::OpenViewerWindow(const std::string& title, ViewerEvents& events) {
    Viewers.push_back(std::make_shared<FakeViewer>());
    Viewers.back()->Title = title;
    Viewers.back()->Events = &events;
    return std::make_unique<FakeViewerWindow>(Viewers.back());
}

class FakeBrowserWindow final : public BrowserWindow {
public:
    FakeBrowserWindow(FakeToolkit& toolkit, std::shared_ptr<FakeBrowser> state)
        : toolkit_(toolkit), b_(std::move(state)) {}
    ~FakeBrowserWindow() override {
        b_->Open = false;
        b_->Events = nullptr;
        b_->Rows = nullptr;
    }
    void SetLayers(const std::vector<BrowserLayer>& layers) override { b_->Layers = layers; }
    void ShowRows(const BrowserRows& rows, std::size_t sortColumn, bool ascending) override {
        b_->Rows = &rows;
        b_->SortColumn = sortColumn;
        b_->Ascending = ascending;
        b_->Selected.clear();
    }
    std::vector<std::size_t> SelectedRows() const override { return b_->Selected; }
    void SelectRow(std::size_t row) override { b_->Selected = {row}; }
    void SetCount(const std::string& text) override { b_->Count = text; }
    void SetStatus(const std::string& text) override { b_->Status = text; }
    void SetCommands(const std::vector<BrowserCommandState>& commands) override { b_->Commands = commands; }
    void SetClipboardText(const std::string& text) override { b_->Clipboard = text; }
    std::unique_ptr<ViewerWindow> OpenDockedViewer(const std::string& title, ViewerEvents& events) override {
        ++b_->DockedViewers;
        return toolkit_.OpenViewerWindow(title, events);
    }
    void Raise() override { ++b_->Raised; }

private:
    FakeToolkit& toolkit_;
    std::shared_ptr<FakeBrowser> b_;
};

std::vector<std::vector<std::string>> FakeBrowser::Table() const {
    std::vector<std::vector<std::string>> table;
    if (!Rows) return table;
    for (std::size_t r = 0; r < Rows->RowCount(); ++r) {
        auto& row = table.emplace_back();
        for (std::size_t c = 0; c < Rows->ColumnCount(); ++c) row.push_back(Rows->Cell(r, c));
    }
    return table;
}

const BrowserCommandState* FakeBrowser::Command(BrowserCommand command) const {
    for (const BrowserCommandState& c : Commands)
        if (c.Command == command) return &c;
    return nullptr;
}

void FakeBrowser::Select(std::vector<std::size_t> rows) {
    Selected = std::move(rows);
    if (Events) Events->SelectionChanged();
}

std::unique_ptr<BrowserWindow> FakeToolkit::OpenBrowserWindow(const std::string& title, BrowserEvents& events) {
    Browsers.push_back(std::make_shared<FakeBrowser>());
    Browsers.back()->Title = title;
    Browsers.back()->Events = &events;
    return std::make_unique<FakeBrowserWindow>(*this, Browsers.back());
}

// ---- Dialogs -----------------------------------------------------------------------------------

std::optional<std::string> FakeToolkit::RunFileDialog(const FileDialogSpec& dialog) {
    FileDialogsShown.push_back(dialog);
    const std::string actual = Describe(dialog.DialogMode) + " titled \"" + dialog.Title + "\"";
    auto e = Next(Expected::Type::FileDialog, actual);
    if (!e) return std::nullopt;
    if (e->Mode != dialog.DialogMode || e->TitleOrPrompt != dialog.Title)
        ADD_FAILURE() << "the script expected " << e->Description << ", but the program showed " << actual;
    if (e->WhileOpen) e->WhileOpen();
    return e->Path;
}

std::optional<std::string> FakeToolkit::BrowseForFolder(const std::string& prompt, const std::string& initialFolder) {
    FolderDialogInitialFolders.push_back(initialFolder);
    const std::string actual = "folder dialog \"" + prompt + "\"";
    auto e = Next(Expected::Type::FolderDialog, actual);
    if (!e) return std::nullopt;
    if (e->TitleOrPrompt != prompt)
        ADD_FAILURE() << "the script expected " << e->Description << ", but the program showed " << actual;
    if (e->WhileOpen) e->WhileOpen();
    return e->Path;
}

MessageAnswer FakeToolkit::ShowMessage(const std::string& text, const std::string& title, MessageKind kind) {
    MessagesShown.push_back({text, title, kind});
    const std::string actual = "message \"" + text + "\" titled \"" + title + "\" (" + Describe(kind) + ")";
    auto e = Next(Expected::Type::Message, actual);
    if (!e) return kind == MessageKind::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    if (!e->TextMatches(text) || e->TitleOrPrompt != title || e->Kind != kind)
        ADD_FAILURE() << "the script expected " << e->Description << ", but the program showed " << actual;
    if (e->WhileOpen) e->WhileOpen();
    return e->Answer;
}

// ---- System ------------------------------------------------------------------------------------

std::optional<std::string> FakeToolkit::ReadRegistryString(const std::string& key, const std::string& value) {
    RegistryReads.push_back(key + "|" + value);
    if (RegistryValueNotAString) throw EVellocarError("Invalid data type for '" + value + "'");
    return RegistryValue;
}

void FakeToolkit::ShellOpen(const std::string& target) {
    ShellTargets.push_back(target);
    if (OnShellOpen) OnShellOpen(target);
}

void FakeToolkit::RepaintNow() { ++WindowRepaints; }

void FakeToolkit::ProcessMessages() {
    ++ProcessMessagesCalls;
    while (!posted_.empty()) {
        auto event = std::move(posted_.front());
        posted_.pop_front();
        event();
    }
    if (OnProcessMessages) OnProcessMessages();
}

} // namespace vellocar::ui::test
