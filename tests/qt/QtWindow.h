#pragma once
// The real window for a test: the Qt toolkit, the window logic attached to it, created and
// shown as main() does, with the registry read from a scratch Wine prefix.

#include "Main.h"
#include "QtToolkit.h"
#include "TempDir.h"

#include <QListWidget>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace vellocar::qt::test {

class QtWindow {
public:
    // systemReg: the prefix's registry file; empty for a prefix without one.
    explicit QtWindow(const std::string& systemReg = {}) {
        if (!systemReg.empty()) vellocar::test::WriteFile(prefix_ / "system.reg", systemReg);
        setenv("WINEPREFIX", prefix_.path().c_str(), 1);
        toolkit_ = std::make_unique<QtToolkit>();
        form_ = std::make_unique<ui::TForm1>(*toolkit_);
        toolkit_->Attach(*form_);
    }
    ~QtWindow() {
        toolkit_->Detach();
        form_.reset();
        toolkit_.reset();
    }
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    // FormCreate, then the window on the screen.
    bool Start() {
        form_->Created();
        toolkit_->Show();
        return QTest::qWaitForWindowExposed(toolkit_->Window());
    }

    QtToolkit& Toolkit() { return *toolkit_; }
    ui::TForm1& Form() { return *form_; }
    QWidget* Widget(ui::ControlId id) { return toolkit_->Widget(id); }
    QListWidget* List(ui::ControlId id) { return toolkit_->List(id); }
    const vellocar::test::TempDir& Prefix() const { return prefix_; }

    QString Text(ui::ControlId id) { return QString::fromStdString(toolkit_->Caption(id)); }
    QStringList Lines(ui::ControlId id) {
        QStringList lines;
        for (int i = 0; i < List(id)->count(); ++i) lines << List(id)->item(i)->text();
        return lines;
    }

    // A left click in the middle of a line, with the keys held.
    void ClickLine(ui::ControlId id, int row, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QListWidget* list = List(id);
        list->scrollToItem(list->item(row));
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, rect.center());
    }
    void Click(ui::ControlId id) { QTest::mouseClick(Widget(id), Qt::LeftButton); }

private:
    vellocar::test::TempDir prefix_;
    std::unique_ptr<QtToolkit> toolkit_;
    std::unique_ptr<ui::TForm1> form_;
};

} // namespace vellocar::qt::test
