// A JSON reader of just what settings.json needs: the top-level object's "folders" array of
// strings, everything else read past. Its own rather than a general parser's, since a general
// one would refuse the whole file over one string that is not valid UTF-8, while only the
// folders matter here; nesting is bounded, so no input can exhaust the stack.

#include "BeamdogSettings.h"

#include "base/Text.h"

#include <cstdint>
#include <utility>

namespace vellocar::game {

namespace {

// Nesting deeper than this is no settings file.
constexpr int kMaxJsonDepth = 64;

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

    // The strings of an array; its other values are read past.
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
        if (c == '{' || c == '[') return Container(depth);
        // A number, true, false or null: its characters, at least one.
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char d = text_[pos_];
            const bool word = IsAsciiDigit(d) || IsAsciiLetter(d) || d == '+' || d == '-' || d == '.';
            if (!word) break;
            ++pos_;
        }
        return pos_ > start;
    }

    // An object or an array, read past.
    bool Container(int depth) {
        const bool object = text_[pos_++] == '{';
        const char close = object ? '}' : ']';
        SkipBlanks();
        if (Eat(close)) return true;
        for (;;) {
            SkipBlanks();
            if (object) {
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
            } else if (!Escape(text)) {
                return false;
            }
        }
        return false;
    }

    // The escape after a backslash, appended to text.
    bool Escape(std::string& text) {
        if (pos_ >= text_.size()) return false;
        switch (const char e = text_[pos_++]) {
            case '"':
            case '\\':
            case '/':
                text += e;
                return true;
            case 'b':
                text += '\b';
                return true;
            case 'f':
                text += '\f';
                return true;
            case 'n':
                text += '\n';
                return true;
            case 'r':
                text += '\r';
                return true;
            case 't':
                text += '\t';
                return true;
            case 'u':
                return CodePoint(text);
            default:
                return false;
        }
    }

    // The character of a \u escape (a high surrogate with the \u escape after it), in UTF-8.
    // A surrogate that is not half of a pair stands for nothing and becomes the replacement
    // character, as do both units of a high surrogate followed by another escape.
    bool CodePoint(std::string& text) {
        std::uint32_t unit = 0;
        if (!Hex4(unit)) return false;
        if (IsHighSurrogate(unit) && text_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            std::uint32_t low = 0;
            if (!Hex4(low)) return false;
            unit = IsLowSurrogate(low) ? CombineSurrogates(unit, low) : kReplacementCharacter;
        } else if (IsSurrogate(unit)) {
            unit = kReplacementCharacter;
        }
        AppendUtf8(text, unit);
        return true;
    }

    bool Hex4(std::uint32_t& value) {
        if (text_.size() - pos_ < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigitValue(text_[pos_++]);
            if (digit < 0) return false;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

std::vector<std::string> BeamdogLibraryFolders(std::string_view json) {
    std::vector<std::string> folders;
    if (!JsonReader(json).Folders(folders)) return {};
    return folders;
}

} // namespace vellocar::game
