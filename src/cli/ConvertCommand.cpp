// convert: a GFF as the community's JSON (OUT ends in .json), or such JSON back into a GFF (IN
// ends in .json). OUT is written as an export writes its files: created afresh, never through a
// link, removed when it cannot be written whole, and never when it is IN.

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "Commands.h"
#include "formats/Gff.h"
#include "formats/GffJson.h"
#include "formats/ResourceJson.h"
#include "names/ResourceTypes.h"
#include "operations/ResourceRead.h"
#include "Output.h"
#include "platform/Platform.h"
#include "Usage.h"

#include <cstdint>
#include <limits>

namespace vellocar::cli {

namespace {

// A GFF or its JSON is read whole: a file larger than this is no GFF (the format's offsets are
// 32-bit) and is refused before it is read.
constexpr std::uint64_t kMostInput = std::numeric_limits<std::uint32_t>::max();

// The extension of a path's file name, with its point, in small letters ("" when none).
std::string ExtensionOf(const std::string& path) {
    const std::string name = platform::FileNamePart(path);
    const std::size_t point = name.rfind('.');
    std::string extension = point == std::string::npos ? std::string() : name.substr(point);
    for (char& c : extension) c = FoldAscii(c);
    return extension;
}

std::vector<std::uint8_t> ReadInput(const std::string& path) {
    platform::File file = platform::File::OpenRead(path);
    const std::uint64_t size = file.Size();
    if (size > kMostInput)
        throw EDecodeError(Quoted(path) + " is too large (" + WithThousands(size) + " bytes) to be converted");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.ReadExact(bytes.data(), bytes.size());
    return bytes;
}

// The file type a GFF's header carries for OUT's extension: its three letters in capitals and a
// blank ("UTI ").
std::string FileTypeOf(const std::string& extension) {
    std::string type = extension.substr(1);
    for (char& c : type) c = UpperAscii(c);
    type.resize(4, ' ');
    return type;
}

} // namespace

int ConvertCommand(const CommandLine&, const Operands& args, Output&) {
    if (args.size() != 2) return UsageError("convert takes IN and OUT", {kUsageConvert});
    const std::string &in = args[0], &out = args[1];
    if (in.empty() || out.empty()) return UsageError("IN and OUT must not be empty", {kUsageConvert});
    const bool fromJson = ExtensionOf(in) == ".json", toJson = ExtensionOf(out) == ".json";
    if (fromJson == toJson)
        return UsageError("convert takes a GFF and a .json (IN a GFF and OUT a .json, or the other way round)",
                          {kUsageConvert});
    if (platform::SameFile(in, out)) {
        Complain("cannot convert " + Quoted(in) + " into itself; nothing written");
        return kExitFailure;
    }
    const std::vector<std::uint8_t> input = ReadInput(in);
    std::vector<std::uint8_t> output;
    try {
        if (toJson) {
            CheckGffVersion(input);
            const gff::TGff model = gff::ReadGff(input);
            const std::string text = gff::GffToJson(model);
            output.assign(text.begin(), text.end());
        } else {
            const gff::TGff model = gff::GffFromJson(byteio::AsChars(input.data(), input.size()));
            // OUT's extension, when it names a GFF type, is the type the JSON must hold ("gff" any).
            const std::string extension = ExtensionOf(out);
            const TResType type = extension.empty() ? kUnknownResType : ExtToResType(extension);
            if (IsGffType(type) && extension != ".gff" && FileTypeOf(extension) != model.FileType) {
                Complain("cannot convert " + Quoted(in) + ": it holds a " + Quoted(Printable(model.FileType)) +
                         " GFF, which is no " + extension + " file; nothing written");
                return kExitFailure;
            }
            output = gff::WriteGff(model);
        }
    } catch (const EVellocarError& e) {
        Complain("cannot convert " + Quoted(in) + ": " + e.what() + "; nothing written");
        return kExitFailure;
    }
    SaveResourceFile(out, output, in, {});
    return kExitOk;
}

} // namespace vellocar::cli
