#pragma once
// The main window's controls on Qt: the few widgets that behave as their Windows models do
// (the credit line, the single-selection list, the bevel, the list rows), and the widget that
// stands for each row of kLayout.

#include "Layout.h"

#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QStyledItemDelegate>

#include <functional>

namespace vellocar::qt {

// The credit line: a label that reports the pointer entering and leaving it, and a click.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnEnter, OnLeave, OnClick;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// A single-selection list that reports each click: the left button coming up over it, also
// on the line already selected, as a Windows list box does. While the button is held, the
// selection may still move with the pointer; the other buttons leave it alone.
class ChoiceList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> OnClick;
    bool ButtonHeld() const { return held_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool held_ = false;
};

// A separator that draws one etched line along its top edge and nothing else.
class TopLineBevel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Fixed-height rows with the text on one line, vertically centred, 2 pixels from the left.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(int rowHeight, QObject* parent) : QStyledItemDelegate(parent), height_(rowHeight) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int height_;
};

// The widgets' font for a layout font: the face asked for first, then look-alikes that a Linux
// desktop has, so that the captions fit their controls.
QFont FontFor(const ui::FontSpec& desc);

// The widget for a row of the layout, a child of window, in its place, font and start state.
QWidget* MakeControl(const ui::ControlSpec& desc, QWidget* window);

// A label is as wide as its layout says, or wider when its text needs more in the font that
// stands in for the Windows one: like a Windows label sized to its text, it never cuts a
// caption short. It keeps its place and height. Other controls are left as they are.
void FitLabel(QWidget* control, const ui::ControlSpec& desc);

} // namespace vellocar::qt
