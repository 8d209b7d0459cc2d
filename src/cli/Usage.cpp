// The usage lines of a wrong command line, and --help.

#include "Usage.h"

#include "Output.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace vellocar::cli {

namespace {

// Where the purposes start in the help's list of forms.
constexpr std::size_t kPurposeColumn = 58;

// What --help says after the list of forms, line by line.
constexpr std::string_view kHelpNotes[] = {
    "'vellocar-cli help COMMAND' or 'vellocar-cli COMMAND --help' shows one command's help.",
    "",
    "BIF is a name as list shows it or as the KEY stores it (data\\2da.bif), or its index in",
    "the KEY; a name that the KEY stores at several entries must be given by its index.",
    "A name that matches none so is matched as the game's files are: letter case and / or \\",
    "aside, with or without its data\\ folder, or by its file name alone (2da.bif).",
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
    "unless --force. cat --json writes a talk table (tlk: language, code page, and each",
    "entry's strref, flags, text in UTF-8, sound ResRef and sound length) or a soundset",
    "(ssf: each sound's index, name, ResRef and strref) as one JSON document; the texts are",
    "decoded with the code page of the table's language (1252 for the Western languages,",
    "1250 for Polish), or --code-page N (1251 for a Russian table). The East Asian code",
    "pages are not decoded: their bytes past ASCII are shown as \\xHH. cat --mp3 writes a",
    "music resource (bmu) as its MP3, the 8-byte BMU header cut. Both also read one file",
    "given alone (cat --json dialog.tlk).",
    "--hak HAK (repeatable) adds a module's HAKs to find and cat, as the game reads them:",
    "above all KEYs (also those of --game), the first HAK given winning over later ones",
    "(give them in the order of the module's HAK list); the KEYs may then be left out. A",
    "resource in a HAK is shown with the HAK's path for KEY and '-' for BIF, its line index",
    "in the HAK's list; --json lists the HAKs in \"haks\" (index, path, type) and gives such",
    "a resource \"hak\" and \"hak_path\" instead of the KEY's and BIF's fields.",
    "",
    "LAYERS, for find, cat, conflicts and extract, in the game's order, a later one",
    "winning: the KEYs; the game's ovr folder (with --game); --override DIR (the user's",
    "override); the HAKs of --module M (a .mod, a module's folder, or with --game a",
    "module's name in the user's modules folder ($NWN_HOME) or the game's data/mod), its",
    "first HAK winning, looked for in the user's hak folder then the game's data/hk; then",
    "each --hak HAK; --development DIR; then each --folder DIR, in order, the last one",
    "winning. A folder's files count when named name.ext with a known type; links are not",
    "followed. A HAK that is missing or damaged and a folder that cannot be read are named",
    "on stderr (\"problems\" in JSON), the rest is read, and the exit status is 1. A",
    "resource from a folder shows the folder for KEY.",
    "conflicts prints each resource with more than one copy: name.ext, the winning",
    "layer, 'same' or 'differ' (SHA-1 of each copy's bytes), then one line per copy.",
    "extract LAYERS DIR [PATTERN...] writes the copy the game loads of each resource",
    "that matches a PATTERN (every resource when none; --match adds patterns) flat into",
    "DIR, with --png and --json as for a BIF; of two resources that would be one file in",
    "DIR the first is written and the other named as skipped. With --game alone, DIR must",
    "be the only operand (extract --game BIF DIR keeps its meaning): give patterns with",
    "--match.",
    "",
    "--png writes a texture (tga: types 2, 3 and 10; dds: DXT1, DXT3, DXT5 or 24/32-bit RGB,",
    "with the standard header or the game's older one; plt: its layers in fixed colours) as",
    "a PNG picture, 8-bit RGBA, the largest mipmap, the right way up as the game draws it.",
    "cat --png refuses a resource that is not a texture, or does not decode; extract --png",
    "writes each texture as name.png (name.ext.png where two outputs would take one name)",
    "and everything else as it is; a texture that does not decode is written as its own",
    "bytes under its own name (name.tga), with a note on stderr.",
    "",
    "--json writes a GFF resource (are, ifo, bic, git, uti, utc, dlg, ...) as JSON in the",
    "shape of the community's nwn_gff: cat --json on stdout, extract --json as name.ext.json",
    "(other resources as they are). convert IN OUT turns a GFF into that JSON when OUT ends",
    "in .json, and such JSON back into a GFF when IN does; the GFF's type comes from the",
    "JSON's \"__data_type\" and must match OUT's extension when that is a GFF type. OUT is",
    "written afresh, never through a link, and never when it is IN.",
    "",
    "On a terminal, bytes of names that a terminal could act on are shown as \\xHH (the",
    "byte in hex): control bytes, DEL, C1 controls and bytes that are not valid UTF-8;",
    "a backslash that would read as such an escape is shown as \\x5c. Error messages",
    "are always escaped so. Output into a pipe or a file keeps the exact bytes.",
    "",
    "HAK stands for any archive of the ERF family, known by its first bytes (HAK, MOD,",
    "ERF, NWM, SAV; version V1.0 or E1.0): list, extract and cat read its resources as",
    "those of a BIF (E1.0's compressed ones unpacked), list --json gives its header,",
    "localized strings and each resource, and verify reports resources past its end,",
    "overlapping bytes, one name and type listed twice, key entries whose ResID is not",
    "their place and, in E1.0, resources whose bytes do not give their SHA-1.",
    "",
    "pack makes the folder of BIF and of KEY when the folder above it exists (one level,",
    "never through a link). pack SRCDIR HAK writes an archive of the ERF family (V1.0),",
    "its resources in the order a BIF's are; an existing archive of another kind is refused.",
    "",
    "With SOURCE_DATE_EPOCH set (seconds since 1970, from 0 to 253402300799, the end of",
    "9999-12-31), pack stamps the KEY (or HAK) with that UTC date instead of today's: the same folder",
    "then packs to the same bytes every time.",
    "",
    "Exit status: 0 success, 1 failure, a resource skipped or not found, a BIF missing or a",
    "problem found, 2 wrong usage.",
};

// One command's help: its forms, what it does, and its options, a line each.
struct CommandHelp {
    std::string_view command;
    std::vector<Usage> usages;
    std::vector<std::string_view> text;
};

const std::vector<CommandHelp>& CommandHelps() {
    static const std::vector<CommandHelp> helps{
        {"list",
         {kUsageList, kUsageListBif},
         {"Lists the names of the KEY's BIFs, or with BIF the resources of that BIF (name.ext), one",
          "per line, in the KEY's order. The KEY alone is read: the BIFs need not be there.",
          "BIF is a name as list shows it, letter case, / or \\ and the data\\ folder aside, its",
          "file name alone, or its index in the KEY.", "",
          "options:", "  --json        one JSON document instead of lines",
          "  --game        the game's own KEYs instead of KEY (--lang xx: their language)",
          "  --quiet, -q   no summary or progress"}},
        {"extract",
         {kUsageExtract, kUsageExtractAll, kUsageExtractLayers},
         {"Writes the resources of one BIF (all, or the LINEs named as list shows them) into DIR,",
          "or with --all every BIF of the KEY, each into DIR/<BIF name>/. BIF is named as for list.",
          "With LAYERS, the copy the game loads of each resource that matches a PATTERN (all",
          "when none) into DIR itself; with --game alone, DIR only, patterns by --match.", "",
          "options:", "  --png             textures (tga, dds, plt) as PNG pictures; one that does not decode",
          "                    is written as its own bytes, with a note", "  --all             every BIF of the KEY",
          "  --flat            with --all: every resource into DIR itself",
          "  --match PATTERN   only the resources whose name.ext matches (*, ?, [...]); repeatable",
          "  --allow-overlaps  write resources that share their bytes past the BIF's own size",
          "  --game            the game's own KEYs instead of KEY (--lang xx: their language)",
          "  --module M, --hak HAK, --override DIR, --development DIR, --folder DIR",
          "                    the layers to export from (see LAYERS in --help)",
          "  --quiet, -q       no summary or progress"}},
        {"pack",
         {kUsagePack, kUsagePackErf},
         {"Packs the plain files of SRCDIR into a new BIF and registers it in KEY: a new KEY, or",
          "with --append the KEY that stands. With one target, packs them into an archive of the",
          "ERF family instead, its kind from the name (.hak, .mod, .erf, .nwm, .sav) or --type.",
          "A replaced file is kept as <name>.bak. The folder of each target is made when the",
          "folder above it exists.", "",
          "options:", "  --append            add the BIF to the existing KEY; or add to the existing",
          "                      archive, a resource already there replaced by the folder's file",
          "  --type KIND         the archive's kind: hak, mod, erf, nwm or sav",
          "  --description TEXT  the archive's description (English, Windows-1252)",
          "  --quiet, -q         no summary or progress"}},
        {"verify",
         {kUsageVerify},
         {"Checks the KEY against its BIFs (all, or those named as for list): signatures, sizes,",
          "that every resource is there with the KEY's type and its bytes inside the BIF, and",
          "that no name is listed twice. One line per problem on stderr; exit status 1 when", "there is any.", "",
          "options:", "  --game        the game's own KEYs instead of KEY (--lang xx: their language)",
          "  --quiet, -q   no summary"}},
        {"find",
         {kUsageFind, kUsageShadowed},
         {"Prints each resource of the KEYs whose name.ext matches PATTERN (*, ?, [...], letter",
          "case ignored): name.ext, KEY, BIF, line, size, and whether the game loads it or a",
          "later KEY shadows it. With --shadowed, how much of each KEY later KEYs shadow.",
          "A module's HAKs stand above every KEY, the first given winning; a resource in one",
          "shows the HAK's path for KEY and '-' for BIF.", "",
          "options:", "  --json        one JSON document instead of lines",
          "  --shadowed    the counts of shadowed resources per KEY (and per HAK)",
          "  --hak HAK     a module's HAK (MOD, ERF, ...) above the KEYs; repeatable, in the",
          "                module's order",
          "  --module M, --override DIR, --development DIR, --folder DIR   more layers (see",
          "                LAYERS in --help)",
          "  --game        the game's own KEYs instead of KEY... (--lang xx: their language)",
          "  --quiet, -q   no summary"}},
        {"cat",
         {kUsageCat, kUsageCatJson},
         {"Writes the exact bytes of the resource NAME.EXT that the game loads from the KEYs (a",
          "later KEY wins) on stdout. On a terminal only text is written.", "",
          "options:", "  --force       write to a terminal what is not text",
          "  --hak HAK     a module's HAK above the KEYs, the first given winning; repeatable",
          "  --module M, --override DIR, --development DIR, --folder DIR   more layers (see",
          "                LAYERS in --help)", "  --png         a texture (tga, dds, plt) as a PNG picture",
          "  --json        a GFF resource (uti, dlg, are, ...), talk table (tlk) or soundset (ssf)",
          "                as JSON; with one FILE alone, that file",
          "  --code-page N a talk table's texts in code page N (1250, 1251, 1252, ...) instead of",
          "                its language's", "  --mp3         a music resource (bmu) as its MP3",
          "  --game        the game's own KEYs instead of KEY (--lang xx: their language)"}},
        {"convert",
         {kUsageConvert},
         {"Converts a GFF (are, ifo, bic, uti, dlg, ...) into JSON when OUT ends in .json, or such",
          "JSON into a GFF when IN ends in .json, in the shape of the community's nwn_gff: every",
          "field {\"type\": ..., \"value\": ...}, keys sorted, texts in UTF-8. The GFF's type is the",
          "JSON's \"__data_type\"; it must match OUT's extension when that is a GFF type. OUT is",
          "created afresh (never written through a link) and never when it is IN."}},
        {"conflicts",
         {kUsageConflicts},
         {"Prints each resource that more than one layer holds (KEYs, ovr, override, HAKs,",
          "development): name.ext, the layer whose copy the game loads, and whether the copies'",
          "bytes differ (by SHA-1); then each copy, the loaded one first.", "",
          "options:", "  --json             one JSON document instead of lines",
          "  --module M         a module (.mod, folder, or name with --game): its HAKs",
          "  --hak HAK          a HAK after the module's; repeatable, in order",
          "  --override DIR     the user's override folder, below the HAKs",
          "  --development DIR  the development folder, above the HAKs",
          "  --folder DIR       a folder above all the others; repeatable, the last winning",
          "  --game             the game's own KEYs and ovr folder instead of KEY...",
          "  --quiet, -q        no note of the game's folder"}},
        {"help", {kUsageHelp, kUsageInfo}, {"Prints one command's help, or without COMMAND the help of them all."}},
    };
    return helps;
}

// How many single edits (a character added, dropped, changed, or two neighbours swapped) turn a
// into b.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    std::iota(d[0].begin(), d[0].end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t changed = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, changed});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::string DidYouMean(std::string_view typed, std::span<const std::string_view> known) {
    // Words far longer than any known one are no typing slip; their table is not worth making.
    constexpr std::size_t kLongest = 40;
    constexpr std::size_t kMostEdits = 2;
    if (typed.size() > kLongest) return {};
    std::string_view nearest;
    std::size_t best = kMostEdits + 1;
    for (const std::string_view word : known) {
        const std::size_t letters = word.size() - std::min(word.find_first_not_of('-'), word.size());
        const std::size_t distance = EditDistance(typed, word);
        if (distance < best && distance < letters) {
            best = distance;
            nearest = word;
        }
    }
    return nearest.empty() ? std::string() : "; did you mean '" + std::string(nearest) + "'?";
}

bool PrintCommandHelp(Output& out, std::string_view command) {
    for (const CommandHelp& help : CommandHelps()) {
        if (help.command != command) continue;
        for (const Usage& usage : help.usages) out.OwnLine(std::string("usage: ").append(usage.synopsis));
        out.OwnLine("");
        for (const std::string_view line : help.text) out.OwnLine(line);
        return true;
    }
    return false;
}

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
    for (const Usage& usage :
         {kUsageList, kUsageListBif, kUsageExtract, kUsageExtractAll, kUsageExtractLayers, kUsagePack, kUsagePackErf,
          kUsageVerify, kUsageFind, kUsageShadowed, kUsageCat, kUsageCatJson, kUsageErfList, kUsageErfExtract,
          kUsageErfOthers, kUsageConvert, kUsageConflicts, kUsageHelp, kUsageInfo}) {
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
