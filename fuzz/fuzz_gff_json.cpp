// Any bytes as the JSON of a GFF, in memory: refused with EJsonError, or read into a model whose
// JSON reads back to the same JSON, and whose GFF reads back to that JSON too.

#include "base/Json.h"
#include "FuzzCheck.h"
#include "formats/Gff.h"
#include "formats/GffJson.h"

#include <string>
#include <string_view>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gff::TGff model;
    try {
        model = gff::GffFromJson(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EJsonError&) {
        return 0;
    }
    // What was read is written, read again and written the same.
    const std::string json = gff::GffToJson(model);
    const gff::TGff again = gff::GffFromJson(json);
    if (gff::GffToJson(again) != json) fuzz::Fail("the JSON of a GFF read from its own JSON differs", json);
    // And through the GFF's own bytes.
    const std::vector<std::uint8_t> bytes = gff::WriteGff(again);
    if (gff::GffToJson(gff::ReadGff(bytes)) != json) fuzz::Fail("the GFF written from JSON reads back otherwise", json);
    return 0;
}
