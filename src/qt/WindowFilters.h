#pragma once
// What the main window on Qt does with a close and with files dropped on it, as event filters
// installed on the window. Each asks `busy` whether a build runs: the window's commands are off
// then, and the window must stay.

#include <QObject>

#include <functional>
#include <string>

class QWidget;

namespace vellocar::qt {

// Keeps the window open while a build runs: its work and its files would go on unseen.
// A close that arrives while a build runs (its listing and dialogs process events) would free
// the window under the build. It is held back and carried out once the build has ended, as
// the user asked for it.
class CloseGuard : public QObject {
public:
    CloseGuard(std::function<bool()> busy, QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RetryLater();

    std::function<bool()> busy_;
    QWidget* window_;
    bool pending_ = false;
};

// Files dropped on the window: the first local file of a drop goes to open, later, once the
// drop has ended (a message box shown inside the drop would hold the file manager that started
// the drag). Nothing is accepted while busy.
class FileDrop : public QObject {
public:
    FileDrop(std::function<bool()> busy, std::function<void(const std::string&)> open, QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> busy_;
    std::function<void(const std::string&)> open_;
};

} // namespace vellocar::qt
