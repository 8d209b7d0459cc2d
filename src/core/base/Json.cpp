// JSON both ways: the writer (the common two-space layout, its text handed on in bounded
// chunks) and a strict reader into a compact tree.

#include "base/Json.h"

#include "base/Text.h"

#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>
#include <utility>

namespace vellocar {

namespace {

// Text is handed to the sink once this much has gathered.
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kIndent = 2;

// Whether text goes into a JSON string as it is: printable ASCII but the quote and backslash.
bool NeedsNoEscape(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    return true;
}

} // namespace

void AppendJsonString(std::string& out, std::string_view utf8, bool upperHex) {
    out += '"';
    if (NeedsNoEscape(utf8)) {
        out.append(utf8);
        out += '"';
        return;
    }
    if (!IsValidUtf8(utf8)) throw EJsonError("text that is not UTF-8 cannot be written as JSON");
    for (const char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    // Nim's writer spells the vertical tab in small letters whatever the others.
                    AppendHex(out, static_cast<std::uint8_t>(c), upperHex && c != '\v');
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// ---- TJsonWriter ------------------------------------------------------------------------------

TJsonWriter::TJsonWriter(Sink sink, TJsonStyle style) : sink_(std::move(sink)), style_(style) {
    buffer_.reserve(kChunk + kChunk / 4);
}

// A comma where a value follows another, then a new line and the value's indentation; nothing
// right after a member's name or before the document's top value.
void TJsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
    } else if (!members_.empty()) {
        static constexpr std::string_view kBreak = ",\n                                ";
        const std::size_t indent = kIndent * members_.size();
        const std::size_t from = members_.back()++ == 0 ? 1 : 0;
        if (indent + 2 <= kBreak.size()) {
            buffer_.append(kBreak.substr(from, 2 - from + indent));
        } else {
            buffer_.append(kBreak.substr(from, 2 - from)).append(indent, ' ');
        }
    }
}

void TJsonWriter::Close(char bracket) {
    const std::size_t written = members_.back();
    members_.pop_back();
    if (written > 0) {
        buffer_ += '\n';
        buffer_.append(kIndent * members_.size(), ' ');
    }
    buffer_ += bracket;
    Spill();
}

void TJsonWriter::Spill() {
    if (buffer_.size() < kChunk) return;
    ok_ = sink_(buffer_) && ok_;
    buffer_.clear();
}

void TJsonWriter::BeginObject() {
    Separate();
    buffer_ += '{';
    members_.push_back(0);
}

void TJsonWriter::EndObject() { Close('}'); }

void TJsonWriter::BeginArray() {
    Separate();
    buffer_ += '[';
    members_.push_back(0);
}

void TJsonWriter::EndArray() { Close(']'); }

TJsonWriter& TJsonWriter::Key(std::string_view name) {
    String(name);
    buffer_ += ": ";
    afterKey_ = true;
    return *this;
}

void TJsonWriter::String(std::string_view utf8) {
    Separate();
    AppendJsonString(buffer_, utf8, style_.UpperHexEscapes);
    Spill();
}

void TJsonWriter::Number(std::uint64_t value) {
    Separate();
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
}

void TJsonWriter::Integer(std::int64_t value) {
    Separate();
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
}

void TJsonWriter::Raw(std::string_view token) {
    Separate();
    buffer_.append(token);
}

void TJsonWriter::Real(double value) {
    if (!std::isfinite(value)) return Null();
    char digits[32];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    std::string token(digits, end);
    // A whole number still reads as a fraction, as JSON libraries write a double.
    if (token.find_first_of(".e") == std::string::npos) token += ".0";
    Raw(token);
}

void TJsonWriter::Bool(bool value) {
    Separate();
    buffer_ += value ? "true" : "false";
}

void TJsonWriter::Null() {
    Separate();
    buffer_ += "null";
}

bool TJsonWriter::Finish() {
    buffer_.append(style_.End);
    ok_ = sink_(buffer_) && ok_;
    buffer_.clear();
    return ok_;
}

// ---- Reading ----------------------------------------------------------------------------------

std::string TJsonDocument::Where(const Node& node) {
    return "line " + std::to_string(node.Line) + ", column " + std::to_string(node.Column);
}

class TJsonReader {
public:
    TJsonReader(std::string_view text, std::size_t maxDepth) : text_(text), maxDepth_(maxDepth) {}

    TJsonDocument Read() {
        static constexpr std::string_view kBom = "\xEF\xBB\xBF";
        if (text_.substr(0, kBom.size()) == kBom) at_ = lineStart_ = kBom.size();
        SkipSpace();
        Value(0);
        SkipSpace();
        if (at_ != text_.size()) Fail("text after the end of the JSON value");
        return std::move(doc_);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EJsonError("JSON " + what + " at line " + std::to_string(line_) + ", column " +
                         std::to_string(at_ - lineStart_ + 1));
    }

    void SkipSpace() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\n') {
                ++line_;
                lineStart_ = ++at_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++at_;
            } else {
                break;
            }
        }
    }

    std::uint32_t NewNode(TJsonKind kind) {
        if (doc_.nodes_.size() >= UINT32_MAX) Fail("document too large");
        TJsonDocument::Node node;
        node.Kind = kind;
        node.Line = static_cast<std::uint32_t>(std::min<std::size_t>(line_, UINT32_MAX));
        node.Column = static_cast<std::uint32_t>(std::min<std::size_t>(at_ - lineStart_ + 1, UINT32_MAX));
        doc_.nodes_.push_back(node);
        return static_cast<std::uint32_t>(doc_.nodes_.size() - 1);
    }

    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    std::uint32_t Value(std::size_t depth) {
        if (at_ >= text_.size()) Fail("ends where a value should stand");
        const char c = text_[at_];
        if (c == '{' || c == '[') return Container(depth, c == '{');
        if (c == '"') return StringNode();
        if (c == '-' || IsAsciiDigit(c)) return NumberNode();
        const std::uint32_t node = NewNode(TJsonKind::Null);
        if (Literal("null")) return node;
        if (Literal("true")) {
            doc_.nodes_[node].Kind = TJsonKind::True;
            return node;
        }
        if (Literal("false")) {
            doc_.nodes_[node].Kind = TJsonKind::False;
            return node;
        }
        Fail("has no value here");
    }

    std::uint32_t Container(std::size_t depth, bool object) {
        if (depth >= maxDepth_) Fail("nests deeper than " + std::to_string(maxDepth_) + " levels");
        const std::uint32_t node = NewNode(object ? TJsonKind::Object : TJsonKind::Array);
        const char close = object ? '}' : ']';
        ++at_;
        const std::size_t mark = stack_.size();
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
        } else {
            for (;;) {
                if (object) {
                    if (at_ >= text_.size() || text_[at_] != '"') Fail("expects a member's name in double quotes");
                    stack_.push_back(StringNode());
                    SkipSpace();
                    if (at_ >= text_.size() || text_[at_] != ':') Fail("expects ':' after a member's name");
                    ++at_;
                    SkipSpace();
                }
                stack_.push_back(Value(depth + 1));
                SkipSpace();
                if (at_ < text_.size() && text_[at_] == ',') {
                    ++at_;
                    SkipSpace();
                    continue;
                }
                if (at_ < text_.size() && text_[at_] == close) {
                    ++at_;
                    break;
                }
                Fail(object ? "expects ',' or '}'" : "expects ',' or ']'");
            }
        }
        const std::size_t count = stack_.size() - mark;
        if (doc_.children_.size() + count > UINT32_MAX) Fail("document too large");
        doc_.nodes_[node].First = static_cast<std::uint32_t>(doc_.children_.size());
        doc_.nodes_[node].Count = static_cast<std::uint32_t>(count);
        doc_.children_.insert(doc_.children_.end(), stack_.begin() + static_cast<std::ptrdiff_t>(mark), stack_.end());
        stack_.resize(mark);
        return node;
    }

    std::uint32_t FourHex() {
        if (at_ + 4 > text_.size()) Fail("has a \\u escape cut short");
        std::uint32_t unit = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int digit = HexDigitValue(text_[at_ + i]);
            if (digit < 0) Fail("has a \\u escape that is not four hexadecimal digits");
            unit = unit * 16 + static_cast<std::uint32_t>(digit);
        }
        at_ += 4;
        return unit;
    }

    void Escape(std::string& out) {
        if (at_ >= text_.size()) Fail("string is not closed");
        const char c = text_[at_++];
        switch (c) {
            case '"':
                out += '"';
                return;
            case '\\':
                out += '\\';
                return;
            case '/':
                out += '/';
                return;
            case 'b':
                out += '\b';
                return;
            case 'f':
                out += '\f';
                return;
            case 'n':
                out += '\n';
                return;
            case 'r':
                out += '\r';
                return;
            case 't':
                out += '\t';
                return;
            case 'u':
                break;
            default:
                --at_;
                Fail("has an unknown escape in a string");
        }
        std::uint32_t unit = FourHex();
        if (IsHighSurrogate(unit)) {
            if (text_.substr(at_, 2) != "\\u") Fail("has a lone surrogate in a string");
            at_ += 2;
            const std::uint32_t low = FourHex();
            if (!IsLowSurrogate(low)) Fail("has a lone surrogate in a string");
            unit = CombineSurrogates(unit, low);
        } else if (IsSurrogate(unit)) {
            Fail("has a lone surrogate in a string");
        }
        AppendUtf8(out, unit);
    }

    std::uint32_t StringNode() {
        const std::uint32_t node = NewNode(TJsonKind::String);
        ++at_;
        std::string& out = doc_.text_;
        const std::size_t first = out.size();
        for (;;) {
            // A run of plain bytes at once.
            std::size_t run = at_;
            while (run < text_.size()) {
                const auto b = static_cast<unsigned char>(text_[run]);
                if (b == '"' || b == '\\' || b < 0x20 || b >= 0x80) break;
                ++run;
            }
            out.append(text_.substr(at_, run - at_));
            at_ = run;
            if (at_ >= text_.size()) Fail("string is not closed");
            const auto b = static_cast<unsigned char>(text_[at_]);
            if (b == '"') {
                ++at_;
                break;
            }
            if (b == '\\') {
                ++at_;
                Escape(out);
            } else if (b < 0x20) {
                Fail("has a control character in a string (it must be escaped)");
            } else {
                std::uint32_t codePoint = 0;
                const std::size_t from = at_;
                if (!NextCodePoint(text_, at_, codePoint)) Fail("text is not UTF-8");
                out.append(text_.substr(from, at_ - from));
            }
        }
        if (out.size() - first > UINT32_MAX || out.size() > UINT32_MAX) Fail("document too large");
        doc_.nodes_[node].First = static_cast<std::uint32_t>(first);
        doc_.nodes_[node].Count = static_cast<std::uint32_t>(out.size() - first);
        return node;
    }

    std::uint32_t NumberNode() {
        const std::uint32_t node = NewNode(TJsonKind::Number);
        const std::size_t from = at_;
        const auto digits = [&] {
            const std::size_t start = at_;
            while (at_ < text_.size() && IsAsciiDigit(text_[at_])) ++at_;
            return at_ - start;
        };
        if (text_[at_] == '-') ++at_;
        const std::size_t intStart = at_;
        const std::size_t intDigits = digits();
        if (intDigits == 0) Fail("has a number without digits");
        if (intDigits > 1 && text_[intStart] == '0') Fail("has a number with a leading zero");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) Fail("has a number without digits after its point");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) Fail("has a number without digits in its exponent");
        }
        std::string& out = doc_.text_;
        if (out.size() + (at_ - from) > UINT32_MAX) Fail("document too large");
        doc_.nodes_[node].First = static_cast<std::uint32_t>(out.size());
        doc_.nodes_[node].Count = static_cast<std::uint32_t>(at_ - from);
        out.append(text_.substr(from, at_ - from));
        return node;
    }

    std::string_view text_;
    std::size_t maxDepth_;
    std::size_t at_ = 0, line_ = 1, lineStart_ = 0;
    TJsonDocument doc_;
    std::vector<std::uint32_t> stack_; // the children of the open containers
};

TJsonDocument ReadJson(std::string_view text, std::size_t maxDepth) { return TJsonReader(text, maxDepth).Read(); }

namespace {

bool IsIntegerText(std::string_view number) {
    return !number.empty() && number.find_first_of(".eE") == std::string_view::npos;
}

template <typename T>
std::optional<T> Parsed(std::string_view number) {
    if (!IsIntegerText(number)) return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
}

} // namespace

std::optional<std::int64_t> JsonInt64(std::string_view number) { return Parsed<std::int64_t>(number); }

std::optional<std::uint64_t> JsonUint64(std::string_view number) {
    // from_chars takes no sign for an unsigned type: "-0" is zero, any other negative none.
    if (number == "-0") return 0;
    return Parsed<std::uint64_t>(number);
}

std::optional<double> JsonDouble(std::string_view number) {
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace vellocar
