#pragma once
// What `list --json` prints: the KEY, or one BIF of it, as one JSON document for scripts,
// written as it is read: a KEY of a million entries never stands in memory as a document.
//
// Names in a KEY are single bytes in the game's Windows-1252, and need not be valid UTF-8,
// which JSON text must be. So every name comes twice: "name", its bytes decoded as
// Windows-1252 (the five bytes that code page leaves undefined as the C1 controls of the same
// value), and "name_hex", the exact bytes in hex, for a script to pass back or compare. Paths
// of this machine are shown as they are when they are valid UTF-8 (as on Linux), otherwise
// decoded as Windows-1252 too.

#include "KeyFiles.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar::cli {

// The bytes of text as lower-case hex, two digits each.
std::string HexBytes(std::string_view text);

// A path as JSON text: itself when it is valid UTF-8, else decoded as Windows-1252.
std::string PathText(std::string_view path);

// JSON written value by value, laid out exactly as nlohmann-json's dump(2) lays out the same
// document (two spaces per level, "key": value, [] and {} when empty) and escaped by it, and
// handed to sink in chunks of bounded size.
class TJsonWriter {
public:
    // Takes the next chunk of text; false when it could not be written.
    using Sink = std::function<bool(std::string_view)>;
    explicit TJsonWriter(Sink sink);

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the object member whose value comes next.
    TJsonWriter& Key(std::string_view name);
    void String(std::string_view utf8);
    void Number(std::uint64_t value);
    void Bool(bool value);
    void Null();

    // Ends the document with a newline and hands over the rest; false when any chunk could not
    // be written.
    bool Finish();

private:
    void Separate();
    void Close(char bracket);
    void Spill();

    Sink sink_;
    std::string buffer_;
    std::vector<std::size_t> members_; // per open container: the values written so far
    bool afterKey_ = false;
    bool ok_ = true;
};

// The KEY at keyPath (whose BIFs are looked for in keyFolder): its header fields and every
// BIF it names, with where that BIF's file is looked for and whether it is there.
void WriteKeyListing(TJsonWriter& out, const TNWNKeyFile& key, const std::string& keyPath,
                     const std::string& keyFolder);

// The same header and that BIF, with each of its KEY entries; where the BIF's file is there and
// opens, each entry's offset and size in it (null otherwise, and for an entry whose index the
// BIF does not have). A ResRef's "name_hex" holds all its bytes but the zero bytes that pad it
// out, so that a name that starts with a zero byte keeps its bytes too.
void WriteBifListing(TJsonWriter& out, const std::shared_ptr<const TNWNKeyFile>& key, const std::string& keyPath,
                     const std::string& keyFolder, std::size_t bif);

} // namespace vellocar::cli
