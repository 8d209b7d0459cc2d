#pragma once
// The resource browser, toolkit-neutral: every resource of the layers the game loads (its KEYs,
// ovr, override, a module's HAKs, development, and what the user adds) in one table with a
// filter, a sort, a count, which copy wins, the conflicts, exports and the viewer beside it. What
// the window shows is this object's state; the face's window (BrowserWindow.h) only shows it.

#include "Toolkit.h"
#include "Viewer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui {

// What the program was started to browse, from its arguments (UTF-8, the program's name first):
// "--browse PATH" (a game folder, a KEY, an archive of the ERF family or a folder), "--browse"
// alone ("": the game the game-folder search finds), or a single file whose first bytes are an
// archive of the ERF family's (the file manager's "Open with" on a HAK, MOD or ERF). Nothing when
// the main window is what was asked for.
std::optional<std::string> BrowseArgument(const std::vector<std::string>& arguments);

} // namespace vellocar::ui
