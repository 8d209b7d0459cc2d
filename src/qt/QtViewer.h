#pragma once
// A resource viewer's window on Qt: a table, a text, a picture over its checkerboard, a tree or
// lines asked for as they come into sight, a find bar, a status line, and the zoom, channel,
// mipmap and save commands; every user action passed to the viewer's logic. And the keys that
// open a line of the resource list.

#include "ViewerWindow.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class QStackedWidget;
class QTableView;
class QTreeView;

namespace vellocar::qt {

// The rows of a table or a lines view, asked of the logic's ViewerRows as the view draws them.
class RowsModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetRows(const ui::ViewerRows* rows);
    // The same rows in another order: drawn again where they stand, the scroll position kept.
    void Reordered();
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const ui::ViewerRows* rows_ = nullptr;
    int shownRows_ = 0;
};

// A tree asked of the logic's ViewerTree branch by branch: an index's internal id is its node,
// so nothing is walked that the view has not opened.
class TreeModel final : public QAbstractItemModel {
public:
    using QAbstractItemModel::QAbstractItemModel;
    void SetTree(const ui::ViewerTree* tree);
    QModelIndex IndexOf(ui::ViewerTree::Node node) const;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ui::ViewerTree::Node NodeOf(const QModelIndex& index) const;
    const ui::ViewerTree* tree_ = nullptr;
};

// A picture drawn at a scale of screen pixels per picture pixel.
class PictureView final : public QWidget {
public:
    using QWidget::QWidget;
    void SetPicture(QImage image);
    void SetScale(double scale);
    // Told the picture pixel under the mouse as it changes, -1, -1 when the mouse leaves.
    void OnPointed(std::function<void(int, int)> pointed) { pointed_ = std::move(pointed); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Point(int x, int y);
    QImage image_;
    double scale_ = 1;
    std::function<void(int, int)> pointed_;
    QPoint pointedAt_{-1, -1};
};

// The window itself, or, docked, a part of its owner's window. Its events go to the logic until
// Detach.
class ViewerWidget final : public QWidget {
    Q_OBJECT

public:
    ViewerWidget(QWidget* owner, const QString& title, ui::ViewerEvents& events, bool docked = false);
    void Detach() { events_ = nullptr; }

    void ShowRows(const ui::ViewerRows& rows, bool monospace);
    void ShowText(const QString& text);
    void ShowPicture(QImage image);
    void SetPictureScale(double scale, ui::ViewerZoom zoom);
    void SetStatus(const QString& text);
    void ShowPictureCommands(bool shown);
    void ShowTree(const ui::ViewerTree& tree);
    void RowsChanged(int sortColumn, bool ascending);
    void SelectRow(std::size_t row);
    void SelectNode(ui::ViewerTree::Node node);
    void SetPictureChoices(const QStringList& mips, int mip, ui::ViewerChannels channels);
    void ShowConvertedSave(const QString& caption);
    void ShowTalkTableCommand(bool shown);
    // Where a new window goes: beside its owner, not over it, or cascaded from the viewer
    // opened before it; on the owner's screen. Done once, before it is first shown.
    void Place();

    QStackedWidget* Views() const { return views_; }
    QLabel* Status() const { return status_; }
    QAbstractButton* Button(const char* name) const;
    QLineEdit* FindText() const { return findText_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Tell(const std::function<void(ui::ViewerEvents&)>& event);
    QAbstractButton* AddButton(const char* name, const QString& caption);
    void ReportArea();
    void OpenFind();
    void Find(bool forward);

    ui::ViewerEvents* events_;
    QStackedWidget* views_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    PictureView* picture_ = nullptr;
    QLabel* status_ = nullptr;
    RowsModel* model_ = nullptr;
    QTreeView* tree_ = nullptr;
    TreeModel* treeModel_ = nullptr;
    QButtonGroup* channels_ = nullptr;
    QComboBox* mips_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findText_ = nullptr;
    bool placed_ = false;
    bool pictureCommands_ = false;
};

// ViewerWindow for the logic: the window goes when this object does, also from inside one of
// its own events (it is then deleted by the event loop).
class QtViewerWindow final : public ui::ViewerWindow {
public:
    // docked: a part of owner (a browser's pane) instead of a window of its own.
    QtViewerWindow(QWidget* owner, const std::string& title, ui::ViewerEvents& events, bool docked = false);
    ~QtViewerWindow() override;
    QtViewerWindow(const QtViewerWindow&) = delete;
    QtViewerWindow& operator=(const QtViewerWindow&) = delete;

    void ShowRows(const ui::ViewerRows& rows, bool monospace) override;
    void ShowText(const std::string& text) override;
    void ShowPicture(const ui::ViewerPicture& picture) override;
    void SetPictureScale(double scale, ui::ViewerZoom zoom) override;
    void SetStatus(const std::string& text) override;
    void ShowPictureCommands(bool shown) override;
    void Raise() override;
    void ShowTree(const ui::ViewerTree& tree) override;
    void RowsChanged(std::size_t sortColumn, bool ascending) override;
    void SelectRow(std::size_t row) override;
    void SelectNode(ui::ViewerTree::Node node) override;
    void SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip, ui::ViewerChannels channels) override;
    void ShowConvertedSave(const std::string& caption) override;
    void ShowTalkTableCommand(bool shown) override;
    ViewerWidget* Widget() const { return widget_.data(); }

private:
    QPointer<ViewerWidget> widget_;
};

// Enter on a list: opened(current row) instead of the list's own handling.
class OpenKeyFilter final : public QObject {
public:
    OpenKeyFilter(std::function<void(int)> opened, QObject* parent) : QObject(parent), opened_(std::move(opened)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> opened_;
};

} // namespace vellocar::qt
