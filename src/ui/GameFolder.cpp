#include "GameFolder.h"

#include "ConfigFile.h"
#include "Main.h"
#include "Names.h"
#include "Platform.h"
#include "Toolkit.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <utility>

namespace vellocar::ui {

namespace {

// Steam's folder of the game, inside a library's steamapps/common.
constexpr std::string_view kSteamGameFolder = "Neverwinter Nights";
// The Beamdog client's product folders of the Enhanced Edition inside each of its library
// folders: the release first, then its development and Digital Deluxe preview branches.
constexpr std::array<std::string_view, 3> kBeamdogProducts{"00785", "00829", "00840"};
// GOG's product id of the Enhanced Edition, the name of its key under GOG.com\Games.
constexpr std::string_view kGogRegistryKey = "SOFTWARE\\GOG.com\\Games\\1097893768";
constexpr std::string_view kGogFolder = "Neverwinter Nights Enhanced Edition";
constexpr std::string_view kSteamRegistryKey = "SOFTWARE\\Valve\\Steam";

// Configuration files larger than this are not Steam's or Beamdog's: not read.
constexpr std::uintmax_t kMaxTextBytes = 4u << 20;
// Nesting deeper than this is no settings file either (and must not exhaust the stack).
constexpr int kMaxJsonDepth = 64;

bool IsSeparator(char c, GameFolderSystem system) {
    return c == '/' || (system == GameFolderSystem::Windows && c == '\\');
}

std::string Join(std::string folder, std::string_view name, GameFolderSystem system) {
    const char sep = system == GameFolderSystem::Windows ? '\\' : '/';
    if (folder.empty() || !IsSeparator(folder.back(), system)) folder += sep;
    folder += name;
    return folder;
}

std::string Join(std::string folder, std::initializer_list<std::string_view> names, GameFolderSystem system) {
    for (std::string_view name : names) folder = Join(std::move(folder), name, system);
    return folder;
}

// A folder as given, less trailing separators (a lone root separator stays).
std::string TrimSeparators(std::string folder, GameFolderSystem system) {
    while (folder.size() > 1 && IsSeparator(folder.back(), system)) folder.pop_back();
    return folder;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// ---- Valve's KeyValues text -------------------------------------------------------------------

class VdfTokens {
public:
    enum class Kind { Open, Close, Text, End };
    struct Token {
        Kind kind = Kind::End;
        std::string text;
    };

    explicit VdfTokens(std::string_view text) : text_(text) {}

    Token Next() {
        for (;;) {
            SkipBlanksAndComments();
            if (pos_ >= text_.size()) return {};
            const char c = text_[pos_];
            if (c == '{') return ++pos_, Token{Kind::Open, {}};
            if (c == '}') return ++pos_, Token{Kind::Close, {}};
            if (c == '"') return Quoted();
            Token bare = Bare();
            // "[$WIN32]"-style conditions belong to the value or key before them.
            if (!bare.text.empty() && bare.text.front() == '[') continue;
            return bare;
        }
    }

private:
    void SkipBlanksAndComments() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    Token Quoted() {
        ++pos_;
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return {Kind::Text, std::move(out)};
            if (c == '\\' && pos_ < text_.size()) {
                const char e = text_[pos_++];
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                out += c;
            }
        }
        return {}; // an unterminated string ends the text
    }

    Token Bare() {
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}' || c == '"') break;
            ++pos_;
        }
        return {Kind::Text, std::string(text_.substr(start, pos_ - start))};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// ---- JSON, as much as settings.json needs ----------------------------------------------------

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // The strings of the top-level object's "folders" array; false on malformed text.
    bool Folders(std::vector<std::string>& out) {
        SkipBlanks();
        if (!Eat('{')) return false;
        SkipBlanks();
        if (Eat('}')) return AtEnd();
        for (;;) {
            std::string key;
            SkipBlanks();
            if (!String(&key)) return false;
            SkipBlanks();
            if (!Eat(':')) return false;
            SkipBlanks();
            if (key == "folders" && Peek() == '[') {
                out.clear();
                if (!StringArray(out)) return false;
            } else if (!Value(1)) {
                return false;
            }
            SkipBlanks();
            if (Eat('}')) return AtEnd();
            if (!Eat(',')) return false;
        }
    }

private:
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool Eat(char c) {
        if (Peek() != c || pos_ >= text_.size()) return false;
        ++pos_;
        return true;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == text_.size();
    }
    void SkipBlanks() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
    }

    bool StringArray(std::vector<std::string>& out) {
        Eat('[');
        SkipBlanks();
        if (Eat(']')) return true;
        for (;;) {
            SkipBlanks();
            if (Peek() == '"') {
                std::string item;
                if (!String(&item)) return false;
                out.push_back(std::move(item));
            } else if (!Value(2)) {
                return false;
            }
            SkipBlanks();
            if (Eat(']')) return true;
            if (!Eat(',')) return false;
        }
    }

    // Any value, read past; depth counts the containers around it.
    bool Value(int depth) {
        if (depth > kMaxJsonDepth) return false;
        SkipBlanks();
        const char c = Peek();
        if (c == '"') return String(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++pos_;
            SkipBlanks();
            if (Eat(close)) return true;
            for (;;) {
                SkipBlanks();
                if (c == '{') {
                    if (!String(nullptr)) return false;
                    SkipBlanks();
                    if (!Eat(':')) return false;
                }
                if (!Value(depth + 1)) return false;
                SkipBlanks();
                if (Eat(close)) return true;
                if (!Eat(',')) return false;
            }
        }
        // A number, true, false or null: its characters, at least one.
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char d = text_[pos_];
            const bool word = (d >= '0' && d <= '9') || (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z') || d == '+' ||
                d == '-' || d == '.';
            if (!word) break;
            ++pos_;
        }
        return pos_ > start;
    }

    bool Hex4(std::uint32_t& value) {
        if (text_.size() - pos_ < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            const int digit = HexDigitValue(h);
            if (digit < 0) return false;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    // A string; its text into out unless out is null.
    bool String(std::string* out) {
        if (!Eat('"')) return false;
        std::string text;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                if (out) *out = std::move(text);
                return true;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (pos_ >= text_.size()) return false;
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    text += e;
                    break;
                case 'b':
                    text += '\b';
                    break;
                case 'f':
                    text += '\f';
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case 't':
                    text += '\t';
                    break;
                case 'u': {
                    std::uint32_t cp = 0;
                    if (!Hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
                        pos_ += 2;
                        std::uint32_t low = 0;
                        if (!Hex4(low)) return false;
                        cp = low >= 0xDC00 && low <= 0xDFFF ? 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00) : 0xFFFD;
                    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                        cp = 0xFFFD;
                    }
                    AppendUtf8(text, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// ---- The search --------------------------------------------------------------------------------

class Search {
public:
    Search(const GameFolderSources& sources, GameFolderSystem system) : sources_(sources), system_(system) {}

    std::string Run() {
        if (auto root = sources_.Environment("NWN_ROOT"); root && Found(*root)) return found_;
        for (const std::string& steam : SteamRoots())
            if (FromSteam(steam)) return found_;
        for (const std::string& settings : BeamdogSettings())
            if (FromBeamdog(settings)) return found_;
        for (const std::string& gog : GogFolders())
            if (Found(gog)) return found_;
        return {};
    }

private:
    bool Windows() const { return system_ == GameFolderSystem::Windows; }

    std::optional<std::string> Env(const char* name) const { return sources_.Environment(name); }

    std::optional<std::string> Registry(std::string_view key, const char* value) const {
        // A value that is damaged or of another kind only means that this place is unknown.
        try {
            return sources_.RegistryString(std::string(key), value);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    // Whether folder holds the Enhanced Edition; it is then the result.
    bool Found(const std::string& folder) {
        if (folder.empty()) return false;
        std::string root = TrimSeparators(folder, system_);
        if (!sources_.IsFile(Join(root, {"data", "nwn_base.key"}, system_))) return false;
        found_ = std::move(root);
        return true;
    }

    // The user's home: $HOME, or on Windows %USERPROFILE%.
    std::optional<std::string> Home() const {
        if (Windows())
            if (auto profile = Env("USERPROFILE")) return profile;
        return Env("HOME");
    }

    std::vector<std::string> SteamRoots() const {
        std::vector<std::string> roots;
        if (Windows()) {
            if (auto path = Registry(kSteamRegistryKey, "InstallPath")) roots.push_back(*path);
            for (const char* programFiles : {"ProgramFiles(x86)", "ProgramFiles"})
                if (auto folder = Env(programFiles)) roots.push_back(Join(*folder, "Steam", system_));
            return roots;
        }
        const auto home = Home();
        if (auto data = Env("XDG_DATA_HOME"))
            roots.push_back(Join(*data, "Steam", system_));
        else if (home)
            roots.push_back(Join(*home, {".local", "share", "Steam"}, system_));
        if (home) {
            roots.push_back(Join(*home, {".steam", "steam"}, system_));
            roots.push_back(Join(*home, {".steam", "root"}, system_));
            // Steam from Flathub keeps its data inside the sandbox's home.
            roots.push_back(
                Join(*home, {".var", "app", "com.valvesoftware.Steam", ".local", "share", "Steam"}, system_));
        }
        return roots;
    }

    bool InLibrary(const std::string& library) {
        return !library.empty() && Found(Join(library, {"steamapps", "common", kSteamGameFolder}, system_));
    }

    bool FromSteam(const std::string& steam) {
        if (InLibrary(steam)) return true;
        // Current clients keep the list in steamapps, older ones in config.
        for (std::string_view folder : {"steamapps", "config"}) {
            const auto text = sources_.ReadText(Join(steam, {folder, "libraryfolders.vdf"}, system_));
            if (!text) continue;
            for (const std::string& library : SteamLibraryFolders(*text))
                if (InLibrary(library)) return true;
        }
        return false;
    }

    std::vector<std::string> BeamdogSettings() const {
        std::vector<std::string> files;
        if (Windows()) {
            if (auto appData = Env("APPDATA"))
                files.push_back(Join(*appData, {"Beamdog Client", "settings.json"}, system_));
        } else if (auto config = Env("XDG_CONFIG_HOME")) {
            files.push_back(Join(*config, {"Beamdog Client", "settings.json"}, system_));
        } else if (auto home = Home()) {
            files.push_back(Join(*home, {".config", "Beamdog Client", "settings.json"}, system_));
        }
        return files;
    }

    bool FromBeamdog(const std::string& settings) {
        const auto text = sources_.ReadText(settings);
        if (!text) return false;
        for (const std::string& library : BeamdogLibraryFolders(*text))
            for (std::string_view product : kBeamdogProducts)
                if (!library.empty() && Found(Join(library, product, system_))) return true;
        return false;
    }

    std::vector<std::string> GogFolders() const {
        std::vector<std::string> folders;
        if (Windows()) {
            if (auto path = Registry(kGogRegistryKey, "path")) folders.push_back(*path);
            for (const char* programFiles : {"ProgramFiles(x86)", "ProgramFiles"})
                if (auto folder = Env(programFiles))
                    folders.push_back(Join(*folder, {"GOG Galaxy", "Games", kGogFolder}, system_));
        } else if (auto home = Home()) {
            folders.push_back(Join(*home, {"GOG Games", kGogFolder}, system_));
        }
        return folders;
    }

    const GameFolderSources& sources_;
    GameFolderSystem system_;
    std::string found_;
};

class SystemSources final : public GameFolderSources {
public:
    explicit SystemSources(RegistryReader registry) : registry_(std::move(registry)) {}

    std::optional<std::string> Environment(const std::string& name) const override {
        const char* value = std::getenv(name.c_str());
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    }
    std::optional<std::string> RegistryString(const std::string& key, const std::string& value) const override {
        return registry_(key, value);
    }
    bool IsFile(const std::string& path) const override {
        const auto info = platform::Stat(path);
        return info && info->IsRegular;
    }
    std::optional<std::string> ReadText(const std::string& path) const override {
        // Checked and opened in one step: a FIFO put there after a look would block the window.
        return ReadConfigFile(path, kMaxTextBytes).Text;
    }

private:
    RegistryReader registry_;
};

} // namespace

std::unique_ptr<GameFolderSources> SystemGameFolderSources(Toolkit& toolkit) {
    return SystemGameFolderSources([&toolkit](const std::string& key, const std::string& value) {
        return toolkit.ReadRegistryString(key, value);
    });
}

std::unique_ptr<GameFolderSources> SystemGameFolderSources(RegistryReader registry) {
    return std::make_unique<SystemSources>(std::move(registry));
}

std::string FindEnhancedEdition(const GameFolderSources& sources, GameFolderSystem system) {
    return Search(sources, system).Run();
}

std::string FindGameFolder(const GameFolderSources& sources, GameFolderSystem system) {
    std::string folder = sources.RegistryString(std::string(kRegistryKey), std::string(kRegistryValue)).value_or("");
    if (const auto zero = folder.find('\0'); zero != std::string::npos) folder.resize(zero);
    return folder.empty() ? FindEnhancedEdition(sources, system) : folder;
}

std::vector<std::string> SteamLibraryFolders(std::string_view vdf) {
    using Kind = VdfTokens::Kind;
    std::vector<std::string> folders;
    VdfTokens tokens(vdf);
    int depth = 0;
    for (;;) {
        VdfTokens::Token key = tokens.Next();
        if (key.kind == Kind::End) break;
        if (key.kind == Kind::Close) {
            if (--depth < 0) break;
            continue;
        }
        if (key.kind == Kind::Open) break; // a block needs a name
        VdfTokens::Token value = tokens.Next();
        if (value.kind == Kind::Open) {
            ++depth;
        } else if (value.kind == Kind::Text) {
            // "libraryfolders" { "0" { "path" "..." } }, or "LibraryFolders" { "1" "..." }.
            if ((depth == 2 && EqualIgnoringCase(key.text, "path")) || (depth == 1 && AllDigits(key.text)))
                folders.push_back(std::move(value.text));
        } else {
            break;
        }
    }
    return folders;
}

std::vector<std::string> BeamdogLibraryFolders(std::string_view json) {
    std::vector<std::string> folders;
    if (!JsonReader(json).Folders(folders)) return {};
    return folders;
}

} // namespace vellocar::ui
