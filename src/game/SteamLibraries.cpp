// Valve's KeyValues text, as much of it as libraryfolders.vdf uses: quoted and bare strings,
// braces, "//" comments and "[$WIN32]"-style conditions.

#include "SteamLibraries.h"

#include "names/Names.h"

#include <utility>

namespace vellocar::game {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

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
            if (IsBlank(text_[pos_])) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "//") {
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

    // A bare string runs to a blank, a brace or a quote; a form feed or a vertical tab, skipped
    // between tokens, does not end one.
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

} // namespace

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
            if ((depth == 2 && EqualIgnoringCase(key.text, "path")) || (depth == 1 && AllAsciiDigits(key.text)))
                folders.push_back(std::move(value.text));
        } else {
            break;
        }
    }
    return folders;
}

} // namespace vellocar::game
