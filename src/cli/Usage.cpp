// The usage lines of a wrong command line, and --help.

#include "Usage.h"

#include "Output.h"

#include <cstddef>
#include <cstdio>
#include <string>

namespace vellocar::cli {

namespace {

// Where the purposes start in the help's list of forms.
constexpr std::size_t kPurposeColumn = 58;

// What --help says after the list of forms, line by line.
constexpr std::string_view kHelpNotes[] = {
    "",
    "BIF is a name as list shows it or as the KEY stores it (data\\2da.bif), or its index in",
    "the KEY; a name that the KEY stores at several entries must be given by its index.",
    "LINE is a resource as list shows it (name.ext). Without --append an existing KEY",
    "is replaced; a replaced KEY or BIF is kept as <name>.bak.",
    "--quiet leaves out the progress bar and the summary lines.",
    "",
    "list --json prints one JSON document instead: the KEY's path and build date and each",
    "BIF (index, stored name, FileSize, resource count, the path it is looked for at and",
    "whether it exists); with BIF, also each resource (line, name, type, extension, ResId,",
    "index, and its offset and size when the BIF opens). Names are decoded as Windows-1252",
    "in \"name\", with their exact bytes in hex in \"name_hex\".",
    "",
    "verify checks the signatures of the KEY and its BIFs, that each BIF is listed once,",
    "is there, opens and has the size the KEY gives, that every KEY entry's resource",
    "exists with the KEY's type, its own index in its ID and bytes inside the file that",
    "overlap neither the tables nor another resource, that every resource is named once,",
    "and that no name and type is listed twice in the whole KEY. One line per problem on",
    "stderr; exit status 1 when there is any.",
    "",
    "--game stands for the KEY arguments of list, extract, verify, find and cat: the KEYs of",
    "the game folder the window finds (the registry, on Linux the Wine prefix's; NWN_ROOT,",
    "Steam, Beamdog's client, GOG), in the order the game reads them: data/nwn_base.key,",
    "nwn_base_loc.key, nwn_retail.key, nwn_retail_loc.key (each from lang/<xx>/data first;",
    "--lang xx, default en), or chitin.key, patch.key, xp1.key ... xp3patch.key of the",
    "classic game. The folder is named on stderr unless --quiet. A resource in a later KEY",
    "replaces the same name and type in an earlier one; a BIF is then named as stored.",
    "",
    "extract --all writes each BIF into DIR/<BIF name>/ (--flat: all into DIR, and with",
    "several KEYs only the resource the game loads); --match PATTERN (repeatable: *, ?,",
    "[...], letter case ignored) keeps the resources whose name.ext matches, also with one",
    "BIF. A missing BIF is reported and the others exported. Resources whose bytes overlap",
    "are reported, and an export stops before it writes more than a BIF's own size and",
    "1 MiB, so that a small BIF cannot fill the disk; --allow-overlaps writes them all.",
    "Folders below DIR must be folders of their own: a BIF whose folder is a link is",
    "not exported.",
    "find prints name.ext, KEY, BIF, line index in the BIF's list, size, and 'loaded' for",
    "the entry the game loads or 'shadowed' for those it replaces, tab-separated; --json",
    "one document. find --shadowed counts each KEY's resources that later KEYs replace.",
    "cat writes the exact bytes of the resource the game loads; on a terminal only text,",
    "unless --force.",
    "",
    "--png writes a texture (tga: types 2, 3 and 10; dds: DXT1, DXT3, DXT5 or 24/32-bit RGB,",
    "with the standard header or the game's older one; plt: its layers in fixed colours) as",
    "a PNG picture, 8-bit RGBA, the largest mipmap, the right way up as the game draws it.",
    "cat --png refuses a resource that is not a texture, or does not decode; extract --png",
    "writes each texture as name.png (name.ext.png where two outputs would take one name)",
    "and everything else as it is; a texture that does not decode is skipped and reported.",
    "",
    "On a terminal, bytes of names that a terminal could act on are shown as \\xHH (the",
    "byte in hex): control bytes, DEL, C1 controls and bytes that are not valid UTF-8;",
    "a backslash that would read as such an escape is shown as \\x5c. Error messages",
    "are always escaped so. Output into a pipe or a file keeps the exact bytes.",
    "",
    "HAK stands for any archive of the ERF family, known by its first bytes (HAK, MOD,",
    "ERF, NWM, SAV; version V1.0): list, extract and cat read its resources as those of a",
    "BIF, list --json gives its header, localized strings and each resource, and verify",
    "reports resources past its end, overlapping bytes, one name and type listed twice and",
    "key entries whose ResID is not their place.",
    "",
    "With SOURCE_DATE_EPOCH set (seconds since 1970, from 0 to 253402300799, the end of",
    "9999-12-31), pack stamps the KEY with that UTC date instead of today's: the same folder",
    "then packs to the same bytes every time.",
    "",
    "Exit status: 0 success, 1 failure, a resource skipped or not found, a BIF missing or a",
    "problem found, 2 wrong usage.",
};

} // namespace

int UsageError(std::string_view message, std::initializer_list<Usage> usages) {
    Complain(message);
    std::string hint;
    for (const Usage& usage : usages) hint.append("usage: ").append(usage.synopsis) += '\n';
    hint.append("Try 'vellocar-cli --help' for more information.\n");
    std::fwrite(hint.data(), 1, hint.size(), stderr);
    return kExitUsage;
}

void PrintHelp(Output& out) {
    out.OwnLine("Packs, lists and exports Neverwinter Nights BIF/KEY archives.");
    out.OwnLine("");
    out.OwnLine("usage:");
    for (const Usage& usage : {kUsageList, kUsageListBif, kUsageExtract, kUsageExtractAll, kUsagePack, kUsageVerify,
                               kUsageFind, kUsageShadowed, kUsageCat, kUsageInfo}) {
        std::string line = "  ";
        line.append(usage.synopsis);
        // A synopsis too long for the column gets its purpose on a line of its own.
        if (line.size() >= kPurposeColumn) {
            out.OwnLine(line);
            line.assign(kPurposeColumn, ' ');
        } else {
            line.append(kPurposeColumn - line.size(), ' ');
        }
        out.OwnLine(line.append(usage.purpose));
    }
    for (const std::string_view note : kHelpNotes) out.OwnLine(note);
}

} // namespace vellocar::cli
