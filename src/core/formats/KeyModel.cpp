// The KEY model's own functions: names and lines of its entries, as the archive spells them.

#include "formats/KeyModel.h"

#include "base/Text.h"
#include "names/ResourceTypes.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace vellocar {

std::string OtherVersionText(std::string_view kind, std::string_view found, const TFourCC& read) {
    return "of version " + Quoted(Printable(found)) + ", which Vellocar does not read (it reads " + std::string(kind) +
        " version " + Quoted(std::string_view(read.data(), read.size())) + ")";
}

std::string ResRefToString(const TResRef& resRef) {
    const auto end = std::find(resRef.begin(), resRef.end(), '\0');
    return std::string(resRef.begin(), end);
}

namespace {

// The bytes of an entry's line, in a buffer of the longest there is: a ResRef, a point and an
// extension of three letters.
struct TLineBytes {
    std::array<char, kResRefSize + 4> Text;
    std::size_t Size = 0;
    bool Ascii = true; // no byte beyond ASCII: this system spells the line as it stands
    std::string_view View() const { return {Text.data(), Size}; }
};

TLineBytes LineBytes(const TNWNKeyEntry& entry) {
    TLineBytes line;
    const char* resRef = entry.ResRef.data();
    std::memcpy(line.Text.data(), resRef, kResRefSize);
    const void* zero = std::memchr(resRef, '\0', kResRefSize);
    line.Size = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - resRef) : kResRefSize;
    // All 16 bytes looked at in two words, the name's and any after its zero: a byte beyond
    // ASCII anywhere only sends the line the longer way.
    std::uint64_t words[2];
    static_assert(sizeof words == kResRefSize);
    std::memcpy(words, resRef, kResRefSize);
    line.Ascii = ((words[0] | words[1]) & 0x8080808080808080u) == 0;
    line.Text[line.Size++] = '.';
    line.Size += ResTypeExtension(entry.ResType).copy(line.Text.data() + line.Size, line.Text.size() - line.Size);
    return line;
}

} // namespace

TArchiveName ResourceLine(const TNWNKeyEntry& entry) { return {std::string(LineBytes(entry).View())}; }

void AppendShownLine(std::string& out, const TNWNKeyEntry& entry) {
    const TLineBytes line = LineBytes(entry);
    if (line.Ascii)
        out.append(line.View());
    else
        AppendShownName(out, line.View(), platform::kHostSpelling);
}

} // namespace vellocar
