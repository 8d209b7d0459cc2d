#pragma once
// JSON both ways. The writer lays a document out value by value as it is made, two spaces per
// level, "key": value, [] and {} when empty (the layout of nlohmann-json's dump(2) and of Nim's
// pretty, which agree), and hands its text on in chunks of bounded size, so that a document of a
// million entries never stands in memory whole. The reader takes strict JSON (UTF-8, bounded
// nesting, numbers kept as their exact text) into a compact tree whose nodes know their line
// and column, so that a fault found later can still say where it stands.

#include "base/Errors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// JSON text that cannot be read, or a document that does not hold what it is read as; the
// message says where (line and column, from 1) and what.
class EJsonError : public EDecodeError {
public:
    using EDecodeError::EDecodeError;
};

// How the writer spells what the layout leaves open.
struct TJsonStyle {
    // Control characters without a short escape as \u001F rather than \u001f.
    bool UpperHexEscapes = false;
    // What follows the document's last bracket.
    std::string_view End = "\n";
};

// The escaped form of utf8 in double quotes, appended to out. Raises EJsonError for text that
// is not valid UTF-8.
void AppendJsonString(std::string& out, std::string_view utf8, bool upperHex = false);

class TJsonWriter {
public:
    // Takes the next chunk of text; false when it could not be written.
    using Sink = std::function<bool(std::string_view)>;
    explicit TJsonWriter(Sink sink, TJsonStyle style = {});

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the object member whose value comes next.
    TJsonWriter& Key(std::string_view name);
    void String(std::string_view utf8);
    void Number(std::uint64_t value);
    void Integer(std::int64_t value);
    // A number already spelled as JSON (a float's digits): written as it is.
    void Raw(std::string_view token);
    // A number with a fraction: the shortest digits that read back the same, "2.0" for two;
    // null for one that JSON cannot hold (infinite, NaN).
    void Real(double value);
    void Bool(bool value);
    void Null();

    // Ends the document with style.End and hands over the rest; false when any chunk could not
    // be written.
    bool Finish();

private:
    void Separate();
    void Close(char bracket);
    void Spill();

    Sink sink_;
    TJsonStyle style_;
    std::string buffer_;
    std::vector<std::size_t> members_; // per open container: the values written so far
    bool afterKey_ = false;
    bool ok_ = true;
};

// ---- Reading

enum class TJsonKind : std::uint8_t { Null, False, True, Number, String, Array, Object };

// A read document: its nodes, [0] the top value. A container's children are consecutive in
// Children (an object's as name, value, name, value...), strings are decoded and numbers kept
// as their text, both in Text.
class TJsonDocument {
public:
    struct Node {
        TJsonKind Kind = TJsonKind::Null;
        std::uint32_t Line = 0, Column = 0;
        // String, Number: Text[First, First + Count). Array, Object: Children[First, First +
        // Count) (an object's Count counting names and values).
        std::uint32_t First = 0, Count = 0;
    };

    const Node& Top() const { return nodes_.at(0); }
    const Node& At(std::uint32_t index) const { return nodes_[index]; }
    std::string_view TextOf(const Node& node) const { return std::string_view(text_).substr(node.First, node.Count); }
    // The indices of a container's children.
    const std::uint32_t* ChildrenOf(const Node& node) const { return children_.data() + node.First; }
    std::size_t NodeCount() const { return nodes_.size(); }

    // "line 3, column 14".
    static std::string Where(const Node& node);

private:
    friend class TJsonReader;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> children_;
    std::string text_;
};

// The deepest nesting of arrays and objects the reader takes.
inline constexpr std::size_t kMaxJsonDepth = 1024;

// Reads one JSON document (a UTF-8 byte order mark before it is let pass). Raises EJsonError,
// naming line and column, for anything that is not strict JSON: a syntax fault, text that is not
// UTF-8, a control character or lone surrogate in a string, nesting past maxDepth, anything but
// white space after the value.
TJsonDocument ReadJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

// A number node's value when its text is an integer (no fraction, no exponent) in range.
std::optional<std::int64_t> JsonInt64(std::string_view number);
std::optional<std::uint64_t> JsonUint64(std::string_view number);
// A number node's value, rounded once to the nearest double; nothing when it is out of range.
std::optional<double> JsonDouble(std::string_view number);

} // namespace vellocar
