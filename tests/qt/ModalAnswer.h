#pragma once
// Answers the next modal dialog that the code under test opens: a timer polls for the
// application's active modal widget (it appears inside the dialog's own event loop) and hands
// it to the answer, which must close it. What the answer saw is kept for the test to check
// after the dialog's exec() has returned.

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace vellocar::qt::test {

// What a dialog looked like when it was answered.
struct SeenDialog {
    QString Kind; // "file", "message" or the class name of anything else
    QString Title;
    QString Text; // a message box's text
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
    QFileDialog::AcceptMode AcceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode FileMode = QFileDialog::AnyFile;
    QFileDialog::Options Options;
    QStringList NameFilters;
    QString DefaultSuffix;
    QString Directory;
};

using Answer = std::function<void(QWidget*)>;

// Answers queued in order, one per modal dialog; a dialog appearing with no answer left is
// rejected (and recorded), so that a wrong workflow fails instead of hanging.
class ModalScript {
public:
    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Poll(); });
        timer_.start();
    }

    void Then(Answer answer) { answers_.push_back(std::move(answer)); }

    // Accepts a file or folder dialog with the given path typed in.
    void ThenChooseFile(const QString& path) {
        Then([path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog) return Close(w);
            dialog->selectFile(path);
            // QFileDialog's own accept (it checks the typed name) is reached through QDialog.
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) dialog->reject(); // refused what was typed: the test sees the result
        });
    }
    void ThenCancel() {
        Then([](QWidget* w) { Close(w); });
    }
    // Presses the message box button of that role.
    void ThenPress(QMessageBox::StandardButton which) {
        Then([which](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->button(which)) return Close(w);
            box->button(which)->click();
        });
    }

    const std::vector<SeenDialog>& Seen() const { return seen_; }
    int Unanswered() const { return unanswered_; }
    std::size_t Pending() const { return answers_.size(); }

private:
    static void Close(QWidget* w) {
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }

    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) {
            last_ = nullptr;
            return;
        }
        if (w == last_) return;
        last_ = w;
        seen_.push_back(Describe(w));
        if (answers_.empty()) {
            ++unanswered_;
            Close(w);
        } else {
            Answer answer = std::move(answers_.front());
            answers_.pop_front();
            answer(w);
        }
        // The next dialog may be built at the same address as soon as this one has closed.
        QTimer::singleShot(0, &timer_, [this] { last_ = nullptr; });
    }

    static SeenDialog Describe(QWidget* w) {
        SeenDialog seen;
        seen.Title = w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            seen.Kind = QStringLiteral("message");
            seen.Text = box->text();
            seen.Icon = box->icon();
            seen.Buttons = box->standardButtons();
            if (box->defaultButton()) seen.DefaultButton = box->standardButton(box->defaultButton());
        } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            seen.Kind = QStringLiteral("file");
            seen.AcceptMode = dialog->acceptMode();
            seen.FileMode = dialog->fileMode();
            seen.Options = dialog->options();
            seen.NameFilters = dialog->nameFilters();
            seen.DefaultSuffix = dialog->defaultSuffix();
            seen.Directory = dialog->directory().absolutePath();
        } else {
            seen.Kind = QString::fromLatin1(w->metaObject()->className());
        }
        return seen;
    }

    QTimer timer_;
    std::deque<Answer> answers_;
    std::vector<SeenDialog> seen_;
    QWidget* last_ = nullptr;
    int unanswered_ = 0;
};

} // namespace vellocar::qt::test
