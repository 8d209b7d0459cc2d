// The main window's controls on Qt, each made from its row of the layout.

#include "QtControls.h"

#include "QtText.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace vellocar::qt {

using ui::ControlKind;
using ui::ControlSpec;

// The widget of each kind, before the settings every control shares (MakeControl).
namespace {

QLabel* MakeLabel(const ControlSpec& desc, QWidget* window) {
    QLabel* label = desc.Kind == ControlKind::LinkLabel ? new LinkLabel(ToQt(desc.Caption), window)
                                                        : new QLabel(ToQt(desc.Caption), window);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (desc.Kind == ControlKind::LinkLabel) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, pal.color(QPalette::Link));
        label->setPalette(pal);
        label->setCursor(Qt::PointingHandCursor);
    }
    return label;
}

QLabel* MakeStatusPanel(const ControlSpec& desc, QWidget* window) {
    auto* panel = new QLabel(ToQt(desc.Caption), window);
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    return panel;
}

QListWidget* MakeList(const ControlSpec& desc, QWidget* window) {
    const bool single = desc.Kind == ControlKind::ListSingle;
    QListWidget* list = single ? new ChoiceList(window) : new QListWidget(window);
    list->setSelectionMode(single ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
    list->setSortingEnabled(false);
    list->setUniformItemSizes(true);
    list->setItemDelegate(new RowDelegate(desc.ItemHeight, list));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideNone);
    return list;
}

// A bar on silver in the highlight colour, with its percentage centred on it. It runs from 0
// to 100: the toolkit gives it the percentage done.
QProgressBar* MakeGauge(QWidget* window) {
    auto* bar = new QProgressBar(window);
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
    return bar;
}

QWidget* MakeWidget(const ControlSpec& desc, QWidget* window) {
    switch (desc.Kind) {
        case ControlKind::Label:
        case ControlKind::LinkLabel:
            return MakeLabel(desc, window);
        case ControlKind::Button:
            return new QPushButton(ToQt(desc.Caption), window);
        case ControlKind::StatusPanel:
            return MakeStatusPanel(desc, window);
        case ControlKind::Bevel: {
            auto* bevel = new TopLineBevel(window);
            bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
            return bevel;
        }
        case ControlKind::ListSingle:
        case ControlKind::ListMulti:
            return MakeList(desc, window);
        case ControlKind::Gauge:
            return MakeGauge(window);
    }
    return new QWidget(window);
}

} // namespace

// ---- The credit line

void LinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (OnEnter) OnEnter();
}

void LinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (OnLeave) OnLeave();
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QLabel::mousePressEvent(event);
}

// A click is a press and a release of the left button over the label, as on Windows.
void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click && OnClick) OnClick();
}

// ---- The single-selection list

void ChoiceList::mousePressEvent(QMouseEvent* event) {
    // Only the left button chooses: a right-click asks for the line's menu and leaves the
    // choice as it was, as on Windows.
    if (event->button() != Qt::LeftButton) return event->accept();
    held_ = true;
    QListWidget::mousePressEvent(event);
}

void ChoiceList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !held_) return;
    held_ = false;
    if (OnClick) OnClick();
}

// ---- The bevel and the list rows

void TopLineBevel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, 1, width() - 1, 1);
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const bool selected = (opt.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) == 0 ? QPalette::Disabled : QPalette::Normal;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(opt.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

// ---- A control for each kind

QFont FontFor(const ui::FontSpec& desc) {
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

QWidget* MakeControl(const ControlSpec& desc, QWidget* window) {
    QWidget* control = MakeWidget(desc, window);
    control->setObjectName(ToQt(desc.Name));
    control->setGeometry(desc.Left, desc.Top, desc.Width, desc.Height);
    control->setFont(FontFor(desc.Font));
    control->setEnabled(desc.Enabled);
    control->setVisible(desc.Visible);
    if (desc.TabOrder < 0) control->setFocusPolicy(Qt::NoFocus);
    FitLabel(control, desc);
    return control;
}

void FitLabel(QWidget* control, const ControlSpec& desc) {
    if (desc.Kind != ControlKind::Label && desc.Kind != ControlKind::LinkLabel) return;
    auto* label = static_cast<QLabel*>(control);
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    label->resize(std::max(desc.Width, needed), label->height());
}

} // namespace vellocar::qt
