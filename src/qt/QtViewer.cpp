// A resource viewer's window on Qt, made of stock widgets: a table view over the logic's rows,
// a read-only text, a scroll area with the picture, a status line and a row of buttons.

#include "QtViewer.h"

#include "QtText.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>

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

// The buttons of a picture, shown only with one: the zoom's three and "Save as PNG...".
constexpr const char* kPictureButtons[] = {"Fit", "Actual", "Double", "SavePng"};

} // namespace

// ---- The rows

void RowsModel::SetRows(const ui::ViewerRows* rows) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

int RowsModel::rowCount(const QModelIndex& parent) const {
    return rows_ && !parent.isValid() ? Clamped(rows_->RowCount()) : 0;
}

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

// ---- The picture

void PictureView::SetPicture(QImage image) {
    image_ = std::move(image);
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

// ---- The window

ViewerWidget::ViewerWidget(QWidget* owner, const QString& title, ui::ViewerEvents& events)
    : QWidget(owner, Qt::Window), events_(&events) {
    setObjectName(QStringLiteral("Viewer"));
    setWindowTitle(title);
    // Closing the main window ends the program, whatever viewers are still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(kStartWidth, kStartHeight);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    auto* zoom = new QButtonGroup(this);
    const std::tuple<const char*, const char*, ui::ViewerZoom> zooms[] = {{"Fit", "Fit", ui::ViewerZoom::Fit},
                                                                          {"Actual", "1:1", ui::ViewerZoom::Actual},
                                                                          {"Double", "2x", ui::ViewerZoom::Double}};
    for (const auto& [name, caption, which] : zooms) {
        QAbstractButton* button = AddButton(name, QString::fromLatin1(caption));
        button->setCheckable(true);
        zoom->addButton(button);
        row->addWidget(button);
        QObject::connect(button, &QAbstractButton::clicked, this,
                         [this, which] { Tell([which](ui::ViewerEvents& e) { e.ZoomChosen(which); }); });
    }
    row->addStretch();
    for (const auto& [name, caption] : {std::pair{"SavePng", "Save as PNG..."}, std::pair{"SaveAs", "Save as..."}}) {
        QAbstractButton* button = AddButton(name, QString::fromLatin1(caption));
        row->addWidget(button);
        const bool png = name == std::string_view("SavePng");
        QObject::connect(button, &QAbstractButton::clicked, this, [this, png] {
            Tell([png](ui::ViewerEvents& e) { png ? e.SavePngClicked() : e.SaveAsClicked(); });
        });
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
    text_ = new QPlainTextEdit(views_);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    scroll_ = new QScrollArea(views_);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);
    picture_ = new PictureView(scroll_);
    scroll_->setWidget(picture_);
    scroll_->viewport()->installEventFilter(this);
    for (QWidget* view : {static_cast<QWidget*>(table_), static_cast<QWidget*>(text_), static_cast<QWidget*>(scroll_)})
        views_->addWidget(view);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    ShowPictureCommands(false);
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
    for (const char* name : kPictureButtons)
        if (QAbstractButton* button = Button(name)) button->setVisible(shown);
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
    // Escape closes the window, as it closes a dialog; the views leave it to their window.
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) return QWidget::keyPressEvent(event);
    Tell([](ui::ViewerEvents& e) { e.CloseAsked(); });
}

bool ViewerWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize) ReportArea();
    return QWidget::eventFilter(watched, event);
}

// ---- For the logic

QtViewerWindow::QtViewerWindow(QWidget* owner, const std::string& title, ui::ViewerEvents& events)
    : widget_(new ViewerWidget(owner, ToQt(title), events)) {}

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

void QtViewerWindow::Raise() {
    if (!widget_) return;
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
