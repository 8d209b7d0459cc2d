// The main window's close held back during a build, and the files dropped on it.

#include "WindowFilters.h"

#include "QtServices.h"

#include <QDropEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace vellocar::qt {

namespace {
// How often a held-back close asks again whether the build has ended.
constexpr int kRetryMs = 100;
} // namespace

CloseGuard::CloseGuard(std::function<bool()> busy, QWidget* window)
    : QObject(window), busy_(std::move(busy)), window_(window) {}

bool CloseGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Close || !busy_()) return QObject::eventFilter(watched, event);
    event->ignore();
    if (!pending_) {
        pending_ = true;
        RetryLater();
    }
    return true;
}

void CloseGuard::RetryLater() {
    QTimer::singleShot(kRetryMs, this, [this] {
        if (busy_()) {
            RetryLater();
            return;
        }
        pending_ = false;
        window_->close();
    });
}

FileDrop::FileDrop(std::function<bool()> busy, std::function<void(const std::string&)> open, QWidget* window)
    : QObject(window), busy_(std::move(busy)), open_(std::move(open)) {}

bool FileDrop::eventFilter(QObject* watched, QEvent* event) {
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

} // namespace vellocar::qt
