#pragma once
// The main window on Qt 6 Widgets: every control of kLayout at its exact place and size, the
// dialogs, message boxes, registry and shell behind the Toolkit interface, and each widget's
// signals forwarded to the window logic's entry points.

#include "Layout.h"
#include "Toolkit.h"

#include <QWidget>

#include <array>
#include <memory>

class QListWidget;
class QMenu;
class QProgressBar;
class QAction;

namespace vellocar::ui {
class TForm1;
}

namespace vellocar::qt {

class QtToolkit : public ui::Toolkit {
public:
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    // Forwards the widgets' events to form from now on; Detach stops it (before form goes).
    void Attach(ui::TForm1& form);
    void Detach();

    // Shows the window, centred on its screen the first time.
    void Show();

    QWidget* Window() const { return window_.get(); }
    // The browser windows open now.
    int BrowserWindows() const { return browserWindows_; }
    QWidget* Widget(ui::ControlId id) const { return widgets_[static_cast<std::size_t>(id)]; }
    QListWidget* List(ui::ControlId id) const;
    QProgressBar* GaugeBar() const;
    QMenu* PopupMenu() const { return menu_; }
    QAction* MenuAction(ui::MenuItemId id) const;

    // Toolkit
    void SetCaption(ui::ControlId id, const std::string& text) override;
    std::string Caption(ui::ControlId id) const override;
    void SetEnabled(ui::ControlId id, bool enabled) override;
    bool Enabled(ui::ControlId id) const override;
    void SetVisible(ui::ControlId id, bool visible) override;
    bool Visible(ui::ControlId id) const override;
    void SetUnderline(ui::ControlId id, bool underline) override;

    void ListClear(ui::ControlId id) override;
    void ListAdd(ui::ControlId id, const std::string& line) override;
    int ListCount(ui::ControlId id) const override;
    std::string ListLine(ui::ControlId id, int index) const override;
    bool ListSelected(ui::ControlId id, int index) const override;
    int ListItemIndex(ui::ControlId id) const override;
    void ListBeginUpdate(ui::ControlId id, int expectedLines) override;
    void ListEndUpdate(ui::ControlId id) override;

    void SetGaugeMin(int value) override;
    void SetGaugeMax(int value) override;
    void SetGaugeProgress(int value) override;
    void RepaintGauge() override;

    void PopupMenuBelow(ui::ControlId anchor) override;
    std::optional<std::size_t> RunContextMenu(const std::vector<std::string>& items) override;
    std::unique_ptr<ui::ViewerWindow> OpenViewerWindow(const std::string& title, ui::ViewerEvents& events) override;
    std::unique_ptr<ui::BrowserWindow> OpenBrowserWindow(const std::string& title, ui::BrowserEvents& events) override;

    std::optional<std::string> RunFileDialog(const ui::FileDialogSpec& dialog) override;
    std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& initialFolder) override;
    ui::MessageAnswer ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) override;
    std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override;
    void ShellOpen(const std::string& target) override;
    void RepaintNow() override;
    void ProcessMessages() override;

private:
    void BuildWindow();
    void BuildControls();
    void BuildMenu();
    void WatchWindow();
    void Connect();
    void ConnectList(ui::ControlId id, ui::ControlKind kind);
    // Runs call with the attached form, unless none is attached or the list is being changed
    // by the program itself (a Qt list signals those changes too; the window logic must only
    // hear of the user's).
    template <typename Call>
    void Forward(Call call);
    void ApplyGauge();

    std::unique_ptr<QWidget> window_;
    std::array<QWidget*, ui::kControlCount> widgets_{};
    std::array<int, ui::kControlCount> listUpdates_{}; // open ListBeginUpdate calls per list
    QMenu* menu_ = nullptr;
    std::array<QAction*, ui::kPopupMenu1.size()> actions_{};
    ui::TForm1* form_ = nullptr;
    int programmaticChange_ = 0;
    // The control that had the focus when it was switched off, until it is switched on again.
    QWidget* focusBeforeDisable_ = nullptr;
    int gaugeMin_ = 0, gaugeMax_ = 100, gaugeProgress_ = 0;
    bool shownOnce_ = false;
    int browserWindows_ = 0;
};

} // namespace vellocar::qt
