// One value read out of a Wine prefix's system.reg: its lines, Wine's escapes, the forms a
// value's data takes, and the mapping of a drive path into the prefix.

#include "WineRegistry.h"

#include "MachineRegistry.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "names/Names.h"
#include "platform/ConfigFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vellocar::game {

namespace {

namespace fs = std::filesystem;

// A prefix's system.reg is a few megabytes; one past this is not Wine's, or not for reading
// at start.
constexpr std::uint64_t kMaxSystemRegBytes = 64u << 20;
// The file is read this much at a time.
constexpr std::size_t kChunkBytes = 64u << 10;
// How much of a line the search looks at to know whether it is one it wants: the name of a key
// or a value, escaped (a character may take six bytes), and the start of a value's data. A line
// whose name runs on past this is none that is sought.
constexpr std::size_t kLineHeadBytes = 64u << 10;
// The longest value kept: a folder's path of 32,767 UTF-16 units, each escaped as \xHHHH, fits.
constexpr std::size_t kMaxValueBytes = 256u << 10;

// Registry value types, as Wine writes them in str(N): and hex(N): prefixes.
constexpr int kRegSz = 1;
constexpr int kRegExpandSz = 2;
constexpr int kRegBinary = 3;
constexpr int kRegDword = 4;
constexpr int kRegUnknown = -1;

bool StartsWithNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && EqualIgnoringCase(text.substr(0, start.size()), start);
}

// UTF-16 code units to UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t codePoint = units[i];
        if (IsHighSurrogate(codePoint) && i + 1 < units.size() && IsLowSurrogate(units[i + 1]))
            codePoint = CombineSurrogates(codePoint, units[++i]);
        else if (IsSurrogate(codePoint))
            codePoint = kReplacementCharacter;
        AppendUtf8(out, codePoint);
    }
    return out;
}

// Bytes that stood unescaped in the file, as UTF-16 code units. Wine writes plain ASCII; any
// other byte is read as UTF-8, and one that starts no well-formed sequence stands for U+FFFD.
void AppendDecoded(std::string_view bytes, std::u16string& out) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::uint32_t codePoint = 0;
        if (!NextCodePoint(bytes, at, codePoint)) {
            codePoint = kReplacementCharacter;
            ++at;
        }
        AppendUtf16(out, codePoint);
    }
}

// The C escapes Wine writes for control characters.
constexpr std::array<std::pair<char, char16_t>, 8> kControlEscapes{
    {{'a', u'\a'}, {'b', u'\b'}, {'e', u'\x1B'}, {'f', u'\f'}, {'n', u'\n'}, {'r', u'\r'}, {'t', u'\t'}, {'v', u'\v'}}};
// \xHHHH is one UTF-16 code unit; an octal escape (\0, \12, \177) is at most three digits.
constexpr int kMaxHexDigits = 4;
constexpr int kMaxOctalDigits = 3;

constexpr bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// The code unit that a backslash and letter stand for; pos is just past the letter and moves
// past the escape's digits. Nothing when the escape stands for the letter itself: \\, \",
// \[, \], an \x without digits and anything Wine does not write.
std::optional<char16_t> EscapedUnit(char letter, std::string_view line, std::size_t& pos) {
    for (const auto& [escape, unit] : kControlEscapes)
        if (letter == escape) return unit;
    if (letter == 'x') {
        unsigned value = 0;
        int digits = 0;
        for (; digits < kMaxHexDigits && pos < line.size() && HexDigitValue(line[pos]) >= 0; ++digits)
            value = value * 16 + static_cast<unsigned>(HexDigitValue(line[pos++]));
        if (digits == 0) return std::nullopt;
        return static_cast<char16_t>(value);
    }
    if (IsOctalDigit(letter)) {
        auto value = static_cast<unsigned>(letter - '0');
        for (int digits = 1; digits < kMaxOctalDigits && pos < line.size() && IsOctalDigit(line[pos]); ++digits)
            value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
        return static_cast<char16_t>(value);
    }
    return std::nullopt;
}

// Reads Wine's escaped text from line[pos] up to the unescaped terminator, which is consumed,
// as UTF-16 code units (the escapes give code units, a surrogate pair as two \xHHHH). Returns
// false when the terminator is missing; out then holds the text up to the last escape.
bool ReadEscaped(std::string_view line, std::size_t& pos, char terminator, std::u16string& out) {
    std::string unescaped; // bytes since the last escape, decoded when one comes or the text ends
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == terminator) {
            AppendDecoded(unescaped, out);
            return true;
        }
        if (c != '\\' || pos >= line.size()) {
            unescaped += c;
            continue;
        }
        const char letter = line[pos++];
        const auto unit = EscapedUnit(letter, line, pos);
        if (!unit) {
            unescaped += letter;
            continue;
        }
        AppendDecoded(unescaped, out);
        unescaped.clear();
        out += *unit;
    }
    return false;
}

struct RawValue {
    int Type = kRegUnknown;
    bool IsText = false; // Text holds the data (str forms); else Bytes does
    std::u16string Text;
    std::vector<unsigned char> Bytes;
    bool NonEmptyUnknown = false; // a form we do not parse, with something after the '='
};

// The forms of a value's data after its '='.
constexpr std::string_view kTypedStringStart = "str("; // str(N):"text"
constexpr std::string_view kDwordStart = "dword:"; // dword:0000001f
constexpr std::string_view kHexStart = "hex"; // hex:01,02 or hex(N):01,02

// A form that is not read, holding something or nothing.
RawValue Unreadable(bool nonEmpty) {
    RawValue v;
    v.NonEmptyUnknown = nonEmpty;
    return v;
}

// The quoted text that starts at data[quote].
RawValue QuotedText(int type, std::string_view data, std::size_t quote) {
    RawValue v;
    v.Type = type;
    v.IsText = true;
    std::size_t pos = quote + 1;
    ReadEscaped(data, pos, '"', v.Text);
    return v;
}

RawValue ParseTypedString(std::string_view data) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos) return Unreadable(true);
    const std::size_t quote = close + 2;
    if (quote >= data.size() || data[quote] != '"') return Unreadable(quote < data.size());
    const std::string type(data.substr(kTypedStringStart.size(), close - kTypedStringStart.size()));
    return QuotedText(std::atoi(type.c_str()), data, quote);
}

// Only whether a DWORD holds anything matters: a byte per digit stands for its data.
RawValue ParseDword(std::string_view digits) {
    RawValue v;
    v.Type = kRegDword;
    for (char c : digits)
        if (HexDigitValue(c) >= 0) v.Bytes.push_back(0);
    return v;
}

// The bytes of "01,02,ff": two digits make a byte, anything else ends the pair begun.
std::vector<unsigned char> HexPairs(std::string_view text) {
    std::vector<unsigned char> bytes;
    int high = -1;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            high = -1;
        } else if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<unsigned char>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

RawValue ParseHex(std::string_view data) {
    std::size_t pos = kHexStart.size();
    int type = kRegBinary;
    if (pos < data.size() && data[pos] == '(') {
        const std::size_t close = data.find(')', pos);
        if (close == std::string_view::npos) return Unreadable(true);
        type = static_cast<int>(std::strtol(std::string(data.substr(pos + 1, close - pos - 1)).c_str(), nullptr, 16));
        pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') return Unreadable(true);
    RawValue v;
    v.Type = type;
    v.Bytes = HexPairs(data.substr(pos + 1));
    return v;
}

// Parses the data after '=' of a value line.
RawValue ParseData(std::string_view data) {
    if (!data.empty() && data[0] == '"') return QuotedText(kRegSz, data, 0);
    if (StartsWithNoCase(data, kTypedStringStart)) return ParseTypedString(data);
    if (StartsWithNoCase(data, kDwordStart)) return ParseDword(data.substr(kDwordStart.size()));
    if (StartsWithNoCase(data, kHexStart)) return ParseHex(data);
    return Unreadable(!data.empty());
}

std::u16string BytesAsUtf16(const std::vector<unsigned char>& bytes) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return out;
}

// The key as it appears in system.reg, which holds HKEY_LOCAL_MACHINE's keys relative to it.
std::string MachineRelative(std::string key) {
    for (std::string_view root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"})
        if (StartsWithNoCase(key, root)) key.erase(0, root.size());
    while (!key.empty() && key.front() == '\\') key.erase(0, 1);
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

// The lines of system.reg, read a piece at a time: a line is begun with its first bytes, then
// either kept whole (the value sought) or passed over, so that memory never grows with a line
// the search has no use for, nor with the file.
class TLineReader {
public:
    // The buffer is left unfilled: only what the source gives is ever read from it.
    explicit TLineReader(const TRegistryBytes& bytes)
        : bytes_(bytes), buffer_(std::make_unique_for_overwrite<char[]>(kChunkBytes)) {}

    // Begins the next line: up to limit of its first bytes in head (without its line end).
    // False at the end of the text.
    bool Next(std::string& head, std::size_t limit) {
        head.clear();
        if (!Fill()) return false;
        inLine_ = true;
        last_ = before_ = '\0';
        Take(&head, limit);
        if (!inLine_) DropReturn(head);
        return true;
    }

    // The rest of the line begun, appended to line (until it holds limit bytes) when there is
    // one, else passed over; whether the line (a carriage return at its end aside) ends with a
    // backslash.
    bool Finish(std::string* line, std::size_t limit = std::string::npos) {
        Take(line, limit);
        if (inLine_) Take(nullptr, 0);
        if (line) DropReturn(*line);
        return (last_ == '\r' ? before_ : last_) == '\\';
    }

private:
    bool Fill() {
        if (at_ < size_) return true;
        at_ = 0;
        size_ = std::min(bytes_(buffer_.get(), kChunkBytes), kChunkBytes);
        return size_ > 0;
    }

    // Moves bytes of the line begun into out until out holds limit bytes (all of them without
    // out), and past the line end when it comes.
    void Take(std::string* out, std::size_t limit) {
        while (inLine_ && (!out || out->size() < limit)) {
            if (!Fill()) {
                inLine_ = false;
                break;
            }
            const char* start = buffer_.get() + at_;
            const auto* newline = static_cast<const char*>(std::memchr(start, '\n', size_ - at_));
            std::size_t n = newline ? static_cast<std::size_t>(newline - start) : size_ - at_;
            if (out) n = std::min(n, limit - out->size());
            if (n > 0) {
                if (out) out->append(start, n);
                before_ = n > 1 ? start[n - 2] : last_;
                last_ = start[n - 1];
            }
            at_ += n;
            if (newline && at_ == static_cast<std::size_t>(newline - buffer_.get())) {
                ++at_;
                inLine_ = false;
            }
        }
    }

    static void DropReturn(std::string& line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }

    const TRegistryBytes& bytes_;
    std::unique_ptr<char[]> buffer_;
    std::size_t at_ = 0, size_ = 0;
    bool inLine_ = false;
    char last_ = '\0', before_ = '\0'; // the line's last two bytes so far
};

// Where a 32-bit program's SOFTWARE key lies for a 64-bit Wine; empty for a key outside it.
std::string ThirtyTwoBitView(const std::string& key) {
    constexpr std::string_view kSoftware = "SOFTWARE\\";
    if (!StartsWithNoCase(key, kSoftware) || StartsWithNoCase(key, "SOFTWARE\\Wow6432Node\\")) return {};
    return "Software\\Wow6432Node\\" + key.substr(kSoftware.size());
}

// The key a "[name] timestamp" line opens; nothing when its name is not closed.
std::optional<std::string> SectionName(std::string_view line) {
    std::size_t pos = 1;
    std::u16string name;
    if (!ReadEscaped(line, pos, ']', name)) return std::nullopt;
    return Utf16ToUtf8(name);
}

// The name of the value a line sets ("" for the key's default value, @=) and where its data
// starts; nothing for any other line (#time= and other metadata).
std::optional<std::pair<std::string, std::size_t>> ValueName(std::string_view line) {
    std::size_t pos = 1;
    std::string name;
    if (line.front() == '"') {
        std::u16string escaped;
        if (!ReadEscaped(line, pos, '"', escaped)) return std::nullopt;
        name = Utf16ToUtf8(escaped);
    } else if (line.front() != '@') {
        return std::nullopt;
    }
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    return std::pair{name, pos + 1};
}

// Where the data of a value line starts, past its name and "=", found without decoding the
// name; nothing for any other line. The name ends where ReadEscaped ends it.
std::optional<std::size_t> DataStart(std::string_view line) {
    std::size_t pos = 1;
    if (line.front() == '"') {
        while (pos < line.size() && line[pos] != '"') pos += line[pos] == '\\' ? std::size_t{2} : std::size_t{1};
        if (pos >= line.size()) return std::nullopt;
        ++pos;
    } else if (line.front() != '@') {
        return std::nullopt;
    }
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    return pos + 1;
}

// A value's text up to its first zero character; "" for an empty value of another type.
std::string StringOf(const RawValue& v, const std::string& valueName) {
    if (v.Type != kRegSz && v.Type != kRegExpandSz) {
        const bool empty = v.IsText ? v.Text.empty() : v.Bytes.empty() && !v.NonEmptyUnknown;
        if (!empty) throw EVellocarError("Invalid data type for '" + valueName + "'");
        return {};
    }
    std::u16string text = v.IsText ? v.Text : BytesAsUtf16(v.Bytes);
    if (auto zero = text.find(u'\0'); zero != std::u16string::npos) text.resize(zero);
    return Utf16ToUtf8(text);
}

} // namespace

std::string WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
    return {};
}

std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath) {
    std::string path = windowsPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return path;

    char letter = FoldAscii(path[0]);
    std::string rest = path.substr(2);
    std::string root;
    if (letter == 'c') {
        root = (fs::path(prefix) / "drive_c").string();
    } else {
        fs::path devices = fs::path(prefix) / "dosdevices";
        fs::path link = devices / (std::string(1, letter) + ":");
        std::error_code ec;
        if (fs::is_symlink(link, ec)) {
            fs::path target = fs::read_symlink(link, ec);
            if (ec) return {};
            root = (target.is_absolute() ? target : (devices / target)).lexically_normal().string();
        } else if (fs::is_directory(link, ec)) {
            root = link.string();
        } else {
            return {};
        }
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (rest.empty()) return root;
    if (rest.front() != '/') rest.insert(0, "/");
    if (root == "/") return rest;
    return root + rest;
}

std::optional<std::string> ReadWineRegistryString(const std::string& prefix, const std::string& key,
                                                  const std::string& value) {
    if (prefix.empty()) return std::nullopt;
    const std::string path = (fs::path(prefix) / "system.reg").string();
    // Not the game's business to fail over: the dialogs then start unpreset, and the note says
    // why.
    const auto passOver = [](const std::string& why) {
        const std::string note = "vellocar: passing over the Wine registry: " + why + "\n";
        std::fwrite(note.data(), 1, note.size(), stderr);
        return std::nullopt;
    };
    TConfigStream file = TConfigStream::Open(path, kMaxSystemRegBytes);
    if (!file.Refusal().empty()) return passOver(file.Refusal());
    if (!file.IsOpen()) return std::nullopt;
    std::optional<std::string> text;
    try {
        text =
            WineRegistryValue([&file](char* buffer, std::size_t size) { return file.Read(buffer, size); }, key, value);
    } catch (const EReadError& error) {
        return passOver(QuotedPath(path) + ": " + error.what());
    }
    if (!text || text->empty()) return text;
    return MapWindowsPath(prefix, *text);
}

std::optional<std::string> MachineRegistryString(const std::string& key, const std::string& value) {
    return ReadWineRegistryString(WinePrefix(), key, value);
}

std::optional<std::string> WineRegistryValue(const TRegistryBytes& bytes, const std::string& key,
                                             const std::string& value) {
    const std::string wanted = MachineRelative(key);
    const std::string wanted32 = ThirtyTwoBitView(wanted);

    // The value as each view holds it, the native one (1) before the 32-bit one (2); a later
    // line for the same value in a view is passed over.
    int view = 0; // the view of the section being read; 0 for any other section
    std::optional<RawValue> found[3];
    TLineReader lines(bytes);
    std::string line, next;
    while (lines.Next(line, kLineHeadBytes)) {
        if (!line.empty() && line.front() == '[') {
            const auto name = SectionName(line);
            view = 0;
            if (name && EqualIgnoringCase(*name, wanted))
                view = 1;
            else if (name && !wanted32.empty() && EqualIgnoringCase(*name, wanted32))
                view = 2;
            lines.Finish(nullptr);
            continue;
        }
        const auto data = line.empty() ? std::nullopt : DataStart(line);
        // A hex value's data goes on over the lines that follow one ending with a backslash.
        const bool hex = data && StartsWithNoCase(std::string_view(line).substr(*data), kHexStart);
        // Once the native view has the value, nothing more is wanted.
        const auto named = data && view != 0 && !found[view] && !found[1] ? ValueName(line) : std::nullopt;
        if (!named || !EqualIgnoringCase(named->first, value)) {
            for (bool more = lines.Finish(nullptr) && hex; more; more = lines.Finish(nullptr))
                if (!lines.Next(next, 0)) break;
            continue;
        }
        // The value sought: its data whole, continuation lines joined without their indent, up
        // to the length that any folder's path keeps within.
        bool more = lines.Finish(&line, *data + kMaxValueBytes + 1) && hex;
        std::string text = line.substr(*data);
        while (more && text.size() <= kMaxValueBytes && lines.Next(next, kMaxValueBytes + 1)) {
            more = lines.Finish(&next, kMaxValueBytes + 1);
            text.pop_back();
            const std::size_t start = next.find_first_not_of(" \t");
            if (start != std::string::npos) text.append(next, start);
        }
        if (text.size() > kMaxValueBytes)
            throw EReadError("the value '" + value + "' holds more than " + std::to_string(kMaxValueBytes) +
                             " bytes, more than any folder's path");
        found[view] = ParseData(text);
    }
    if (found[1]) return StringOf(*found[1], value);
    if (found[2]) return StringOf(*found[2], value);
    return std::nullopt;
}

std::optional<std::string> WineRegistryValue(std::string_view systemReg, const std::string& key,
                                             const std::string& value) {
    const TRegistryBytes bytes = [&systemReg](char* buffer, std::size_t size) {
        const std::size_t n = std::min(size, systemReg.size());
        std::copy_n(systemReg.data(), n, buffer);
        systemReg.remove_prefix(n);
        return n;
    };
    return WineRegistryValue(bytes, key, value);
}

} // namespace vellocar::game
