// A resource viewer's window on Qt, made of stock widgets: a table view over the logic's rows,
// a read-only text, a scroll area with the picture, a tree view over the logic's tree, a find
// bar, a status line and a row of commands.

#include "QtViewer.h"

#include "QtText.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace vellocar::qt {

namespace {

// The window's first size, before the user makes it another.
constexpr int kStartWidth = 640;
constexpr int kStartHeight = 480;
// A table's column is never wider than this at first, however long its longest cell.
constexpr int kWidestColumn = 400;
constexpr int kCellPadding = 12;

int Clamped(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, INT_MAX)); }

// The commands of a picture, shown only with one: the zoom's three, "Save as PNG...", the
// channels' three and the mipmap choice.
constexpr const char* kPictureCommands[] = {"Fit", "Actual", "Double", "SavePng", "Rgba", "Rgb", "Alpha", "Mip"};
// How far a window opened over another one is moved, down and right, so that the title of the
// one below stays in sight.
constexpr int kCascade = 32;
// A tree's label and type columns at first; the value takes the rest.
constexpr int kTreeLabelColumn = 220;
constexpr int kTreeTypeColumn = 90;

} // namespace

// ---- The rows

void RowsModel::SetRows(const ui::ViewerRows* rows) {
    beginResetModel();
    rows_ = rows;
    shownRows_ = rows ? Clamped(rows->RowCount()) : 0;
    endResetModel();
}

void RowsModel::Reordered() {
    // A count that changed would leave the view with rows it cannot ask for: start again.
    if (!rows_ || Clamped(rows_->RowCount()) != shownRows_) return SetRows(rows_);
    if (shownRows_ > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(shownRows_ - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, std::max(0, columnCount() - 1));
}

int RowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shownRows_; }

int RowsModel::columnCount(const QModelIndex& parent) const {
    return rows_ && !parent.isValid() ? Clamped(rows_->ColumnCount()) : 0;
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
    if (!rows_ || !index.isValid() || role != Qt::DisplayRole) return {};
    return ToQt(rows_->Cell(static_cast<std::size_t>(index.row()), static_cast<std::size_t>(index.column())));
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!rows_ || orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0) return {};
    return ToQt(rows_->ColumnTitle(static_cast<std::size_t>(section)));
}

// ---- The tree

void TreeModel::SetTree(const ui::ViewerTree* tree) {
    beginResetModel();
    tree_ = tree;
    endResetModel();
}

ui::ViewerTree::Node TreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<ui::ViewerTree::Node>(index.internalId()) : ui::ViewerTree::kViewerRoot;
}

QModelIndex TreeModel::IndexOf(ui::ViewerTree::Node node) const {
    if (!tree_ || node == ui::ViewerTree::kViewerRoot) return {};
    return createIndex(Clamped(tree_->IndexInParent(node)), 0, static_cast<quintptr>(node));
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || row < 0 || column < 0 || column >= columnCount() || parent.column() > 0) return {};
    const ui::ViewerTree::Node above = NodeOf(parent);
    if (static_cast<std::size_t>(row) >= tree_->ChildCount(above)) return {};
    return createIndex(row, column, static_cast<quintptr>(tree_->Child(above, static_cast<std::size_t>(row))));
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
    if (!tree_ || !child.isValid()) return {};
    return IndexOf(tree_->Parent(NodeOf(child)));
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    // Only the first column carries branches, as QTreeView expects.
    if (!tree_ || parent.column() > 0) return 0;
    return Clamped(tree_->ChildCount(NodeOf(parent)));
}

int TreeModel::columnCount(const QModelIndex&) const { return tree_ ? Clamped(tree_->ColumnCount()) : 0; }

bool TreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TreeModel::data(const QModelIndex& index, int role) const {
    if (!tree_ || !index.isValid() || role != Qt::DisplayRole) return {};
    return ToQt(tree_->Cell(NodeOf(index), static_cast<std::size_t>(index.column())));
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!tree_ || orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0) return {};
    return ToQt(tree_->ColumnTitle(static_cast<std::size_t>(section)));
}

// ---- The picture

void PictureView::SetPicture(QImage image) {
    image_ = std::move(image);
    // Another picture (a mipmap level, the alpha): the pixel under the mouse is told again.
    pointedAt_ = QPoint(INT_MIN, INT_MIN);
    SetScale(scale_);
}

void PictureView::SetScale(double scale) {
    // scale counts screen pixels; the widget's size is in Qt's scaled ones.
    scale_ = scale;
    const double ratio = devicePixelRatioF();
    resize(std::max(1, static_cast<int>(std::lround(image_.width() * scale / ratio))),
           std::max(1, static_cast<int>(std::lround(image_.height() * scale / ratio))));
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Enlarged, every picture pixel stays a sharp square; shrunk, they are averaged.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale_ < 1);
    painter.drawImage(QRectF(rect()), image_);
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    // The widget is the picture scaled, wherever the scroll area has put it: its own
    // coordinates, in proportion, are the picture's.
    if (image_.isNull() || width() <= 0 || height() <= 0) return Point(-1, -1);
    const QPointF at = event->position();
    const auto x = static_cast<int>(std::floor(at.x() * image_.width() / width()));
    const auto y = static_cast<int>(std::floor(at.y() * image_.height() / height()));
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return Point(-1, -1);
    Point(x, y);
}

void PictureView::leaveEvent(QEvent*) { Point(-1, -1); }

void PictureView::Point(int x, int y) {
    // Once per pixel, not once per mouse move.
    if (pointedAt_ == QPoint(x, y)) return;
    pointedAt_ = QPoint(x, y);
    if (pointed_) pointed_(x, y);
}

// ---- The window

ViewerWidget::ViewerWidget(QWidget* owner, const QString& title, ui::ViewerEvents& events, bool docked)
    : QWidget(owner, docked ? Qt::Widget : Qt::Window), events_(&events), placed_(docked) {
    setObjectName(QStringLiteral("Viewer"));
    setWindowTitle(title);
    // Closing the main window ends the program, whatever viewers are still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(kStartWidth, kStartHeight);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    // The zoom and the channels are toggles as small as their captions: with the picture's
    // choice and saves they share one row, which at 200 % must still fit a screen.
    const auto toggle = [this, row](const char* name, const char* caption) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(QString::fromLatin1(caption));
        button->setCheckable(true);
        row->addWidget(button);
        return button;
    };
    auto* zoom = new QButtonGroup(this);
    const std::tuple<const char*, const char*, ui::ViewerZoom> zooms[] = {{"Fit", "Fit", ui::ViewerZoom::Fit},
                                                                          {"Actual", "1:1", ui::ViewerZoom::Actual},
                                                                          {"Double", "2x", ui::ViewerZoom::Double}};
    for (const auto& [name, caption, which] : zooms) {
        QAbstractButton* button = toggle(name, caption);
        zoom->addButton(button);
        QObject::connect(button, &QAbstractButton::clicked, this,
                         [this, which] { Tell([which](ui::ViewerEvents& e) { e.ZoomChosen(which); }); });
    }
    row->addSpacing(8);
    channels_ = new QButtonGroup(this);
    const std::tuple<const char*, const char*, ui::ViewerChannels> channels[] = {
        {"Rgba", "RGBA", ui::ViewerChannels::Rgba},
        {"Rgb", "RGB", ui::ViewerChannels::Rgb},
        {"Alpha", "Alpha", ui::ViewerChannels::Alpha}};
    for (const auto& [name, caption, which] : channels) {
        QAbstractButton* button = toggle(name, caption);
        channels_->addButton(button, static_cast<int>(which));
        QObject::connect(button, &QAbstractButton::clicked, this,
                         [this, which] { Tell([which](ui::ViewerEvents& e) { e.ChannelsChosen(which); }); });
    }
    mips_ = new QComboBox(this);
    mips_->setObjectName(QStringLiteral("Mip"));
    mips_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    mips_->setToolTip(QStringLiteral("Mipmap level"));
    row->addWidget(mips_);
    QObject::connect(mips_, &QComboBox::activated, this, [this](int level) {
        if (level >= 0) Tell([level](ui::ViewerEvents& e) { e.MipChosen(static_cast<std::size_t>(level)); });
    });
    row->addStretch();
    const std::pair<const char*, const char*> commands[] = {{"OpenTalkTable", "Open talk table..."},
                                                            {"SaveConverted", ""},
                                                            {"SavePng", "Save as PNG..."},
                                                            {"SaveAs", "Save as..."}};
    const std::function<void(ui::ViewerEvents&)> told[] = {
        [](ui::ViewerEvents& e) { e.OpenTalkTableClicked(); }, [](ui::ViewerEvents& e) { e.SaveConvertedClicked(); },
        [](ui::ViewerEvents& e) { e.SavePngClicked(); }, [](ui::ViewerEvents& e) { e.SaveAsClicked(); }};
    for (std::size_t i = 0; i < std::size(commands); ++i) {
        QAbstractButton* button = AddButton(commands[i].first, QString::fromLatin1(commands[i].second));
        row->addWidget(button);
        QObject::connect(button, &QAbstractButton::clicked, this, [this, event = told[i]] { Tell(event); });
    }

    views_ = new QStackedWidget(this);
    layout->addWidget(views_, 1);
    model_ = new RowsModel(this);
    table_ = new QTableView(views_);
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    // Rows of one height, laid out without asking every row: a hex dump may have millions.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    // A click on a column's title asks the logic to sort: the order is its, not the view's.
    table_->setSortingEnabled(false);
    table_->horizontalHeader()->setSectionsClickable(true);
    QObject::connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (column >= 0) Tell([column](ui::ViewerEvents& e) { e.ColumnClicked(static_cast<std::size_t>(column)); });
    });
    text_ = new QPlainTextEdit(views_);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    scroll_ = new QScrollArea(views_);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);
    picture_ = new PictureView(scroll_);
    picture_->setObjectName(QStringLiteral("Picture"));
    picture_->setMouseTracking(true);
    picture_->OnPointed([this](int x, int y) { Tell([x, y](ui::ViewerEvents& e) { e.PicturePointed(x, y); }); });
    scroll_->setWidget(picture_);
    scroll_->viewport()->installEventFilter(this);
    treeModel_ = new TreeModel(this);
    tree_ = new QTreeView(views_);
    // Rows of one height: the view then never measures the lines of a long branch one by one.
    tree_->setUniformRowHeights(true);
    tree_->setAllColumnsShowFocus(true);
    tree_->setModel(treeModel_);
    tree_->header()->setStretchLastSection(true);
    for (QWidget* view : {static_cast<QWidget*>(table_), static_cast<QWidget*>(text_), static_cast<QWidget*>(scroll_),
                          static_cast<QWidget*>(tree_)})
        views_->addWidget(view);

    // The find bar, under the view, until Escape.
    findBar_ = new QWidget(this);
    findBar_->setObjectName(QStringLiteral("FindBar"));
    auto* find = new QHBoxLayout(findBar_);
    find->setContentsMargins(0, 0, 0, 0);
    find->addWidget(new QLabel(QStringLiteral("Find:"), findBar_));
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("FindText"));
    findText_->installEventFilter(this);
    find->addWidget(findText_, 1);
    for (const auto& [name, caption, forward] :
         {std::tuple{"FindNext", "Next", true}, std::tuple{"FindPrevious", "Previous", false}}) {
        QAbstractButton* button = AddButton(name, QString::fromLatin1(caption));
        find->addWidget(button);
        QObject::connect(button, &QAbstractButton::clicked, this, [this, next = forward] { Find(next); });
    }
    layout->addWidget(findBar_);
    findBar_->hide();
    // Docked, the keys are the viewer's only while the keyboard is in it: the window around it
    // has its own find.
    const auto shortcut = [this, docked](const QKeySequence& keys) {
        auto* made = new QShortcut(keys, this);
        if (docked) made->setContext(Qt::WidgetWithChildrenShortcut);
        return made;
    };
    QObject::connect(shortcut(QKeySequence::Find), &QShortcut::activated, this, [this] { OpenFind(); });
    QObject::connect(shortcut(QKeySequence(Qt::Key_F3)), &QShortcut::activated, this, [this] { Find(true); });
    QObject::connect(shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3)), &QShortcut::activated, this,
                     [this] { Find(false); });

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Docked, a long status is cut at the pane's edge rather than widening the pane past its window.
    if (docked) status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(status_);

    ShowPictureCommands(false);
    ShowConvertedSave({});
    ShowTalkTableCommand(false);
}

QAbstractButton* ViewerWidget::AddButton(const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QAbstractButton* ViewerWidget::Button(const char* name) const {
    return findChild<QAbstractButton*>(QString::fromLatin1(name));
}

void ViewerWidget::Tell(const std::function<void(ui::ViewerEvents&)>& event) {
    if (!events_) return;
    // Nothing may leave a Qt slot or event handler; the logic reports its own errors.
    try {
        event(*events_);
    } catch (...) {}
}

void ViewerWidget::ShowRows(const ui::ViewerRows& rows, bool monospace) {
    const QFont font = monospace ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : this->font();
    table_->setFont(font);
    table_->setShowGrid(!monospace);
    table_->horizontalHeader()->setVisible(!monospace);
    const QFontMetrics metrics(font);
    // Before the rows come: afterwards it would resize each of them, one signal per row.
    table_->verticalHeader()->setDefaultSectionSize(metrics.height() + (monospace ? 0 : 4));
    model_->SetRows(&rows);
    table_->horizontalHeader()->setSortIndicatorShown(false);
    // A digit's width stands for a character's: wider than the average, as a table's capitals are.
    const int character = metrics.horizontalAdvance(QLatin1Char('0'));
    for (std::size_t c = 0; c < rows.ColumnCount(); ++c) {
        const int wanted = (Clamped(rows.ColumnWidth(c)) + 1) * character + kCellPadding;
        table_->setColumnWidth(static_cast<int>(c), monospace ? wanted : std::min(wanted, kWidestColumn));
    }
    views_->setCurrentWidget(table_);
}

void ViewerWidget::ShowText(const QString& text) {
    text_->setPlainText(text);
    views_->setCurrentWidget(text_);
}

void ViewerWidget::ShowPicture(QImage image) {
    picture_->SetPicture(std::move(image));
    views_->setCurrentWidget(scroll_);
    ReportArea();
}

void ViewerWidget::SetPictureScale(double scale, ui::ViewerZoom zoom) {
    // Fitted, the picture never needs the scroll bars, whose coming and going would change the
    // area it is fitted to.
    const Qt::ScrollBarPolicy bars = zoom == ui::ViewerZoom::Fit ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    scroll_->setHorizontalScrollBarPolicy(bars);
    scroll_->setVerticalScrollBarPolicy(bars);
    picture_->SetScale(scale);
    const char* name = zoom == ui::ViewerZoom::Fit ? "Fit" : zoom == ui::ViewerZoom::Actual ? "Actual" : "Double";
    if (QAbstractButton* button = Button(name)) button->setChecked(true);
}

void ViewerWidget::SetStatus(const QString& text) { status_->setText(text); }

void ViewerWidget::ShowPictureCommands(bool shown) {
    pictureCommands_ = shown;
    for (const char* name : kPictureCommands)
        if (auto* command = findChild<QWidget*>(QString::fromLatin1(name))) command->setVisible(shown);
    // An empty choice would look broken: it comes with its lines.
    mips_->setVisible(shown && mips_->count() > 0);
}

void ViewerWidget::ShowTree(const ui::ViewerTree& tree) {
    treeModel_->SetTree(&tree);
    tree_->setColumnWidth(0, kTreeLabelColumn);
    tree_->setColumnWidth(1, kTreeTypeColumn);
    views_->setCurrentWidget(tree_);
}

void ViewerWidget::RowsChanged(int sortColumn, bool ascending) {
    model_->Reordered();
    QHeaderView* header = table_->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(sortColumn, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ViewerWidget::SelectRow(std::size_t row) {
    const QModelIndex at = model_->index(Clamped(row), 0);
    if (!at.isValid()) return;
    table_->setCurrentIndex(at);
    table_->selectRow(at.row());
    table_->scrollTo(at);
}

void ViewerWidget::SelectNode(ui::ViewerTree::Node node) {
    const QModelIndex at = treeModel_->IndexOf(node);
    if (!at.isValid()) return;
    // Its branches opened from the top down, so that each is laid out once.
    QModelIndexList above;
    for (QModelIndex up = at.parent(); up.isValid(); up = up.parent()) above.prepend(up);
    for (const QModelIndex& branch : above) tree_->expand(branch);
    tree_->setCurrentIndex(at);
    tree_->scrollTo(at);
}

void ViewerWidget::SetPictureChoices(const QStringList& mips, int mip, ui::ViewerChannels channels) {
    mips_->clear();
    mips_->addItems(mips);
    mips_->setCurrentIndex(mip);
    mips_->setVisible(pictureCommands_ && !mips.isEmpty());
    if (QAbstractButton* button = channels_->button(static_cast<int>(channels))) button->setChecked(true);
}

void ViewerWidget::ShowConvertedSave(const QString& caption) {
    QAbstractButton* button = Button("SaveConverted");
    button->setText(caption);
    button->setVisible(!caption.isEmpty());
}

void ViewerWidget::ShowTalkTableCommand(bool shown) { Button("OpenTalkTable")->setVisible(shown); }

void ViewerWidget::OpenFind() {
    findBar_->show();
    findText_->setFocus(Qt::ShortcutFocusReason);
    findText_->selectAll();
}

void ViewerWidget::Find(bool forward) {
    // F3 with nothing to find opens the bar to type it in.
    if (findText_->text().isEmpty()) return OpenFind();
    const std::string text = FromQt(findText_->text());
    Tell([&text, forward](ui::ViewerEvents& e) { e.FindAsked(text, forward); });
}

void ViewerWidget::Place() {
    if (placed_) return;
    placed_ = true;
    QWidget* owner = parentWidget();
    if (!owner) return;
    // The viewer opened last and still on screen: a new one cascades from it.
    ViewerWidget* before = nullptr;
    for (auto* viewer : owner->findChildren<ViewerWidget*>(Qt::FindDirectChildrenOnly))
        if (viewer != this && viewer->isVisible()) before = viewer;
    const QRect area = owner->screen()->availableGeometry();
    const QRect beside = owner->frameGeometry();
    // Not yet shown, a window has no frame of its own: the owner's stands for it.
    const QSize frame = size() + (beside.size() - owner->size());
    QPoint at = beside.topLeft() + QPoint(kCascade, kCascade);
    if (before)
        at = before->frameGeometry().topLeft() + QPoint(kCascade, kCascade);
    else if (beside.right() + 1 + frame.width() <= area.right() + 1)
        at = QPoint(beside.right() + 1, beside.top());
    else if (beside.left() - frame.width() >= area.left())
        at = QPoint(beside.left() - frame.width(), beside.top());
    // On the owner's screen; where it is too small, with the title bar in sight.
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height())));
    move(at);
}

void ViewerWidget::ReportArea() {
    const QSize area = scroll_->viewport()->size() * devicePixelRatioF();
    Tell([area](ui::ViewerEvents& e) { e.PictureAreaResized(area.width(), area.height()); });
}

void ViewerWidget::closeEvent(QCloseEvent* event) {
    if (!events_) return event->accept();
    // The logic lets the window go, and it is then closed.
    event->ignore();
    Tell([](ui::ViewerEvents& e) { e.CloseAsked(); });
}

void ViewerWidget::keyPressEvent(QKeyEvent* event) {
    // Escape closes the find bar, else the window, as it closes a dialog; the views leave it to
    // their window.
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) return QWidget::keyPressEvent(event);
    if (findBar_->isVisible()) {
        findBar_->hide();
        views_->currentWidget()->setFocus(Qt::OtherFocusReason);
        return;
    }
    Tell([](ui::ViewerEvents& e) { e.CloseAsked(); });
}

bool ViewerWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize) ReportArea();
    if (watched == findText_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Find(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- For the logic

QtViewerWindow::QtViewerWindow(QWidget* owner, const std::string& title, ui::ViewerEvents& events, bool docked)
    : widget_(new ViewerWidget(owner, ToQt(title), events, docked)) {}

QtViewerWindow::~QtViewerWindow() {
    ViewerWidget* widget = widget_.data();
    if (!widget) return; // gone with the main window
    widget->Detach();
    widget->hide();
    widget->deleteLater();
}

void QtViewerWindow::ShowRows(const ui::ViewerRows& rows, bool monospace) {
    if (widget_) widget_->ShowRows(rows, monospace);
}

void QtViewerWindow::ShowText(const std::string& text) {
    if (widget_) widget_->ShowText(ToQt(text));
}

void QtViewerWindow::ShowPicture(const ui::ViewerPicture& picture) {
    if (!widget_ || !picture.Pixels) return;
    const QImage shared(reinterpret_cast<const uchar*>(picture.Pixels->data()), static_cast<int>(picture.Width),
                        static_cast<int>(picture.Height), static_cast<qsizetype>(picture.Width) * 4,
                        QImage::Format_RGB32);
    widget_->ShowPicture(shared.copy());
}

void QtViewerWindow::SetPictureScale(double scale, ui::ViewerZoom zoom) {
    if (widget_) widget_->SetPictureScale(scale, zoom);
}

void QtViewerWindow::SetStatus(const std::string& text) {
    if (widget_) widget_->SetStatus(ToQt(text));
}

void QtViewerWindow::ShowPictureCommands(bool shown) {
    if (widget_) widget_->ShowPictureCommands(shown);
}

void QtViewerWindow::ShowTree(const ui::ViewerTree& tree) {
    if (widget_) widget_->ShowTree(tree);
}

void QtViewerWindow::RowsChanged(std::size_t sortColumn, bool ascending) {
    if (widget_) widget_->RowsChanged(Clamped(sortColumn), ascending);
}

void QtViewerWindow::SelectRow(std::size_t row) {
    if (widget_) widget_->SelectRow(row);
}

void QtViewerWindow::SelectNode(ui::ViewerTree::Node node) {
    if (widget_) widget_->SelectNode(node);
}

void QtViewerWindow::SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip,
                                       ui::ViewerChannels channels) {
    if (!widget_) return;
    QStringList lines;
    for (const std::string& line : mips) lines << ToQt(line);
    widget_->SetPictureChoices(lines, mip < mips.size() ? static_cast<int>(mip) : -1, channels);
}

void QtViewerWindow::ShowConvertedSave(const std::string& caption) {
    if (widget_) widget_->ShowConvertedSave(ToQt(caption));
}

void QtViewerWindow::ShowTalkTableCommand(bool shown) {
    if (widget_) widget_->ShowTalkTableCommand(shown);
}

void QtViewerWindow::Raise() {
    if (!widget_) return;
    widget_->Place();
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

// ---- The resource list's Enter

bool OpenKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* view = qobject_cast<QAbstractItemView*>(watched);
    if (!view || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)) return false;
    opened_(view->currentIndex().row());
    return true;
}

} // namespace vellocar::qt
