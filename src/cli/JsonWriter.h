#pragma once
// JSON for scripts, written value by value as it is made, so that a document of a million
// entries never stands in memory whole: the writer, the form in which paths of this machine go
// into it, and the writer to standard output that list --json and find --json use.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar::cli {

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
    // A number with a fraction, as nlohmann-json writes a double (the shortest form that reads
    // back the same, "2.0" for two); null for one that JSON cannot hold (infinite, NaN).
    void Real(double value);
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

// A writer that hands its chunks to standard output.
TJsonWriter StdoutJson();

// Finishes a document written by StdoutJson; raises EWriteError when any of it could not be
// written.
void FinishJson(TJsonWriter& json);

} // namespace vellocar::cli
