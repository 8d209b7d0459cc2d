// The JSON writer: dump(2)'s layout and escaping, its text handed on in bounded chunks.

#include "JsonWriter.h"

#include "base/Errors.h"
#include "base/Text.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <iterator>
#include <utility>

namespace vellocar::cli {

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

std::string PathText(std::string_view path) { return IsValidUtf8(path) ? std::string(path) : Windows1252ToUtf8(path); }

// ---- TJsonWriter ------------------------------------------------------------------------------

TJsonWriter::TJsonWriter(Sink sink) : sink_(std::move(sink)) { buffer_.reserve(kChunk + kChunk / 4); }

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
    if (NeedsNoEscape(utf8)) {
        buffer_ += '"';
        buffer_.append(utf8);
        buffer_ += '"';
    } else {
        // nlohmann-json's own escaping, so that the text is what its dump gives.
        buffer_ += nlohmann::json(std::string(utf8)).dump();
    }
    Spill();
}

void TJsonWriter::Number(std::uint64_t value) {
    Separate();
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
}

void TJsonWriter::Real(double value) {
    Separate();
    buffer_ += nlohmann::json(value).dump();
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
    buffer_ += '\n';
    ok_ = sink_(buffer_) && ok_;
    buffer_.clear();
    return ok_;
}

TJsonWriter StdoutJson() {
    return TJsonWriter(
        [](std::string_view chunk) { return std::fwrite(chunk.data(), 1, chunk.size(), stdout) == chunk.size(); });
}

void FinishJson(TJsonWriter& json) {
    if (!json.Finish()) throw EWriteError("cannot write the listing to standard output");
}

} // namespace vellocar::cli
