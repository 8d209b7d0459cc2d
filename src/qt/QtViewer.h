#pragma once
// A resource viewer's window on Qt: a table, a text, a picture over its checkerboard or lines
// asked for as they come into sight, a status line, and the zoom and save buttons; every user
// action passed to the viewer's logic. And the keys that open a line of the resource list.

#include "ViewerWindow.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QListView;
class QPlainTextEdit;
class QScrollArea;
class QStackedWidget;
class QTableView;

namespace vellocar::qt {

// The rows of a table or a lines view, asked of the logic's ViewerRows as the view draws them.
class RowsModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetRows(const ui::ViewerRows* rows);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const ui::ViewerRows* rows_ = nullptr;
};

// A picture drawn at a scale of screen pixels per picture pixel.
class PictureView final : public QWidget {
public:
    using QWidget::QWidget;
    void SetPicture(QImage image);
    void SetScale(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    double scale_ = 1;
};

// The window itself. Its events go to the logic until Detach.
class ViewerWidget final : public QWidget {
    Q_OBJECT

public:
    ViewerWidget(QWidget* owner, const QString& title, ui::ViewerEvents& events);
    void Detach() { events_ = nullptr; }

    void ShowRows(const ui::ViewerRows& rows, bool monospace);
    void ShowText(const QString& text);
    void ShowPicture(QImage image);
    void SetPictureScale(double scale, ui::ViewerZoom zoom);
    void SetStatus(const QString& text);
    void ShowPictureCommands(bool shown);

    QStackedWidget* Views() const { return views_; }
    QLabel* Status() const { return status_; }
    QAbstractButton* Button(const char* name) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Tell(const std::function<void(ui::ViewerEvents&)>& event);
    QAbstractButton* AddButton(const char* name, const QString& caption);
    void ReportArea();

    ui::ViewerEvents* events_;
    QStackedWidget* views_ = nullptr;
    QTableView* table_ = nullptr;
    QListView* lines_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    PictureView* picture_ = nullptr;
    QLabel* status_ = nullptr;
    RowsModel* model_ = nullptr;
    QWidget* buttons_ = nullptr;
};

// ViewerWindow for the logic: the window goes when this object does, also from inside one of
// its own events (it is then deleted by the event loop).
class QtViewerWindow final : public ui::ViewerWindow {
public:
    QtViewerWindow(QWidget* owner, const std::string& title, ui::ViewerEvents& events);
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
    // Not yet shown by this face.
    void ShowTree(const ui::ViewerTree&) override {}
    void RowsChanged(std::size_t, bool) override {}
    void SelectRow(std::size_t) override {}
    void SelectNode(ui::ViewerTree::Node) override {}
    void SetPictureChoices(const std::vector<std::string>&, std::size_t, ui::ViewerChannels) override {}
    void ShowConvertedSave(const std::string&) override {}
    void ShowTalkTableCommand(bool) override {}

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
