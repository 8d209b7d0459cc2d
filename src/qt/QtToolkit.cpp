// The main window on Qt: the window and its controls built from the layout, their signals
// forwarded to the window logic, and the Toolkit's calls on the controls.

#include "QtToolkit.h"

#include "base/Progress.h"
#include "MachineRegistry.h"
#include "Main.h"
#include "QtControls.h"
#include "QtBrowser.h"
#include "QtServices.h"
#include "QtText.h"
#include "QtViewer.h"
#include "WindowFilters.h"

#include <QApplication>
#include <QCursor>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <vector>

namespace vellocar::qt {

using ui::ControlId;
using ui::ControlKind;
using ui::ControlSpec;

namespace {

// The exact bytes of a list line, kept beside its display text: a file name that is not valid
// UTF-8 must come back unchanged, or the build would look for a file that is not there.
constexpr int kLineBytesRole = Qt::UserRole + 1;

} // namespace

// ---- Building the window

QtToolkit::QtToolkit() : window_(std::make_unique<QWidget>()) {
    BuildWindow();
    BuildControls();
    BuildMenu();
    WatchWindow();
    Connect();
}

QtToolkit::~QtToolkit() {
    Detach();
    // The widgets may still signal while they are destroyed (a list losing its selection).
    ++programmaticChange_;
    window_.reset();
}

void QtToolkit::Attach(ui::TForm1& form) { form_ = &form; }
void QtToolkit::Detach() { form_ = nullptr; }

template <typename Call>
void QtToolkit::Forward(Call call) {
    if (!form_ || programmaticChange_ != 0) return;
    // Qt does not support an exception leaving a slot or an event handler. The window logic
    // reports its own errors; this is only the last line of defence.
    try {
        call(*form_);
    } catch (...) {}
}

// A fixed-size window in the button face's colour, as a Windows dialog is.
void QtToolkit::BuildWindow() {
    QWidget* w = window_.get();
    w->setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                      Qt::MSWindowsFixedSizeDialogHint);
    w->setWindowTitle(ToQt(ui::kMainWindow.Caption));
    w->setFixedSize(ui::kMainWindow.ClientWidth, ui::kMainWindow.ClientHeight);
    w->setFont(FontFor(ui::kMainWindow.Font));
    QPalette windowPalette = w->palette();
    windowPalette.setColor(QPalette::Window, windowPalette.color(QPalette::Button));
    w->setPalette(windowPalette);
    w->setAutoFillBackground(true);
    if (!QApplication::windowIcon().isNull()) w->setWindowIcon(QApplication::windowIcon());
}

void QtToolkit::BuildControls() {
    // kLayout's order is the stacking order: later controls lie above earlier ones (the gauge
    // over the credit line, the credit line over its strip).
    for (const ControlSpec& desc : ui::kLayout)
        widgets_[static_cast<std::size_t>(desc.Id)] = MakeControl(desc, window_.get());

    std::vector<const ControlSpec*> tabbed;
    for (const ControlSpec& desc : ui::kLayout)
        if (desc.TabOrder >= 0) tabbed.push_back(&desc);
    std::sort(tabbed.begin(), tabbed.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->TabOrder < b->TabOrder; });
    for (std::size_t i = 0; i + 1 < tabbed.size(); ++i)
        QWidget::setTabOrder(Widget(tabbed[i]->Id), Widget(tabbed[i + 1]->Id));
}

void QtToolkit::BuildMenu() {
    menu_ = new QMenu(window_.get());
    menu_->setObjectName(QStringLiteral("PopupMenu1"));
    for (std::size_t i = 0; i < ui::kPopupMenu1.size(); ++i) {
        actions_[i] = menu_->addAction(ToQt(ui::kPopupMenu1[i].Caption));
        actions_[i]->setObjectName(ToQt(ui::kPopupMenu1[i].Name));
    }
}

// A close while a build runs waits for its end; a KEY dropped on the window opens.
void QtToolkit::WatchWindow() {
    QWidget* w = window_.get();
    const auto busy = [this] { return form_ && form_->Busy(); };
    w->installEventFilter(new CloseGuard(busy, w));
    w->setAcceptDrops(true);
    w->installEventFilter(new FileDrop(
        busy, [this](const std::string& path) { Forward([&path](ui::TForm1& form) { form.KeyFileGiven(path); }); }, w));
}

void QtToolkit::Connect() {
    for (const ControlSpec& desc : ui::kLayout) {
        const ControlId id = desc.Id;
        if (desc.Kind == ControlKind::Button) {
            QObject::connect(static_cast<QPushButton*>(Widget(id)), &QPushButton::clicked, window_.get(),
                             [this, id] { Forward([id](ui::TForm1& f) { f.Clicked(id); }); });
        } else if (desc.Kind == ControlKind::LinkLabel) {
            auto* label = static_cast<LinkLabel*>(Widget(id));
            label->OnEnter = [this, id] { Forward([id](ui::TForm1& f) { f.MouseEnter(id); }); };
            label->OnLeave = [this, id] { Forward([id](ui::TForm1& f) { f.MouseLeave(id); }); };
            label->OnClick = [this, id] { Forward([id](ui::TForm1& f) { f.Clicked(id); }); };
        } else if (desc.Kind == ControlKind::ListSingle || desc.Kind == ControlKind::ListMulti) {
            ConnectList(id, desc.Kind);
        }
    }
    for (std::size_t i = 0; i < ui::kPopupMenu1.size(); ++i) {
        const ui::MenuItemId item = ui::kPopupMenu1[i].Id;
        QObject::connect(actions_[i], &QAction::triggered, window_.get(),
                         [this, item] { Forward([item](ui::TForm1& f) { f.MenuItemClicked(item); }); });
    }
}

void QtToolkit::ConnectList(ControlId id, ControlKind kind) {
    // A right-click (or the menu key) asks for the line's menu, -1 away from every line.
    QListWidget* menuList = List(id);
    menuList->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(menuList, &QWidget::customContextMenuRequested, window_.get(),
                     [this, id, menuList](const QPoint& at) {
                         const int row = menuList->indexAt(at).row();
                         Forward([id, row](ui::TForm1& f) { f.LineMenuAsked(id, row); });
                     });
    if (kind == ControlKind::ListSingle) {
        // A click that leaves a line selected chooses it, the line already chosen included,
        // and so do the keys selecting one; focus alone moving the current row, the list
        // being emptied, or the selection following a held button does not.
        auto* list = static_cast<ChoiceList*>(List(id));
        auto choose = [this, id, list] {
            if (!list->selectedItems().isEmpty()) Forward([id](ui::TForm1& f) { f.SelectionChanged(id); });
        };
        list->OnClick = choose;
        QObject::connect(list, &QListWidget::itemSelectionChanged, window_.get(), [list, choose] {
            if (!list->ButtonHeld()) choose();
        });
        return;
    }
    // Every click counts, also one that leaves the selection as it was.
    QListWidget* list = List(id);
    auto notify = [this, id] { Forward([id](ui::TForm1& f) { f.SelectionChanged(id); }); };
    QObject::connect(list, &QListWidget::itemSelectionChanged, window_.get(), notify);
    QObject::connect(list, &QAbstractItemView::pressed, window_.get(), notify);
    // A line opens with a double-click or Enter, or from its context menu.
    auto opened = [this, id](int row) { Forward([id, row](ui::TForm1& f) { f.LineOpened(id, row); }); };
    QObject::connect(list, &QAbstractItemView::doubleClicked, window_.get(),
                     [opened](const QModelIndex& index) { opened(index.row()); });
    list->installEventFilter(new OpenKeyFilter(opened, list));
}

// ---- The controls

void QtToolkit::Show() {
    QWidget* w = window_.get();
    if (!shownOnce_) {
        shownOnce_ = true;
        if (QScreen* screen = w->screen()) {
            const QRect area = screen->availableGeometry();
            w->move(area.x() + (area.width() - w->width()) / 2, area.y() + (area.height() - w->height()) / 2);
        }
    }
    w->show();
}

QListWidget* QtToolkit::List(ControlId id) const {
    const ControlKind kind = ui::LayoutOf(id).Kind;
    if (kind != ControlKind::ListSingle && kind != ControlKind::ListMulti) return nullptr;
    return static_cast<QListWidget*>(Widget(id));
}

QProgressBar* QtToolkit::GaugeBar() const { return static_cast<QProgressBar*>(Widget(ControlId::Gauge1)); }

QAction* QtToolkit::MenuAction(ui::MenuItemId id) const {
    for (std::size_t i = 0; i < ui::kPopupMenu1.size(); ++i)
        if (ui::kPopupMenu1[i].Id == id) return actions_[i];
    return nullptr;
}

void QtToolkit::SetCaption(ControlId id, const std::string& text) {
    QWidget* w = Widget(id);
    if (auto* button = qobject_cast<QPushButton*>(w))
        button->setText(ToQt(text));
    else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(ToQt(text));
        FitLabel(label, ui::LayoutOf(id));
    }
}

std::string QtToolkit::Caption(ControlId id) const {
    QWidget* w = Widget(id);
    if (auto* button = qobject_cast<QPushButton*>(w)) return FromQt(button->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return FromQt(label->text());
    return {};
}

void QtToolkit::SetEnabled(ControlId id, bool enabled) {
    QWidget* control = Widget(id);
    const bool hadFocus = window_->focusWidget() == control;
    control->setEnabled(enabled);
    if (!enabled && hadFocus) {
        // Qt passes the focus on to the next enabled control, and drops it when there is none
        // (a build switches every command off): the control gets it back when it returns.
        if (!focusBeforeDisable_) focusBeforeDisable_ = control;
    } else if (enabled && control == focusBeforeDisable_) {
        focusBeforeDisable_ = nullptr;
        const QWidget* focus = window_->focusWidget();
        if (!focus || !focus->isEnabled()) control->setFocus(Qt::OtherFocusReason);
    }
}
bool QtToolkit::Enabled(ControlId id) const { return Widget(id)->isEnabledTo(window_.get()); }
void QtToolkit::SetVisible(ControlId id, bool visible) { Widget(id)->setVisible(visible); }
bool QtToolkit::Visible(ControlId id) const { return !Widget(id)->isHidden(); }

void QtToolkit::SetUnderline(ControlId id, bool underline) {
    QWidget* w = Widget(id);
    QFont font = w->font();
    font.setUnderline(underline);
    w->setFont(font);
    FitLabel(w, ui::LayoutOf(id));
}

void QtToolkit::ListClear(ControlId id) {
    if (QListWidget* list = List(id)) {
        ++programmaticChange_;
        list->clear();
        --programmaticChange_;
    }
}

void QtToolkit::ListAdd(ControlId id, const std::string& line) {
    if (QListWidget* list = List(id)) {
        ++programmaticChange_;
        auto* item = new QListWidgetItem(ToQt(line));
        item->setData(kLineBytesRole, QByteArray::fromStdString(line));
        list->addItem(item);
        --programmaticChange_;
    }
}

void QtToolkit::ListBeginUpdate(ControlId id, int) {
    QListWidget* list = List(id);
    if (list && listUpdates_[static_cast<std::size_t>(id)]++ == 0) list->setUpdatesEnabled(false);
}

void QtToolkit::ListEndUpdate(ControlId id) {
    QListWidget* list = List(id);
    int& depth = listUpdates_[static_cast<std::size_t>(id)];
    if (!list || depth == 0 || --depth > 0) return;
    list->setUpdatesEnabled(true); // and repaints it
}

int QtToolkit::ListCount(ControlId id) const {
    QListWidget* list = List(id);
    return list ? list->count() : 0;
}

std::string QtToolkit::ListLine(ControlId id, int index) const {
    QListWidget* list = List(id);
    QListWidgetItem* item = list ? list->item(index) : nullptr;
    if (!item) return {};
    const QVariant bytes = item->data(kLineBytesRole);
    return bytes.isValid() ? bytes.toByteArray().toStdString() : FromQt(item->text());
}

bool QtToolkit::ListSelected(ControlId id, int index) const {
    QListWidget* list = List(id);
    QListWidgetItem* item = list ? list->item(index) : nullptr;
    return item && item->isSelected();
}

int QtToolkit::ListItemIndex(ControlId id) const {
    QListWidget* list = List(id);
    if (!list) return -1;
    const int row = list->currentRow();
    if (row < 0) return -1;
    if (ui::LayoutOf(id).Kind == ControlKind::ListSingle && !list->item(row)->isSelected()) return -1;
    return row;
}

// The bar always runs from 0 to 100 and shows the percentage every face computes alike; a
// range of one value would otherwise turn Qt's bar into a busy indicator with no text.
void QtToolkit::ApplyGauge() { GaugeBar()->setValue(ProgressPercent(gaugeMin_, gaugeMax_, gaugeProgress_)); }

void QtToolkit::SetGaugeMin(int value) {
    gaugeMin_ = value;
    ApplyGauge();
}
void QtToolkit::SetGaugeMax(int value) {
    gaugeMax_ = value;
    ApplyGauge();
}
void QtToolkit::SetGaugeProgress(int value) {
    gaugeProgress_ = value;
    ApplyGauge();
}
void QtToolkit::RepaintGauge() { GaugeBar()->repaint(); }

void QtToolkit::PopupMenuBelow(ControlId anchor) {
    QWidget* w = Widget(anchor);
    menu_->popup(w->mapToGlobal(QPoint(0, w->height())));
}

std::optional<std::size_t> QtToolkit::RunContextMenu(const std::vector<std::string>& items) {
    QMenu menu(window_.get());
    std::vector<QAction*> actions;
    for (const std::string& item : items) actions.push_back(menu.addAction(ToQt(item)));
    QAction* chosen = menu.exec(QCursor::pos());
    const auto at = std::find(actions.begin(), actions.end(), chosen);
    if (!chosen || at == actions.end()) return std::nullopt;
    return static_cast<std::size_t>(at - actions.begin());
}

std::unique_ptr<ui::ViewerWindow> QtToolkit::OpenViewerWindow(const std::string& title, ui::ViewerEvents& events) {
    return std::make_unique<QtViewerWindow>(window_.get(), title, events);
}

std::unique_ptr<ui::BrowserWindow> QtToolkit::OpenBrowserWindow(const std::string& title, ui::BrowserEvents& events) {
    ++browserWindows_;
    return std::make_unique<QtBrowserWindow>(window_.get(), title, events, [this] {
        // Started for a browser, the program ends with the last one.
        if (--browserWindows_ == 0 && window_ && window_->isHidden()) QCoreApplication::quit();
    });
}

// ---- The services

std::optional<std::string> QtToolkit::RunFileDialog(const ui::FileDialogSpec& dialog) {
    return qt::RunFileDialog(window_.get(), dialog);
}

std::optional<std::string> QtToolkit::BrowseForFolder(const std::string& prompt, const std::string& initialFolder) {
    return qt::BrowseForFolder(window_.get(), prompt, initialFolder);
}

ui::MessageAnswer QtToolkit::ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) {
    return qt::ShowMessage(window_.get(), text, title, kind);
}

std::optional<std::string> QtToolkit::ReadRegistryString(const std::string& key, const std::string& value) {
    return game::MachineRegistryString(key, value);
}

void QtToolkit::ShellOpen(const std::string& target) { qt::ShellOpen(target); }

void QtToolkit::RepaintNow() { window_->repaint(); }
void QtToolkit::ProcessMessages() { QCoreApplication::processEvents(); }

} // namespace vellocar::qt
