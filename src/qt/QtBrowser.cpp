// The resource browser's window on Qt, made of stock widgets: a list of checkable layers, a tool
// bar of the logic's commands, a filter line, a table view over the logic's rows, a splitter's
// pane for a docked viewer, and a status line.

#include "QtBrowser.h"

#include "QtText.h"
#include "QtViewer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <iterator>

namespace vellocar::qt {

namespace {

using ui::BrowserCommand;

// The window's first size, before the user makes it another (never more than the screen has).
constexpr int kStartWidth = 1100;
constexpr int kStartHeight = 680;
// The layers' pane at first, and the share of the table and the viewer's pane once it shows.
constexpr int kLayersWidth = 180;
constexpr int kViewerShare = 40; // per cent
// A column is never wider than this at first, however long its longest cell.
constexpr int kWidestColumn = 420;
constexpr int kCellPadding = 14;

int Clamped(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, INT_MAX)); }

// Each command's object name, for its action and button.
const char* CommandName(BrowserCommand command) {
    switch (command) {
        case BrowserCommand::ChooseModule:
            return "ChooseModule";
        case BrowserCommand::AddArchive:
            return "AddArchive";
        case BrowserCommand::AddFolder:
            return "AddFolder";
        case BrowserCommand::ShowConflicts:
            return "ShowConflicts";
        case BrowserCommand::ShowShadowed:
            return "ShowShadowed";
        case BrowserCommand::DockViewer:
            return "DockViewer";
        case BrowserCommand::View:
            return "View";
        case BrowserCommand::ExportRaw:
            return "ExportRaw";
        case BrowserCommand::ExportPng:
            return "ExportPng";
        case BrowserCommand::ExportJson:
            return "ExportJson";
        case BrowserCommand::CopyName:
            return "CopyName";
        case BrowserCommand::SaveConflicts:
            return "SaveConflicts";
    }
    return "Command";
}

} // namespace

// ---- The rows

void BrowserRowsModel::SetRows(const ui::BrowserRows* rows) {
    beginResetModel();
    rows_ = rows;
    shownRows_ = rows ? Clamped(rows->RowCount()) : 0;
    endResetModel();
}

int BrowserRowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shownRows_; }

int BrowserRowsModel::columnCount(const QModelIndex& parent) const {
    return rows_ && !parent.isValid() ? Clamped(rows_->ColumnCount()) : 0;
}

QVariant BrowserRowsModel::data(const QModelIndex& index, int role) const {
    if (!rows_ || !index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    if (role == Qt::DisplayRole) return ToQt(rows_->Cell(row, column));
    if (role == Qt::TextAlignmentRole && rows_->ColumnRightAligned(column))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant BrowserRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!rows_ || orientation != Qt::Horizontal || section < 0) return {};
    const auto column = static_cast<std::size_t>(section);
    if (role == Qt::DisplayRole) return ToQt(rows_->ColumnTitle(column));
    if (role == Qt::TextAlignmentRole && rows_->ColumnRightAligned(column))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags BrowserRowsModel::flags(const QModelIndex& index) const {
    // Draggable: the view starts a drag only from an item that says so.
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

// ---- The drag

QMimeData* FilesMimeData(const std::vector<std::string>& files) {
    QList<QUrl> urls;
    for (const std::string& file : files) urls << QUrl::fromLocalFile(PathToQt(file));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void BrowserTable::startDrag(Qt::DropActions) {
    // The logic writes the files only now, when a drag really starts.
    const std::vector<std::string> files = OnDrag ? OnDrag() : std::vector<std::string>{};
    if (files.empty()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(FilesMimeData(files));
    // Copied: the files are the logic's own, in a folder of its own.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

// ---- The window

BrowserWidget::BrowserWidget(QWidget* owner, const QString& title, ui::BrowserEvents& events)
    : QWidget(owner, Qt::Window), events_(&events) {
    setObjectName(QStringLiteral("Browser"));
    setWindowTitle(title);
    // Its end is the logic's: the program ends with its last browser when the main window is hidden.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("Commands"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(toolbar_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    layout->addWidget(splitter_, 1);

    layers_ = new QListWidget(splitter_);
    layers_->setObjectName(QStringLiteral("Layers"));
    layers_->setSelectionMode(QAbstractItemView::NoSelection);
    // The warning mark as tall as a line of text, and a place kept for it on every line, so that
    // the names stand in one column.
    const int mark = fontMetrics().height();
    layers_->setIconSize(QSize(mark, mark));
    layers_->setSpacing(2);
    QObject::connect(layers_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = layers_->row(item);
        if (programmaticChange_ != 0 || row < 0 || static_cast<std::size_t>(row) >= layerChecks_.size()) return;
        // A change of text or tooltip signals too: only the check box's counts.
        const bool checked = item->checkState() == Qt::Checked;
        if (layerChecks_[static_cast<std::size_t>(row)] == checked) return;
        layerChecks_[static_cast<std::size_t>(row)] = checked;
        Tell([row, checked](ui::BrowserEvents& e) { e.LayerChecked(static_cast<std::size_t>(row), checked); });
    });

    auto* centre = new QWidget(splitter_);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    auto* filterRow = new QHBoxLayout;
    column->addLayout(filterRow);
    auto* filterLabel = new QLabel(QStringLiteral("&Filter:"), centre);
    filter_ = new QLineEdit(centre);
    filter_->setObjectName(QStringLiteral("Filter"));
    filter_->setPlaceholderText(QStringLiteral("name, *.2da or type:2da"));
    filter_->setClearButtonEnabled(true);
    filterLabel->setBuddy(filter_);
    QObject::connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        const std::string typed = FromQt(text);
        Tell([&typed](ui::BrowserEvents& e) { e.FilterChanged(typed); });
    });
    count_ = new QLabel(centre);
    count_->setObjectName(QStringLiteral("Count"));
    count_->setTextFormat(Qt::PlainText);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    filterRow->addWidget(count_);

    model_ = new BrowserRowsModel(this);
    table_ = new BrowserTable(centre);
    table_->setObjectName(QStringLiteral("Resources"));
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    // Rows of one height, laid out without asking every row: there may be hundreds of thousands.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    // A click on a column's title asks the logic to sort: the order is its, not the view's.
    table_->setSortingEnabled(false);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->setDragEnabled(true);
    table_->setDragDropMode(QAbstractItemView::DragOnly);
    table_->OnDrag = [this] {
        std::vector<std::string> files;
        Tell([&files](ui::BrowserEvents& e) { files = e.DragStarted(); });
        return files;
    };
    column->addWidget(table_, 1);
    QObject::connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        // The header has turned its arrow already: it shows what the logic says, and the logic
        // answers this click with the rows in their new order.
        table_->horizontalHeader()->setSortIndicator(sortColumn_, sortOrder_);
        if (section >= 0) Tell([section](ui::BrowserEvents& e) { e.ColumnClicked(static_cast<std::size_t>(section)); });
    });
    QObject::connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (programmaticChange_ == 0) Tell([](ui::BrowserEvents& e) { e.SelectionChanged(); });
    });
    const auto opened = [this](int row) {
        if (row >= 0) Tell([row](ui::BrowserEvents& e) { e.RowOpened(static_cast<std::size_t>(row)); });
    };
    QObject::connect(table_, &QAbstractItemView::doubleClicked, this,
                     [opened](const QModelIndex& index) { opened(index.row()); });
    table_->installEventFilter(new OpenKeyFilter(opened, table_));
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { OpenRowMenu(at); });
    // Ctrl+C copies the names as the logic writes them, not the cell under the cursor.
    auto* copy = new QShortcut(QKeySequence::Copy, table_);
    copy->setContext(Qt::WidgetShortcut);
    QObject::connect(copy, &QShortcut::activated, this, [this] {
        const QAction* action = Command(BrowserCommand::CopyName);
        if (!action || action->isEnabled())
            Tell([](ui::BrowserEvents& e) { e.CommandChosen(BrowserCommand::CopyName); });
    });

    pane_ = new QWidget(splitter_);
    pane_->setObjectName(QStringLiteral("ViewerPane"));
    auto* paneLayout = new QVBoxLayout(pane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    pane_->hide();
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 1);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long status never widens the window: it is cut at the window's edge.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(status_);

    // The font's own measure: at 200 % everything doubles, and the window still fits its screen.
    const int character = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    splitter_->setSizes({std::max(kLayersWidth, 22 * character), kStartWidth, 0});
    QSize start(kStartWidth, kStartHeight);
    if (const QScreen* screen = this->screen()) start = start.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(start);
    table_->setFocus(Qt::OtherFocusReason);
}

void BrowserWidget::Tell(const std::function<void(ui::BrowserEvents&)>& event) {
    if (!events_) return;
    // Nothing may leave a Qt slot or event handler; the logic reports its own errors.
    try {
        event(*events_);
    } catch (...) {}
}

void BrowserWidget::SetLayers(const std::vector<ui::BrowserLayer>& layers) {
    ++programmaticChange_;
    // The same lines again (a count changed, a check box): changed in place, the scroll kept.
    if (layers_->count() != Clamped(layers.size())) {
        layers_->clear();
        for (std::size_t i = 0; i < layers.size(); ++i) layers_->addItem(new QListWidgetItem);
    }
    layerChecks_.clear();
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    QPixmap blank(layers_->iconSize());
    blank.fill(Qt::transparent);
    const QIcon none(blank);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const ui::BrowserLayer& layer = layers[i];
        QListWidgetItem* item = layers_->item(static_cast<int>(i));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setText(ToQt(layer.Text));
        item->setToolTip(ToQt(layer.Tooltip));
        item->setCheckState(layer.Checked ? Qt::Checked : Qt::Unchecked);
        item->setIcon(layer.Problem ? warning : none);
        layerChecks_.push_back(layer.Checked);
    }
    --programmaticChange_;
}

void BrowserWidget::ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending) {
    ++programmaticChange_;
    const QFontMetrics metrics(table_->font());
    // Before the rows come: afterwards it would resize each of them, one signal per row.
    table_->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    const int columnsBefore = model_->columnCount();
    model_->SetRows(&rows);
    table_->selectionModel()->clear();
    --programmaticChange_;

    QHeaderView* header = table_->horizontalHeader();
    const bool sorted = sortColumn < rows.ColumnCount();
    sortColumn_ = sorted ? Clamped(sortColumn) : -1;
    sortOrder_ = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    header->setSortIndicatorShown(sorted);
    header->setSortIndicator(sortColumn_, sortOrder_);
    // Columns sized once for what they hold; the user's widths are kept while the columns stay.
    if (columnsBefore == model_->columnCount()) return;
    // A digit's width stands for a character's: wider than the average, as capitals are.
    const int character = metrics.horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics headerMetrics(header->font());
    for (std::size_t c = 0; c < rows.ColumnCount(); ++c) {
        // The title and its sort arrow fit too.
        const int title = headerMetrics.horizontalAdvance(ToQt(rows.ColumnTitle(c))) + 2 * kCellPadding + character;
        const int wanted = (Clamped(rows.ColumnWidth(c)) + 1) * character + kCellPadding;
        table_->setColumnWidth(static_cast<int>(c), std::max(title, std::min(wanted, kWidestColumn)));
    }
}

std::vector<std::size_t> BrowserWidget::SelectedRows() const {
    // Row ranges, not one index per selected cell: a selection may hold every row.
    std::vector<std::size_t> rows;
    for (const QItemSelectionRange& range : table_->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(static_cast<std::size_t>(row));
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void BrowserWidget::SelectRow(std::size_t row) {
    const QModelIndex at = model_->index(Clamped(row), 0);
    if (!at.isValid()) return;
    ++programmaticChange_;
    table_->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    --programmaticChange_;
    table_->scrollTo(at);
}

void BrowserWidget::SetCount(const QString& text) { count_->setText(text); }

void BrowserWidget::SetStatus(const QString& text) {
    status_->setText(text);
    status_->setToolTip(text);
}

void BrowserWidget::SetCommands(const std::vector<ui::BrowserCommandState>& commands) {
    const bool same = commands.size() == commands_.size() &&
        std::equal(commands.begin(), commands.end(), commands_.begin(),
                   [](const auto& a, const auto& b) { return a.Command == b.Command; });
    if (!same) {
        // This may run inside one of the actions' own signals: they go with the event loop.
        toolbar_->clear();
        for (QAction* action : actions_) action->deleteLater();
        actions_.clear();
        for (const ui::BrowserCommandState& state : commands) {
            auto* action = new QAction(this);
            action->setObjectName(QString::fromLatin1(CommandName(state.Command)));
            const BrowserCommand command = state.Command;
            QObject::connect(action, &QAction::triggered, this, [this, action, command](bool checked) {
                // A toggle is drawn as the logic says, in its next SetCommands.
                if (action->isCheckable()) action->setChecked(!checked);
                Tell([command](ui::BrowserEvents& e) { e.CommandChosen(command); });
            });
            toolbar_->addAction(action);
            actions_.push_back(action);
        }
    }
    commands_ = commands;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        QAction* action = actions_[i];
        action->setText(ToQt(commands[i].Caption));
        // A tool button shows the icon text, which Qt makes from the text without its "...": the
        // points say that a dialog comes, so they stay.
        action->setIconText(ToQt(commands[i].Caption));
        action->setEnabled(commands[i].Enabled);
        action->setCheckable(commands[i].Toggle);
        action->setChecked(commands[i].Toggle && commands[i].Checked);
    }
}

QAction* BrowserWidget::Command(BrowserCommand command) const {
    for (std::size_t i = 0; i < commands_.size(); ++i)
        if (commands_[i].Command == command) return actions_[i];
    return nullptr;
}

QToolButton* BrowserWidget::CommandButton(BrowserCommand command) const {
    QAction* action = Command(command);
    return action ? qobject_cast<QToolButton*>(toolbar_->widgetForAction(action)) : nullptr;
}

void BrowserWidget::OpenRowMenu(const QPoint& at) {
    if (rowMenu_) rowMenu_->deleteLater();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("RowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (std::size_t i = 0; i < commands_.size(); ++i)
        if (commands_[i].InRowMenu) menu->addAction(actions_[i]);
    if (menu->isEmpty()) return menu->deleteLater();
    rowMenu_ = menu;
    // Not exec(): the logic may close this window from a command, which must not pull the
    // menu's event loop from under it.
    menu->popup(table_->viewport()->mapToGlobal(at));
}

void BrowserWidget::Dock(QWidget* viewer) {
    // Hidden until its Raise; its showing and hiding show and hide the pane.
    viewer->hide();
    pane_->layout()->addWidget(viewer);
    viewer->installEventFilter(this);
}

void BrowserWidget::ShowPane(bool shown) {
    if (shown == !pane_->isHidden()) return;
    if (!shown) return pane_->hide();
    // The table and the viewer share what the layers leave.
    QList<int> sizes = splitter_->sizes();
    const int shared = sizes[1] + sizes[2];
    sizes[2] = shared * kViewerShare / 100;
    sizes[1] = shared - sizes[2];
    pane_->show();
    splitter_->setSizes(sizes);
}

bool BrowserWidget::eventFilter(QObject* watched, QEvent* event) {
    // A docked viewer shown, hidden or gone: the pane is shown while one of them shows.
    if (event->type() == QEvent::ShowToParent) ShowPane(true);
    if (event->type() == QEvent::HideToParent) {
        bool any = false;
        for (const QWidget* viewer : pane_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            any = any || (viewer != watched && !viewer->isHidden());
        ShowPane(any);
    }
    return QWidget::eventFilter(watched, event);
}

void BrowserWidget::closeEvent(QCloseEvent* event) {
    if (!events_) return event->accept();
    // The logic lets the window go, and it is then closed.
    event->ignore();
    Tell([](ui::BrowserEvents& e) { e.CloseAsked(); });
}

void BrowserWidget::keyPressEvent(QKeyEvent* event) {
    // Ctrl+F goes to the filter, Escape closes the window, as it closes a dialog. Both come here
    // as keys the controls leave, not as shortcuts: a docked viewer has its own, and takes them
    // while the keyboard is in it.
    if (event->matches(QKeySequence::Find)) {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
        return;
    }
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) return QWidget::keyPressEvent(event);
    Tell([](ui::BrowserEvents& e) { e.CloseAsked(); });
}

// ---- For the logic

QtBrowserWindow::QtBrowserWindow(QWidget* owner, const std::string& title, ui::BrowserEvents& events,
                                 std::function<void()> gone)
    : widget_(new BrowserWidget(owner, ToQt(title), events)), gone_(std::move(gone)) {}

QtBrowserWindow::~QtBrowserWindow() {
    if (BrowserWidget* widget = widget_.data()) {
        widget->Detach();
        widget->hide();
        widget->deleteLater();
    }
    if (gone_) gone_();
}

void QtBrowserWindow::SetLayers(const std::vector<ui::BrowserLayer>& layers) {
    if (widget_) widget_->SetLayers(layers);
}

void QtBrowserWindow::ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending) {
    if (widget_) widget_->ShowRows(rows, sortColumn, ascending);
}

std::vector<std::size_t> QtBrowserWindow::SelectedRows() const {
    return widget_ ? widget_->SelectedRows() : std::vector<std::size_t>{};
}

void QtBrowserWindow::SelectRow(std::size_t row) {
    if (widget_) widget_->SelectRow(row);
}

void QtBrowserWindow::SetCount(const std::string& text) {
    if (widget_) widget_->SetCount(ToQt(text));
}

void QtBrowserWindow::SetStatus(const std::string& text) {
    if (widget_) widget_->SetStatus(ToQt(text));
}

void QtBrowserWindow::SetCommands(const std::vector<ui::BrowserCommandState>& commands) {
    if (widget_) widget_->SetCommands(commands);
}

void QtBrowserWindow::SetClipboardText(const std::string& text) { QApplication::clipboard()->setText(ToQt(text)); }

std::unique_ptr<ui::ViewerWindow> QtBrowserWindow::OpenDockedViewer(const std::string& title,
                                                                    ui::ViewerEvents& events) {
    // With its window gone (the main window's end), a window of its own stands in.
    if (!widget_) return std::make_unique<QtViewerWindow>(nullptr, title, events);
    auto viewer = std::make_unique<QtViewerWindow>(widget_->Pane(), title, events, true);
    widget_->Dock(viewer->Widget());
    return viewer;
}

void QtBrowserWindow::Raise() {
    // One look at the guarded pointer: the widget cannot go while this runs.
    QWidget* const widget = widget_.data();
    if (!widget) return;
    if (!placed_) {
        placed_ = true;
        // Centred on its screen the first time.
        if (const QScreen* screen = widget->screen()) {
            const QRect area = screen->availableGeometry();
            const QSize size = widget->size();
            widget->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    }
    widget->show();
    widget->raise();
    widget->activateWindow();
}

} // namespace vellocar::qt
