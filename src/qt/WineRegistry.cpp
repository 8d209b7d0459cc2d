#include "WineRegistry.h"

#include "ConfigFile.h"
#include "Errors.h"
#include "Names.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <string_view>
#include <vector>

namespace vellocar::qt {

namespace {

namespace fs = std::filesystem;

// A prefix's system.reg is a few megabytes; one past this is not Wine's, or not for reading
// at start.
constexpr std::uint64_t kMaxSystemRegBytes = 64u << 20;

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
std::string Utf16ToUtf8(const std::u16string& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

// Reads Wine's escaped text from line[pos] up to the unescaped terminator, which is consumed.
// Wine escapes backslash and quote, C control escapes, octal (\0, \12) and \xHHHH for every
// character outside printable ASCII; the file itself is plain ASCII. Characters that are not
// escaped are taken as bytes of UTF-8. Returns false when the terminator is missing.
bool ReadEscaped(std::string_view line, std::size_t& pos, char terminator, std::u16string& out) {
    std::string raw; // unescaped bytes, flushed into out as UTF-8 decoded code units
    auto flush = [&] {
        // Raw bytes are ASCII in practice; decode UTF-8 leniently for anything else.
        std::size_t i = 0;
        while (i < raw.size()) {
            auto c = static_cast<unsigned char>(raw[i]);
            std::uint32_t cp = c;
            std::size_t extra = 0;
            if (c >= 0xF0) {
                cp = c & 0x07u;
                extra = 3;
            } else if (c >= 0xE0) {
                cp = c & 0x0Fu;
                extra = 2;
            } else if (c >= 0xC0) {
                cp = c & 0x1Fu;
                extra = 1;
            }
            ++i;
            for (std::size_t k = 0; k < extra && i < raw.size(); ++k, ++i)
                cp = (cp << 6) | (static_cast<unsigned char>(raw[i]) & 0x3Fu);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (cp >> 10));
                out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
        }
        raw.clear();
    };
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == terminator) {
            flush();
            return true;
        }
        if (c != '\\' || pos >= line.size()) {
            raw += c;
            continue;
        }
        char e = line[pos++];
        char16_t unit = 0;
        switch (e) {
            case 'a':
                unit = u'\a';
                break;
            case 'b':
                unit = u'\b';
                break;
            case 'e':
                unit = 0x1B;
                break;
            case 'f':
                unit = u'\f';
                break;
            case 'n':
                unit = u'\n';
                break;
            case 'r':
                unit = u'\r';
                break;
            case 't':
                unit = u'\t';
                break;
            case 'v':
                unit = u'\v';
                break;
            case 'x': {
                unsigned value = 0;
                int digits = 0;
                while (digits < 4 && pos < line.size() && HexDigitValue(line[pos]) >= 0) {
                    value = value * 16 + static_cast<unsigned>(HexDigitValue(line[pos++]));
                    ++digits;
                }
                if (digits == 0) {
                    raw += 'x';
                    continue;
                }
                unit = static_cast<char16_t>(value);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned value = static_cast<unsigned>(e - '0');
                    for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits)
                        value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
                    unit = static_cast<char16_t>(value);
                    break;
                }
                raw += e; // \\, \", \[, \] and anything unknown stand for themselves
                continue;
        }
        flush();
        out += unit;
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

// Parses the data after '=' of a value line.
RawValue ParseData(std::string_view data) {
    RawValue v;
    std::size_t pos = 0;
    if (!data.empty() && data[0] == '"') {
        v.Type = kRegSz;
    } else if (StartsWithNoCase(data, "str(")) {
        std::size_t close = data.find("):");
        if (close == std::string_view::npos) {
            v.NonEmptyUnknown = true;
            return v;
        }
        v.Type = std::atoi(std::string(data.substr(4, close - 4)).c_str());
        pos = close + 2;
        if (pos >= data.size() || data[pos] != '"') {
            v.NonEmptyUnknown = pos < data.size();
            v.Type = kRegUnknown;
            return v;
        }
    } else if (StartsWithNoCase(data, "dword:")) {
        v.Type = kRegDword;
        std::string_view digits = data.substr(6);
        for (char c : digits)
            if (HexDigitValue(c) >= 0) v.Bytes.push_back(0); // only its emptiness matters
        return v;
    } else if (StartsWithNoCase(data, "hex")) {
        pos = 3;
        v.Type = kRegBinary;
        if (pos < data.size() && data[pos] == '(') {
            std::size_t close = data.find(')', pos);
            if (close == std::string_view::npos) {
                v.NonEmptyUnknown = true;
                v.Type = kRegUnknown;
                return v;
            }
            v.Type =
                static_cast<int>(std::strtol(std::string(data.substr(pos + 1, close - pos - 1)).c_str(), nullptr, 16));
            pos = close + 1;
        }
        if (pos >= data.size() || data[pos] != ':') {
            v.NonEmptyUnknown = true;
            v.Type = kRegUnknown;
            return v;
        }
        ++pos;
        int high = -1;
        for (; pos < data.size(); ++pos) {
            int d = HexDigitValue(data[pos]);
            if (d < 0) {
                high = -1;
                continue;
            }
            if (high < 0) {
                high = d;
            } else {
                v.Bytes.push_back(static_cast<unsigned char>(high * 16 + d));
                high = -1;
            }
        }
        return v;
    } else {
        v.NonEmptyUnknown = !data.empty();
        return v;
    }
    ++pos; // the opening quote
    v.IsText = true;
    ReadEscaped(data, pos, '"', v.Text);
    return v;
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

// Reads the physical line of text at pos (without its line end) and moves pos past it.
bool ReadPhysicalLine(std::string_view text, std::size_t& pos, std::string& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line.assign(text.substr(pos, end - pos));
    pos = end == text.size() ? end : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// Reads one line, joining the backslash-continued lines of long hex values.
bool ReadLogicalLine(std::string_view text, std::size_t& pos, std::string& line) {
    if (!ReadPhysicalLine(text, pos, line)) return false;
    std::string next;
    while (!line.empty() && line.back() == '\\' && line.front() != '[' && line.find("=hex") != std::string::npos &&
           ReadPhysicalLine(text, pos, next)) {
        line.pop_back();
        std::size_t start = next.find_first_not_of(" \t");
        line += start == std::string::npos ? std::string() : next.substr(start);
    }
    return true;
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
    const TConfigText file = ReadConfigFile(path, kMaxSystemRegBytes);
    if (!file.Refusal.empty()) {
        // Not the game's business to fail over: the dialogs then start unpreset, and the note
        // says why.
        const std::string note = "vellocar: passing over the Wine registry: " + file.Refusal + "\n";
        std::fwrite(note.data(), 1, note.size(), stderr);
    }
    if (!file.Text) return std::nullopt;
    const auto text = WineRegistryValue(*file.Text, key, value);
    if (!text || text->empty()) return text;
    return MapWindowsPath(prefix, *text);
}

std::optional<std::string> WineRegistryValue(std::string_view systemReg, const std::string& key,
                                             const std::string& value) {
    const std::string wanted = MachineRelative(key);
    std::string wanted32;
    if (StartsWithNoCase(wanted, "SOFTWARE\\") && !StartsWithNoCase(wanted, "SOFTWARE\\Wow6432Node\\"))
        wanted32 = "Software\\Wow6432Node\\" + wanted.substr(9);

    // 0: not in a wanted section; 1: the native view; 2: the 32-bit view.
    int section = 0;
    std::optional<RawValue> found[3];
    std::string line;
    std::size_t at = 0;
    while (ReadLogicalLine(systemReg, at, line)) {
        if (line.empty()) continue;
        if (line.front() == '[') {
            std::size_t pos = 1;
            std::u16string name;
            section = 0;
            if (!ReadEscaped(line, pos, ']', name)) continue;
            std::string keyName = Utf16ToUtf8(name);
            if (EqualIgnoringCase(keyName, wanted))
                section = 1;
            else if (!wanted32.empty() && EqualIgnoringCase(keyName, wanted32))
                section = 2;
            continue;
        }
        if (section == 0 || found[section]) continue;

        std::size_t pos = 0;
        std::string valueName;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            pos = 1;
            std::u16string name;
            if (!ReadEscaped(line, pos, '"', name)) continue;
            valueName = Utf16ToUtf8(name);
        } else {
            continue; // #time= and other metadata
        }
        if (pos >= line.size() || line[pos] != '=') continue;
        if (!EqualIgnoringCase(valueName, value)) continue;
        found[section] = ParseData(std::string_view(line).substr(pos + 1));
    }

    const RawValue* v = found[1] ? &*found[1] : found[2] ? &*found[2] : nullptr;
    if (!v) return std::nullopt;

    std::u16string text;
    if (v->Type == kRegSz || v->Type == kRegExpandSz) {
        text = v->IsText ? v->Text : BytesAsUtf16(v->Bytes);
    } else {
        bool empty = v->IsText ? v->Text.empty() : v->Bytes.empty() && !v->NonEmptyUnknown;
        if (!empty) throw EVellocarError("Invalid data type for '" + value + "'");
        return std::string();
    }
    if (auto zero = text.find(u'\0'); zero != std::u16string::npos) text.resize(zero);
    return Utf16ToUtf8(text);
}

} // namespace vellocar::qt
