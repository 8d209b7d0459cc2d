#include "QtToolkit.h"

#include "Main.h"
#include "Progress.h"
#include "WineRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace vellocar::qt {

using ui::ControlId;
using ui::ControlKind;
using ui::ControlSpec;

namespace {

// Strings cross the window logic as bytes: file names as the file system spells them.
QString ToQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }
std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The exact bytes of a list line, kept beside its display text: a file name that is not valid
// UTF-8 must come back unchanged, or the build would look for a file that is not there.
constexpr int kLineBytesRole = Qt::UserRole + 1;

// The credit line: a label that reports the pointer entering and leaving it, and a click.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnEnter, OnLeave, OnClick;

protected:
    void enterEvent(QEnterEvent* event) override {
        QLabel::enterEvent(event);
        if (OnEnter) OnEnter();
    }
    void leaveEvent(QEvent* event) override {
        QLabel::leaveEvent(event);
        if (OnLeave) OnLeave();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) pressed_ = true;
        QLabel::mousePressEvent(event);
    }
    // A click is a press and a release of the left button over the label, as on Windows.
    void mouseReleaseEvent(QMouseEvent* event) override {
        bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
        pressed_ = false;
        QLabel::mouseReleaseEvent(event);
        if (click && OnClick) OnClick();
    }

private:
    bool pressed_ = false;
};

// A separator that draws one etched line along its top edge and nothing else.
class TopLineBevel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

// A single-selection list that reports each click: the left button coming up over it, also
// on the line already selected, as a Windows list box does. While the button is held, the
// selection may still move with the pointer.
class ChoiceList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> OnClick;
    bool ButtonHeld() const { return held_; }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) held_ = true;
        QListWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QListWidget::mouseReleaseEvent(event);
        if (event->button() != Qt::LeftButton || !held_) return;
        held_ = false;
        if (OnClick) OnClick();
    }

private:
    bool held_ = false;
};

// Fixed-height rows with the text on one line, vertically centred, 2 pixels from the left.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(int rowHeight, QObject* parent) : QStyledItemDelegate(parent), height_(rowHeight) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        const QPalette::ColorGroup group =
            (opt.state & QStyle::State_Enabled) == 0 ? QPalette::Disabled : QPalette::Normal;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(opt.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }

private:
    int height_;
};

// Keeps the window open while a build runs: its work and its files would go on unseen.
// A close that arrives while a build runs (its listing and dialogs process events) would free
// the window under the build. It is held back and carried out once the build has ended, as
// the user asked for it.
class CloseGuard : public QObject {
public:
    CloseGuard(std::function<bool()> busy, QWidget* window)
        : QObject(window), busy_(std::move(busy)), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && busy_()) {
            event->ignore();
            if (!pending_) {
                pending_ = true;
                RetryLater();
            }
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kRetryMs = 100;

    void RetryLater() {
        QTimer::singleShot(kRetryMs, this, [this] {
            if (busy_()) {
                RetryLater();
                return;
            }
            pending_ = false;
            window_->close();
        });
    }

    std::function<bool()> busy_;
    QWidget* window_;
    bool pending_ = false;
};

// Files dropped on the window: the first local file of a drop goes to open, later, once the
// drop has ended (a message box shown inside the drop would hold the file manager that started
// the drag). Nothing is accepted while busy says so: the window's commands are off then.
class FileDrop : public QObject {
public:
    FileDrop(std::function<bool()> busy, std::function<void(const std::string&)> open, QWidget* window)
        : QObject(window), busy_(std::move(busy)), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (!busy_() && DroppedFile(drag->mimeData()))
                    drag->acceptProposedAction();
                else
                    drag->ignore();
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const auto path = DroppedFile(drop->mimeData());
                if (!path) {
                    drop->ignore();
                    return true;
                }
                drop->acceptProposedAction();
                QTimer::singleShot(0, this, [this, file = *path] { open_(file); });
                return true;
            }
            default:
                return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<bool()> busy_;
    std::function<void(const std::string&)> open_;
};

// A label is as wide as its layout says, or wider when its text needs more in the font that
// stands in for the Windows one: like a Windows label sized to its text, it never cuts a
// caption short. It keeps its place and height.
void FitLabel(QLabel* label, int layoutWidth) {
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    label->resize(std::max(layoutWidth, needed), label->height());
}

bool UseNonNativeDialogs() {
    // The dialogs honour the default suffix, the filter and "no overwrite prompt" the same way
    // everywhere only when they are Qt's own; a desktop portal's dialog may not.
    return true;
}

// The folder a dialog starts in, if it exists. The window logic joins the game folder and
// "data" with a backslash; read it as a slash when the name as given does not exist.
std::optional<QString> ExistingFolder(const std::string& folder) {
    if (folder.empty()) return std::nullopt;
    QString path = PathToQt(folder);
    if (QFileInfo(path).isDir()) return path;
    QString slashed = path;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(slashed).isDir()) return slashed;
    return std::nullopt;
}

} // namespace

std::optional<std::string> DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return std::nullopt;
    const QString path = urls.front().toLocalFile();
    if (path.isEmpty()) return std::nullopt;
    return PathFromQt(path);
}

std::optional<std::string> KeyFileArgument(const QStringList& arguments) {
    // Qt has taken its own options out already; "--" ends the options, so that a file named
    // "-x" can still be given.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--")) {
            if (i + 1 < arguments.size()) return PathFromQt(QFileInfo(arguments[i + 1]).absoluteFilePath());
            return std::nullopt;
        }
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        // A desktop entry may hand over a file:// URL instead of a path.
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        // Full, as the Open dialog gives it.
        return PathFromQt(QFileInfo(path).absoluteFilePath());
    }
    return std::nullopt;
}

QStringList QtFilters(const std::string& windowsFilter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t bar = windowsFilter.find('|', start);
        parts.push_back(windowsFilter.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    QStringList filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        QString masks = ToQt(parts[i + 1]);
        masks.replace(QLatin1Char(';'), QLatin1Char(' '));
        masks = masks.simplified();
        if (masks.isEmpty()) continue;
        filters << ToQt(parts[i]) + QStringLiteral(" (") + masks + QStringLiteral(")");
    }
    return filters;
}

QFont QtToolkit::FontFor(const ui::FontSpec& desc) {
    QFont font;
    QStringList families{ToQt(desc.Face)};
    // Metric look-alikes first, so captions laid out for the Windows faces fit their controls.
    if (desc.Face == "Arial")
        families << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo");
    else
        families << QStringLiteral("Liberation Sans") << QStringLiteral("Arial");
    families << QStringLiteral("DejaVu Sans");
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(desc.HeightPx);
    font.setBold(desc.Bold);
    font.setItalic(desc.Italic);
    return font;
}

QtToolkit::QtToolkit() : window_(std::make_unique<QWidget>()) {
    BuildWidgets();
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

void QtToolkit::BuildWidgets() {
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

    // kLayout's order is the stacking order: later controls lie above earlier ones (the gauge
    // over the credit line, the credit line over its strip).
    for (const ControlSpec& desc : ui::kLayout) {
        QWidget* control = nullptr;
        switch (desc.Kind) {
            case ControlKind::Label: {
                auto* label = new QLabel(ToQt(desc.Caption), w);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                control = label;
                break;
            }
            case ControlKind::LinkLabel: {
                auto* label = new LinkLabel(ToQt(desc.Caption), w);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                QPalette pal = label->palette();
                pal.setColor(QPalette::WindowText, pal.color(QPalette::Link));
                label->setPalette(pal);
                label->setCursor(Qt::PointingHandCursor);
                control = label;
                break;
            }
            case ControlKind::Button:
                control = new QPushButton(ToQt(desc.Caption), w);
                break;
            case ControlKind::StatusPanel: {
                auto* panel = new QLabel(ToQt(desc.Caption), w);
                panel->setTextFormat(Qt::PlainText);
                panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                panel->setAlignment(Qt::AlignCenter);
                control = panel;
                break;
            }
            case ControlKind::Bevel:
                control = new TopLineBevel(w);
                control->setAttribute(Qt::WA_TransparentForMouseEvents);
                break;
            case ControlKind::ListSingle:
            case ControlKind::ListMulti: {
                auto* list = desc.Kind == ControlKind::ListSingle ? new ChoiceList(w) : new QListWidget(w);
                list->setSelectionMode(desc.Kind == ControlKind::ListSingle ? QAbstractItemView::SingleSelection
                                                                            : QAbstractItemView::ExtendedSelection);
                list->setSortingEnabled(false);
                list->setUniformItemSizes(true);
                list->setItemDelegate(new RowDelegate(desc.ItemHeight, list));
                list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                list->setTextElideMode(Qt::ElideNone);
                control = list;
                break;
            }
            case ControlKind::Gauge: {
                auto* bar = new QProgressBar(w);
                bar->setRange(0, 100);
                bar->setValue(0);
                bar->setTextVisible(true);
                bar->setFormat(QStringLiteral("%p%"));
                bar->setAlignment(Qt::AlignCenter);
                const QColor highlight = bar->palette().color(QPalette::Highlight);
                bar->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: silver; "
                                                  "color: black; text-align: center; }"
                                                  "QProgressBar::chunk { background: %1; }")
                                       .arg(highlight.name()));
                control = bar;
                break;
            }
        }
        control->setObjectName(ToQt(desc.Name));
        control->setGeometry(desc.Left, desc.Top, desc.Width, desc.Height);
        control->setFont(FontFor(desc.Font));
        control->setEnabled(desc.Enabled);
        control->setVisible(desc.Visible);
        if (desc.TabOrder < 0) control->setFocusPolicy(Qt::NoFocus);
        if (desc.Kind == ControlKind::Label || desc.Kind == ControlKind::LinkLabel)
            FitLabel(static_cast<QLabel*>(control), desc.Width);
        widgets_[static_cast<std::size_t>(desc.Id)] = control;
    }

    std::vector<const ControlSpec*> tabbed;
    for (const ControlSpec& desc : ui::kLayout)
        if (desc.TabOrder >= 0) tabbed.push_back(&desc);
    std::sort(tabbed.begin(), tabbed.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->TabOrder < b->TabOrder; });
    for (std::size_t i = 0; i + 1 < tabbed.size(); ++i)
        QWidget::setTabOrder(Widget(tabbed[i]->Id), Widget(tabbed[i + 1]->Id));

    menu_ = new QMenu(w);
    menu_->setObjectName(QStringLiteral("PopupMenu1"));
    for (std::size_t i = 0; i < ui::kPopupMenu1.size(); ++i) {
        actions_[i] = menu_->addAction(ToQt(ui::kPopupMenu1[i].Caption));
        actions_[i]->setObjectName(ToQt(ui::kPopupMenu1[i].Name));
    }

    w->installEventFilter(new CloseGuard([this] { return form_ && form_->Busy(); }, w));
    w->setAcceptDrops(true);
    w->installEventFilter(new FileDrop(
        [this] { return form_ && form_->Busy(); },
        [this](const std::string& path) { Forward([&path](ui::TForm1& form) { form.KeyFileGiven(path); }); }, w));
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
        } else if (desc.Kind == ControlKind::ListSingle) {
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
        } else if (desc.Kind == ControlKind::ListMulti) {
            // Every click counts, also one that leaves the selection as it was.
            QListWidget* list = List(id);
            auto notify = [this, id] { Forward([id](ui::TForm1& f) { f.SelectionChanged(id); }); };
            QObject::connect(list, &QListWidget::itemSelectionChanged, window_.get(), notify);
            QObject::connect(list, &QAbstractItemView::pressed, window_.get(), notify);
        }
    }
    for (std::size_t i = 0; i < ui::kPopupMenu1.size(); ++i) {
        const ui::MenuItemId item = ui::kPopupMenu1[i].Id;
        QObject::connect(actions_[i], &QAction::triggered, window_.get(),
                         [this, item] { Forward([item](ui::TForm1& f) { f.MenuItemClicked(item); }); });
    }
}

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
        const ui::ControlSpec& desc = ui::LayoutOf(id);
        if (desc.Kind == ControlKind::Label || desc.Kind == ControlKind::LinkLabel) FitLabel(label, desc.Width);
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
    const ui::ControlSpec& desc = ui::LayoutOf(id);
    if (desc.Kind == ControlKind::Label || desc.Kind == ControlKind::LinkLabel)
        FitLabel(static_cast<QLabel*>(w), desc.Width);
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
void QtToolkit::ApplyGauge() { GaugeBar()->setValue(GaugePercent(gaugeMin_, gaugeMax_, gaugeProgress_)); }

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

std::optional<std::string> QtToolkit::RunFileDialog(const ui::FileDialogSpec& desc) {
    QFileDialog dialog(window_.get());
    if (!desc.Title.empty()) dialog.setWindowTitle(ToQt(desc.Title));
    dialog.setOption(QFileDialog::DontUseNativeDialog, UseNonNativeDialogs());
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !desc.OverwritePrompt);
    if (desc.DialogMode == ui::FileDialogSpec::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QStringList filters = QtFilters(desc.Filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    std::string suffix = desc.DefaultExt;
    while (!suffix.empty() && suffix.front() == '.') suffix.erase(0, 1);
    if (!suffix.empty()) dialog.setDefaultSuffix(ToQt(suffix));
    if (auto folder = ExistingFolder(desc.InitialDir)) dialog.setDirectory(*folder);
    dialog.setSizeGripEnabled(desc.EnableSizing);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return PathFromQt(QDir::cleanPath(chosen.first()));
}

std::optional<std::string> QtToolkit::BrowseForFolder(const std::string& prompt, const std::string& initialFolder) {
    QFileDialog dialog(window_.get(), ToQt(prompt));
    dialog.setOption(QFileDialog::DontUseNativeDialog, UseNonNativeDialogs());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (auto folder = ExistingFolder(initialFolder)) dialog.setDirectory(*folder);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    // cleanPath drops a trailing slash but keeps the root's.
    const QString folder = QDir::cleanPath(chosen.first());
    if (!QFileInfo(folder).isDir()) return std::nullopt;
    return PathFromQt(folder);
}

ui::MessageAnswer QtToolkit::ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) {
    QMessageBox box(window_.get());
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQt(text));
    box.setWindowTitle(ToQt(title));
    switch (kind) {
        case ui::MessageKind::Ok:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case ui::MessageKind::OkError:
            box.setIcon(QMessageBox::Critical);
            break;
        case ui::MessageKind::OkWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case ui::MessageKind::YesNo:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if (kind == ui::MessageKind::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    box.exec();
    if (kind != ui::MessageKind::YesNo) return ui::MessageAnswer::Ok;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? ui::MessageAnswer::Yes : ui::MessageAnswer::No;
}

std::optional<std::string> QtToolkit::ReadRegistryString(const std::string& key, const std::string& value) {
    return ReadWineRegistryString(WinePrefix(), key, value);
}

void QtToolkit::ShellOpen(const std::string& target) {
    QDesktopServices::openUrl(QUrl(ToQt(target), QUrl::TolerantMode));
}

void QtToolkit::RepaintNow() { window_->repaint(); }
void QtToolkit::ProcessMessages() { QCoreApplication::processEvents(); }

} // namespace vellocar::qt
