// Which resources have a JSON form, and the writing of it.

#include "formats/ResourceJson.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/Gff.h"
#include "formats/GffJson.h"
#include "formats/TalkJson.h"

#include <string_view>

namespace vellocar {

namespace {

constexpr std::size_t kSignatureSize = 8; // the file type and the version, four characters each
constexpr std::string_view kGffVersion = "V3.2";

} // namespace

void CheckGffVersion(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kSignatureSize)
        throw EDecodeError("it is no GFF: " + std::to_string(bytes.size()) + " bytes are too short for its header");
    const std::string_view version(reinterpret_cast<const char*>(bytes.data()) + 4, 4);
    if (version != kGffVersion) throw EDecodeError("it is no GFF V3.2: its version is " + Quoted(Printable(version)));
}

bool HasJsonForm(TResType type) { return IsGffType(type) || IsTalkJsonType(type); }

bool WriteResourceJson(TResType type, std::span<const std::uint8_t> bytes, const TJsonWriter::Sink& sink,
                       std::optional<std::uint32_t> codePage) {
    if (IsGffType(type)) {
        CheckGffVersion(bytes);
        const gff::TGff model = gff::ReadGff(bytes);
        if (!gff::WriteGffJson(model, sink)) throw EWriteError("the JSON could not be written");
        return true;
    }
    if (IsTalkJsonType(type)) {
        TJsonWriter json(sink);
        try {
            WriteTalkJson(type, bytes, codePage, json);
        } catch (const EFormatError& e) {
            // A damaged table is a resource that does not decode, as a damaged GFF is.
            throw EDecodeError(e.what());
        }
        if (!json.Finish()) throw EWriteError("the JSON could not be written");
        return true;
    }
    return false;
}

} // namespace vellocar
