#pragma once
// The main window's logic: its state, its dialogs with their presets, and every handler. The
// face (Win32, Qt, or the tests' fake) builds the widgets from kLayout, forwards each event to
// the matching entry point below and shows what the Toolkit calls tell it. Main.cpp holds the
// window's life and its entry points, Workflows.cpp the handlers of its three steps.

#include "BifModel.h"
#include "formats/KeyFiles.h"
#include "GameFolder.h"
#include "Layout.h"
#include "Toolkit.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace vellocar::ui {

class TBrowsers;
class TViewers;

class TForm1 {
public:
    // sources: where FormCreate looks for the Enhanced Edition when the registry names no game
    // folder; nothing for this machine's (the environment, the files, the toolkit's registry).
    explicit TForm1(Toolkit& toolkit, std::unique_ptr<game::GameFolderSources> sources = nullptr);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // State.
    std::string KeyPath;
    std::string BifPath;
    std::shared_ptr<TNWNKeyFile> KeyModel;
    std::unique_ptr<TNWNBifFile> BifModel;
    // What KeyPath is when it holds an archive of the ERF family in place of a KEY ("HAK", "MOD",
    // ...; ListBox1 then shows its file name alone, and KeyModel is none); "" for a KEY.
    std::string ArchiveKind;

    FileDialogSpec OpenDialog2;
    FileDialogSpec SaveDialog1;
    FileDialogSpec SaveDialog2;

    // Entry points for the face. Each runs its handler under the application's exception
    // handler: an error that leaves the handler is shown as a message box titled "Vellocar"
    // with the error icon, and the program goes on; no exception leaves them, not even one
    // raised while that box is shown. While a build runs, the window's commands
    // are disabled and events that still arrive for them are ignored.
    void Created(); // after the widgets exist: FormCreate
    void Clicked(ControlId id); // a button or a label was clicked
    void SelectionChanged(ControlId id); // a click or a change of selection in a list
    void MouseEnter(ControlId id);
    void MouseLeave(ControlId id);
    void MenuItemClicked(MenuItemId id);
    // A line of a list opened (a double-click, Enter), and a list's context menu asked for
    // (a right-click, the menu key) over a line, -1 for none: ListBox2's open the line's viewer;
    // "Browse..." in either menu opens a browser on the KEY (or archive) at hand.
    void LineOpened(ControlId id, int index);
    void LineMenuAsked(ControlId id, int index);
    // A KEY (or an archive of the ERF family) named from outside the window (the command line,
    // a file dropped on the window): opened as if chosen in "Open KEY File"'s dialog, and ignored
    // in the same cases as a click on that button (a build running, the button disabled).
    void KeyFileGiven(const std::string& path);
    // A browser asked for from outside the window (BrowseArgument): opened on path ("" for the
    // game the game-folder search finds). The main window may stay hidden; the program then ends
    // when the last browser closes.
    void BrowseGiven(const std::string& path);

    // The handlers themselves (they let errors pass).
    void FormCreate();
    void FormDestroy();
    void BuildButtonClick();
    void OpenKeyFileButtonClick();
    // The button's work after its dialog: a KEY's BIFs listed, or, for a file that starts as an
    // archive of the ERF family, that archive as the one line to choose.
    void OpenKeyFile(const std::string& path);
    void ListBox1Click();
    void ListBox2Click();
    void ExportButtonClick();
    void Label6MouseEnter();
    void Label6MouseLeave();
    void Label6Click();
    void Homepage1Click();
    void Email1Click();
    void ViewResource(int line); // the viewer of ListBox2's line

    // The folder chooser and the folder listing, which puts the folder's plain files into
    // ListBox2 and returns them, in that order.
    bool SelectFolder(const std::string& prompt, std::string& folder);
    std::vector<std::string> ListFolder(const std::string& pattern);

    // The application's default handler: the message, a full stop appended when its last
    // character comes after '.', in a box titled "Vellocar" with the error icon.
    void HandleException(const std::exception& error);

    bool Busy() const { return busy_; }

    // ListBox2 and Gauge1 as the BIF model sees them.
    TResourceList& ResourceList();
    TGauge& Gauge();

private:
    class BuildLock;

    void Guarded(const std::function<void()>& handler);
    // The game's folder as the search finds it ("" for none).
    std::string FoundGame();
    // Runs a command's handler unless a build is running or the control is disabled.
    void Command(ControlId id, void (TForm1::*handler)());
    // A warning box listing resources (the first kSkippedShown, then a count): those an export
    // left out, or those whose bytes overlap another's.
    void ReportResources(const std::vector<TSkippedResource>& resources, const std::string& one,
                         const std::string& many, const std::string& after);
    // Sentences of what Vellocar did, each starting after "Vellocar ", in one warning box.
    void ShowNote(const std::vector<std::string>& sentences);
    // The export button's two modes: all of the BIF, or the lines selected in ListBox2.
    void SetExportSelected(bool selected);

    Toolkit& toolkit_;
    std::unique_ptr<TResourceList> resourceList_;
    std::unique_ptr<TGauge> gauge_;
    std::unique_ptr<game::GameFolderSources> gameFolderSources_;
    // Where the BIF dialog starts, set by FormCreate and restored after each build.
    std::string bifDialogFolder_;
    bool busy_ = false;
    // What the export button does: export the selected lines (once one was clicked) or all.
    bool exportSelected_ = false;
    // Last: the viewers' and browsers' windows go before anything else of the window.
    std::unique_ptr<TViewers> viewers_;
    std::unique_ptr<TBrowsers> browsers_;
};

} // namespace vellocar::ui
