#pragma once
// The resource browser's window on Qt: the layers' check boxes on the left, the commands on top,
// the filter, the count and one table asked of the logic's rows as they come into sight, a pane
// on the right where a viewer can be docked, and a status line; every user action passed to the
// browser's logic.

#include "BrowserWindow.h"

#include <QAbstractTableModel>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;
class QSplitter;
class QToolBar;
class QToolButton;

namespace vellocar::qt {

// The browser's rows, asked of the logic's BrowserRows as the view draws them: nothing is
// copied, whatever the count.
class BrowserRowsModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetRows(const ui::BrowserRows* rows);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const ui::BrowserRows* rows_ = nullptr;
    int shownRows_ = 0;
};

// The files of a drag as a file manager takes them: their URLs, to be copied.
QMimeData* FilesMimeData(const std::vector<std::string>& files);

// The table, whose drag asks the logic for the selected rows' files when it starts.
class BrowserTable final : public QTableView {
public:
    using QTableView::QTableView;
    std::function<std::vector<std::string>()> OnDrag;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

// The window itself. Its events go to the logic until Detach.
class BrowserWidget final : public QWidget {
    Q_OBJECT

public:
    BrowserWidget(QWidget* owner, const QString& title, ui::BrowserEvents& events);
    void Detach() { events_ = nullptr; }

    void SetLayers(const std::vector<ui::BrowserLayer>& layers);
    void ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending);
    std::vector<std::size_t> SelectedRows() const;
    void SelectRow(std::size_t row);
    void SetCount(const QString& text);
    void SetStatus(const QString& text);
    void SetCommands(const std::vector<ui::BrowserCommandState>& commands);
    // The pane that a docked viewer lives in; shown while it shows one.
    QWidget* Pane() const { return pane_; }
    void Dock(QWidget* viewer);

    QListWidget* Layers() const { return layers_; }
    BrowserTable* Table() const { return table_; }
    QLineEdit* Filter() const { return filter_; }
    QLabel* Count() const { return count_; }
    QLabel* Status() const { return status_; }
    QToolBar* Commands() const { return toolbar_; }
    // A command's action (its toolbar button and its row menu line), none when not offered.
    QAction* Command(ui::BrowserCommand command) const;
    QToolButton* CommandButton(ui::BrowserCommand command) const;
    // The row menu last opened, while it is open.
    QMenu* RowMenu() const { return rowMenu_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Tell(const std::function<void(ui::BrowserEvents&)>& event);
    void OpenRowMenu(const QPoint& at);
    void ShowPane(bool shown);

    ui::BrowserEvents* events_;
    QToolBar* toolbar_ = nullptr;
    QListWidget* layers_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* count_ = nullptr;
    BrowserTable* table_ = nullptr;
    BrowserRowsModel* model_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* pane_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<QMenu> rowMenu_;
    std::vector<ui::BrowserCommandState> commands_;
    std::vector<QAction*> actions_; // commands_'s, in the same order
    std::vector<bool> layerChecks_; // as the logic set them and the user changed them
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    int programmaticChange_ = 0;
};

// BrowserWindow for the logic: the window goes when this object does, also from inside one of
// its own events (it is then deleted by the event loop). gone is told after.
class QtBrowserWindow final : public ui::BrowserWindow {
public:
    QtBrowserWindow(QWidget* owner, const std::string& title, ui::BrowserEvents& events,
                    std::function<void()> gone = {});
    ~QtBrowserWindow() override;
    QtBrowserWindow(const QtBrowserWindow&) = delete;
    QtBrowserWindow& operator=(const QtBrowserWindow&) = delete;

    void SetLayers(const std::vector<ui::BrowserLayer>& layers) override;
    void ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending) override;
    std::vector<std::size_t> SelectedRows() const override;
    void SelectRow(std::size_t row) override;
    void SetCount(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetCommands(const std::vector<ui::BrowserCommandState>& commands) override;
    void SetClipboardText(const std::string& text) override;
    std::unique_ptr<ui::ViewerWindow> OpenDockedViewer(const std::string& title, ui::ViewerEvents& events) override;
    void Raise() override;
    BrowserWidget* Widget() const { return widget_.data(); }

private:
    QPointer<BrowserWidget> widget_;
    std::function<void()> gone_;
    bool placed_ = false;
};

} // namespace vellocar::qt
