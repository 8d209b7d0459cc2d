// cat: the exact bytes of the resource that the game loads from the KEYs given, on stdout; on a
// terminal only text, unless forced. With --png, a texture as a PNG picture instead. HAKs (--hak)
// stand above the KEYs, the first listed winning; an archive of the ERF family given alone gives
// its first resource of that name and type.

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "Commands.h"
#include "formats/BifFiles.h"
#include "formats/ResourceJson.h"
#include "KeyArguments.h"
#include "media/Textures.h"
#include "names/ArchiveNames.h"
#include "names/ResourceTypes.h"
#include "operations/Containers.h"
#include "operations/GameKeys.h"
#include "operations/ResourceLayers.h"
#include "operations/ResourceRead.h"
#include "Output.h"
#include "platform/Platform.h"
#include "platform/PngWriter.h"
#include "formats/Tlk.h"
#include "TerminalText.h"
#include "Usage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace vellocar::cli {

namespace {

// A resource's bytes inside the file that holds them: its BIF, or its HAK.
struct Piece {
    std::string Path; // the BIF or the HAK
    TResourceSpan Span;
};

// A resource's name as an archive holds it (Windows-1252, which "é" fits in one byte of) and its
// type, from wanted (NAME.EXT). Complains and returns nothing when wanted is no resource name.
struct Wanted {
    std::string ResRef;
    std::uint16_t Type = 0;
};
std::optional<Wanted> WantedResource(const std::string& wanted) {
    const std::string archived = ArchiveNameOf(wanted, platform::kHostSpelling).value_or(TArchiveName{}).Bytes;
    const std::size_t point = archived.rfind('.');
    const std::string resRef = point == std::string::npos ? archived : archived.substr(0, point);
    if (point == std::string::npos || resRef.empty() || resRef.size() > kResRefSize) {
        Complain(Quoted(wanted) + " is no resource name (a name of 1 to 16 characters, a point, an extension)");
        return std::nullopt;
    }
    const TResType type = ExtToResType(archived.substr(point));
    if (type == kUnknownResType) {
        Complain(Quoted(wanted) + ": the extension " + Quoted(platform::ShownName({archived.substr(point + 1)})) +
                 " is no resource type");
        return std::nullopt;
    }
    return Wanted{resRef, static_cast<std::uint16_t>(type)};
}

// "2 KEYs", "2 KEYs and 1 HAK": what a set that holds no resource was.
std::string SourcesRead(const TResourceSet& set) {
    const auto counted = [](std::size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    return counted(set.Keys.size(), "KEY") + (set.Haks.empty() ? "" : " and " + counted(set.Haks.size(), "HAK"));
}

// The resource that the game loads for wanted (NAME.EXT) from the set: where its bytes are.
// Complains and returns nothing when wanted is no resource name, no KEY or HAK holds it, or the
// BIF of its KEY is missing or does not hold it.
std::optional<Piece> LoadedBytes(const TResourceSet& set, const std::string& wanted) {
    ReportProblems(set);
    const auto name = WantedResource(wanted);
    if (!name) return std::nullopt;
    const auto hit = LoadedResource(set, name->ResRef, name->Type);
    if (!hit) {
        if (set.Keys.empty() && set.Haks.size() == 1)
            Complain(set.Haks[0].Label + " holds no " + wanted);
        else
            Complain("no " + std::string(set.Haks.empty() ? "KEY" : "KEY or HAK") + " holds " + wanted + " (" +
                     SourcesRead(set) + " read)");
        return std::nullopt;
    }
    if (hit->Kind == TSourceKind::Folder) {
        const TResourcePiece piece = PieceOf(set, *hit);
        return Piece{piece.Path, piece.Span};
    }
    if (hit->Kind == TSourceKind::Hak) {
        const TResourceContainer& hak = set.Haks[hit->Source];
        return Piece{hak.Bytes.Path,
                     ListedResource(hak.Entries(), static_cast<std::uint32_t>(hak.Bytes.BifIndex),
                                    hak.Bytes.Tables.VarResources, hit->Line)
                         .Span};
    }
    const std::vector<TGameKey>& keys = set.Keys;
    const std::string& stored = keys[hit->Source].Key->Filenames[hit->Bif].Filename;
    const TBifLocation location = LocateBif(platform::FolderOf(keys[hit->Source].Path), stored);
    if (!location.Found) {
        Complain(BifLabel(keys, hit->Source, hit->Bif) + " holds " + wanted + " but is missing (looked for at " +
                 Quoted(location.Path) + ")");
        return std::nullopt;
    }
    const TOpenedBif bif = OpenBif(location.Path, keys[hit->Source].Key.get(), static_cast<std::int32_t>(hit->Bif));
    const std::uint32_t index = hit->Entry.ResId & kResIdIndexMask;
    if (index >= bif.Tables.VarResources.size()) {
        Complain(BifLabel(keys, hit->Source, hit->Bif) + " holds no resource at index " + std::to_string(index) +
                 ", where the KEY lists " + wanted);
        return std::nullopt;
    }
    const TNWNVarResEntry& resource = bif.Tables.VarResources[index];
    return Piece{location.Path, SpanOf(resource)};
}

// Whether all of piece reads as text on a terminal. A UTF-8 sequence cut by the end of a chunk
// is carried over to the next one.
bool IsText(platform::File& file, const Piece& piece, std::vector<char>& buffer, const std::string& wanted) {
    std::string carried;
    const auto text = [&](std::string_view chunk, bool last) {
        carried.append(chunk);
        const std::size_t shown = TextPrefixLength(carried);
        if (shown < carried.size() && (last || carried.size() - shown >= 4)) return false;
        carried.erase(0, shown);
        return true;
    };
    return EachResourceChunk(file, piece.Span, buffer, text, wanted);
}

// The texture type of NAME.EXT, by its extension; nothing for any other resource.
std::optional<media::TTextureType> TextureOfName(const std::string& wanted) {
    const std::size_t point = wanted.rfind('.');
    if (point == std::string::npos) return std::nullopt;
    return media::TextureTypeOf(ExtToResType(wanted.substr(point)));
}

// Puts stdout in binary mode: the bytes go out exactly, no "\n" becomes "\r\n".
void BinaryStdout() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool WriteStdout(std::string_view bytes) { return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size(); }

// cat --png: the texture decoded and encoded in memory (the resource's bytes, its pixels and the
// PNG), then written out whole; nothing is written when it does not decode.
int CatPng(const CommandLine& cmd, const std::string& wanted, media::TTextureType type, platform::File& file,
           const Piece& piece) {
    std::vector<std::uint8_t> png;
    try {
        std::vector<std::uint8_t> bytes = ReadResourceBytes(file, piece.Span, wanted);
        const media::TImage image = media::DecodeTexture(type, bytes);
        bytes = {};
        png = platform::EncodePng(image.Width, image.Height, image.Rgba);
    } catch (const EDecodeError& e) {
        Complain("cannot write " + wanted + " as PNG: " + e.what() + "; nothing written");
        return kExitFailure;
    }
    if (!cmd.force && IsTerminal(stdout)) {
        Complain(wanted + " as PNG is not text (" + WithThousands(png.size()) +
                 " bytes); not written to the terminal: redirect it into a file, or add --force");
        return kExitFailure;
    }
    BinaryStdout();
    if (!WriteStdout(byteio::AsChars(png.data(), png.size())) || std::fflush(stdout) != 0) {
        Complain("cannot write " + wanted + " as PNG to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

// The type of NAME.EXT, by its extension.
TResType TypeOfName(const std::string& wanted) {
    const std::size_t point = wanted.rfind('.');
    return point == std::string::npos ? kUnknownResType : ExtToResType(wanted.substr(point));
}

// What cat --json and cat --mp3 refuse before anything is read: a type they do not write.
std::optional<std::string> ConvertedRefusal(const CommandLine& cmd, const std::string& wanted) {
    const TResType type = TypeOfName(wanted);
    if (cmd.json && !HasJsonForm(type)) {
        const std::string_view extension = ResTypeExtension(type);
        return wanted + " is " +
            (extension.empty() ? std::string("no known kind of resource")
                               : "a " + std::string(extension) + " resource") +
            ", which has no JSON form: cat --json writes GFF resources (are, ifo, bic, uti, dlg, ...), talk tables "
            "(tlk) and soundsets (ssf); nothing written";
    }
    if (cmd.mp3 && type != restype::kBmu)
        return wanted + " is not music: cat --mp3 writes music resources (bmu) only; nothing written";
    return std::nullopt;
}

// cat --json and cat --mp3: the resource, read whole, written as JSON or as the MP3 inside it;
// nothing is written when its bytes do not read as what its type says.
int CatConverted(const CommandLine& cmd, const std::string& wanted, std::vector<std::uint8_t> bytes) {
    const TResType type = TypeOfName(wanted);
    std::string out;
    if (cmd.json) {
        try {
            WriteResourceJson(
                type, bytes,
                [&](std::string_view chunk) {
                    out.append(chunk);
                    return true;
                },
                cmd.codePage);
        } catch (const EDecodeError& e) {
            Complain("cannot write " + Printable(wanted) + " as JSON: " + e.what() + "; nothing written");
            return kExitFailure;
        }
    } else {
        const auto mp3 = tlk::Mp3OfBmu(bytes);
        if (!cmd.force && IsTerminal(stdout)) {
            Complain(wanted + " as MP3 is not text (" + WithThousands(mp3.size()) +
                     " bytes); not written to the terminal: redirect it into a file, or add --force");
            return kExitFailure;
        }
        out.assign(byteio::AsChars(mp3.data(), mp3.size()));
    }
    BinaryStdout();
    if (!WriteStdout(out) || std::fflush(stdout) != 0) {
        Complain("cannot write " + Printable(wanted) + (cmd.json ? " as JSON" : " as MP3") + " to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

// cat --json FILE, cat --mp3 FILE: one file of the disk, known by its extension.
int CatFile(const CommandLine& cmd, const std::string& path) {
    if (const auto refused = ConvertedRefusal(cmd, path)) {
        Complain(*refused);
        return kExitFailure;
    }
    platform::File file = platform::File::OpenRead(path);
    // The formats' offsets and sizes are 32-bit: a larger file is none of them.
    if (file.Size() > std::numeric_limits<std::uint32_t>::max()) {
        Complain("cannot read " + QuotedPath(path) + ": the file is too large for its kind (" +
                 WithThousands(file.Size()) + " bytes); nothing written");
        return kExitFailure;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadExact(bytes.data(), bytes.size());
    return CatConverted(cmd, path, std::move(bytes));
}

} // namespace

int CatCommand(const CommandLine& cmd, const Operands& args, Output&) {
    // With --hak, the KEYs may be left out: NAME.EXT alone, from the HAKs.
    const bool layers = HasLayerOptions(cmd);
    if ((cmd.json || cmd.mp3) && !cmd.game && !layers && args.size() == 1) return CatFile(cmd, args[0]);
    const bool nameFirst = cmd.game || (layers && args.size() == 1);
    if (nameFirst ? args.size() != 1 : args.size() < 2)
        return UsageError(cmd.game ? "cat --game takes NAME.EXT" : "cat takes KEY, NAME.EXT and more KEYs",
                          {kUsageCat});
    std::vector<std::string> keyPaths;
    if (!nameFirst) {
        keyPaths.push_back(args[0]);
        keyPaths.insert(keyPaths.end(), args.begin() + 2, args.end());
    }
    const std::string& wanted = args[nameFirst ? 0 : 1];
    // Refused before any KEY is read: only a texture has a picture to write.
    const auto texture = cmd.png ? TextureOfName(wanted) : std::nullopt;
    if (cmd.png && !texture) {
        Complain(wanted + " is not an image: cat --png writes textures only (tga, dds, plt); nothing written");
        return kExitFailure;
    }
    if (const auto refused = (cmd.json || cmd.mp3) ? ConvertedRefusal(cmd, wanted) : std::nullopt) {
        Complain(*refused);
        return kExitFailure;
    }
    const bool erf = !nameFirst && FirstIsErf(cmd, args);
    if (erf && (args.size() != 2 || !cmd.haks.empty()))
        return UsageError("cat takes a HAK and one NAME.EXT (several HAKs: cat --hak HAK... NAME.EXT)",
                          {kUsageErfOthers, kUsageCat});
    // An archive read alone is a set of one HAK: its first entry of the name is the one.
    const auto piece =
        LoadedBytes(erf ? TResourceSet{{}, {ErfContainer(args[0])}, {}, {}} : CommandSources(cmd, keyPaths), wanted);
    if (!piece) return kExitFailure;
    platform::File file = platform::File::OpenRead(piece->Path);
    CheckResourceSpan(file, piece->Span, wanted);
    if (texture) return CatPng(cmd, wanted, *texture, file, *piece);
    if (cmd.json || cmd.mp3) return CatConverted(cmd, wanted, ReadResourceBytes(file, piece->Span, wanted));

    std::vector<char> buffer(std::size_t{1} << 16);
    // On a terminal, unless forced, the bytes are read once first and refused unless they are
    // all text: a model or an image would garble the terminal, or drive it with escape sequences.
    if (!cmd.force && IsTerminal(stdout) && !IsText(file, *piece, buffer, wanted)) {
        Complain(wanted + " is not text (" + WithThousands(ReadSize(piece->Span)) +
                 " bytes); not written to the terminal: redirect it into a file, or add --force");
        return kExitFailure;
    }
    BinaryStdout();
    const bool written = EachResourceChunk(
        file, piece->Span, buffer, [](std::string_view chunk, bool) { return WriteStdout(chunk); }, wanted);
    if (!written || std::fflush(stdout) != 0) {
        Complain("cannot write " + wanted + " to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace vellocar::cli
