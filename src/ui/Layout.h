#pragma once
// The main window's layout as data: every control's name, kind, caption, place, size, font,
// start state and tab order. Each toolkit builds its widgets from this table; no position or
// size appears anywhere else.

#include <array>
#include <cstddef>
#include <string_view>

namespace vellocar::ui {

enum class ControlId {
    Label4,
    BuildButton,
    BuildStatPanel,
    OpenKeyFileButton,
    KeyStatPanel,
    Bevel1,
    Label3,
    Label1,
    BifStatPanel,
    ListBox1,
    Bevel2,
    Label2,
    Label5,
    ExportButton,
    ExpStatPanel,
    ListBox2,
    Bevel3,
    Label6,
    Gauge1,
};
inline constexpr std::size_t kControlCount = 19;

enum class ControlKind {
    Label, // static text
    LinkLabel, // text in the system's link colour with a hand cursor (the credit line)
    Button, // push button
    StatusPanel, // sunken box with centred text
    Bevel, // a line along the top edge only
    ListSingle, // list box, single selection, fixed rows of ItemHeight
    ListMulti, // list box, extended multiple selection (Shift ranges, Ctrl toggles)
    Gauge, // horizontal bar with its percentage as text
};

struct FontSpec {
    std::string_view Face;
    int HeightPx; // character height in pixels at 96 DPI
    bool Bold;
    bool Italic;
};

inline constexpr FontSpec kDefaultFont{"MS Sans Serif", 11, false, false};
inline constexpr FontSpec kNumeralFont{"Arial", 24, true, true};

struct ControlSpec {
    ControlId Id;
    std::string_view Name;
    ControlKind Kind;
    std::string_view Caption;
    int Left, Top, Width, Height;
    FontSpec Font;
    bool Enabled;
    bool Visible;
    int TabOrder; // 0, 1, ... for controls the Tab key visits; -1 for the others
    int ItemHeight; // row height of a list box; 0 for other kinds
};

struct WindowSpec {
    std::string_view Caption;
    std::string_view ApplicationTitle;
    int ClientWidth, ClientHeight;
    FontSpec Font;
};

inline constexpr WindowSpec kMainWindow{"Vellocar v1.0 ", "Vellocar", 494, 349, kDefaultFont};

// The credit line and its popup menu: the maker's notice, home page and address.
inline constexpr std::string_view kCreditLine = "Vellocar 1.0 - (c) 2026 the Vellocar team - home page and e-mail";
inline constexpr std::string_view kHomepageUrl = "https://vellocar.github.io/";
inline constexpr std::string_view kEmailAddress = "vellocar@proton.me";

enum class MenuItemId { Homepage1, Email1 };

struct MenuItemSpec {
    MenuItemId Id;
    std::string_view Name;
    std::string_view Caption;
};

// PopupMenu1, in menu order.
inline constexpr std::array<MenuItemSpec, 2> kPopupMenu1{{
    {MenuItemId::Homepage1, "Homepage1", kHomepageUrl},
    {MenuItemId::Email1, "Email1", kEmailAddress},
}};

// ListBox2's context menu: its items, in menu order.
inline constexpr std::string_view kViewMenuItem = "View";
// In ListBox1's and ListBox2's context menus: a browser on the KEY or archive at hand.
inline constexpr std::string_view kBrowseMenuItem = "Browse...";

// clang-format off
inline constexpr std::array<ControlSpec, kControlCount> kLayout{{
//   id                          name                 kind                      caption                 left top  w    h    font          enabled visible tab  item
    {ControlId::Label4,          "Label4",            ControlKind::Label,       "1.",                   20,  8,   20,  28,  kNumeralFont, true,   true,   -1,  0},
    {ControlId::BuildButton,     "BuildButton",       ControlKind::Button,      "Create BIF/KEY from",  60,  8,   129, 25,  kDefaultFont, true,   true,   0,   0},
    {ControlId::BuildStatPanel,  "BuildStatPanel",    ControlKind::StatusPanel, "",                     196, 8,   65,  25,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::OpenKeyFileButton,"OpenKeyFileButton",ControlKind::Button,      "Open KEY File",        60,  48,  129, 25,  kDefaultFont, true,   true,   1,   0},
    {ControlId::KeyStatPanel,    "KeyStatPanel",      ControlKind::StatusPanel, "",                     196, 48,  65,  25,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::Bevel1,          "Bevel1",            ControlKind::Bevel,       "",                     16,  80,  245, 9,   kDefaultFont, true,   true,   -1,  0},
    {ControlId::Label3,          "Label3",            ControlKind::Label,       "2.",                   20,  88,  20,  28,  kNumeralFont, false,  true,   -1,  0},
    {ControlId::Label1,          "Label1",            ControlKind::Label,       "Select a BIF-file:",   60,  96,  77,  13,  kDefaultFont, false,  true,   -1,  0},
    {ControlId::BifStatPanel,    "BifStatPanel",      ControlKind::StatusPanel, "",                     196, 92,  65,  25,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::ListBox1,        "ListBox1",          ControlKind::ListSingle,  "",                     60,  128, 201, 113, kDefaultFont, false,  true,   3,   18},
    {ControlId::Bevel2,          "Bevel2",            ControlKind::Bevel,       "",                     16,  252, 245, 9,   kDefaultFont, true,   true,   -1,  0},
    {ControlId::Label2,          "Label2",            ControlKind::Label,       "3.",                   20,  260, 20,  28,  kNumeralFont, false,  true,   -1,  0},
    {ControlId::Label5,          "Label5",            ControlKind::Label,       "Select an action:",    60,  264, 80,  13,  kDefaultFont, false,  true,   -1,  0},
    {ControlId::ExportButton,    "ExportButton",      ControlKind::Button,      "Export BIF to",        60,  280, 129, 25,  kDefaultFont, false,  true,   2,   0},
    {ControlId::ExpStatPanel,    "ExpStatPanel",      ControlKind::StatusPanel, "",                     196, 280, 65,  25,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::ListBox2,        "ListBox2",          ControlKind::ListMulti,   "",                     272, 8,   217, 313, kDefaultFont, true,   true,   4,   13},
    {ControlId::Bevel3,          "Bevel3",            ControlKind::Bevel,       "",                     0,   329, 494, 20,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::Label6,          "Label6",            ControlKind::LinkLabel,   kCreditLine,            8,   332, 378, 13,  kDefaultFont, true,   true,   -1,  0},
    {ControlId::Gauge1,          "Gauge1",            ControlKind::Gauge,       "",                     0,   328, 497, 25,  kDefaultFont, true,   false,  -1,  0},
}};
// clang-format on

constexpr const ControlSpec& LayoutOf(ControlId id) { return kLayout[static_cast<std::size_t>(id)]; }

// The table is indexed by ControlId.
static_assert([] {
    for (std::size_t i = 0; i < kLayout.size(); ++i)
        if (static_cast<std::size_t>(kLayout[i].Id) != i) return false;
    return true;
}());

} // namespace vellocar::ui
