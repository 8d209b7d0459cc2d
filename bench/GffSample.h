#pragma once
// A GFF shaped like a large area's .git, for the benchmarks of the GFF reader and writer and of
// its JSON conversion: a root with lists of creature, placeable, door and waypoint structs, each
// with the byte, word, int, dword, float, CExoString, ResRef and CExoLocString fields such
// instances have, and a short list of local variables every fourth one. Deterministic: the same
// call gives the same model, so that figures compare from run to run. About 21 bytes of file per
// field: AreaGitSample() (50,000 fields) writes about 1 MB.

#include "formats/Gff.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellocar::bench {

inline gff::TGff AreaGitSample(std::size_t fieldCount = 50000) {
    using gff::TGffType;
    gff::TGff g;
    g.FileType = "GIT ";
    g.Labels = {"Creature List", "Placeable List", "Door List", "WaypointList", "Tag",          "TemplateResRef",
                "LocName",       "XPosition",      "YPosition", "ZPosition",    "XOrientation", "YOrientation",
                "Appearance",    "Faction",        "Plot",      "Static",       "HP",           "Portrait",
                "Conversation",  "VarTable",       "Name",      "Type",         "Value"};
    enum : std::uint32_t {
        kTag = 4,
        kResRef,
        kLocName,
        kX,
        kY,
        kZ,
        kOx,
        kOy,
        kAppearance,
        kFaction,
        kPlot,
        kStatic,
        kHp,
        kPortrait,
        kConversation,
        kVarTable,
        kName,
        kType,
        kValue
    };
    const auto add = [&g](std::uint32_t label, TGffType type, std::uint64_t value = 0, std::uint32_t ref = 0) {
        g.Fields.push_back({label, type, value, ref});
    };
    const auto text = [&g](std::string s) {
        g.Data.push_back(std::move(s));
        return static_cast<std::uint32_t>(g.Data.size() - 1);
    };
    const auto floatBits = [](std::uint32_t i) { return std::uint64_t{0x42000000u + (i * 2654435761u >> 12)}; };

    // The root's four lists, then their instances in turn (each struct's fields stay together);
    // the list items last, so that each list's stay together too.
    const std::size_t perList[4] = {fieldCount * 4 / 10, fieldCount * 3 / 10, fieldCount * 2 / 10, fieldCount / 10};
    constexpr std::uint32_t kIds[4] = {4, 9, 8, 5};
    g.Structs.push_back({gff::kRootStructId, 0, 4});
    for (std::uint32_t l = 0; l < 4; ++l) add(l, TGffType::List, 0, l);
    g.Lists.resize(4);
    std::vector<std::uint32_t> items[4];
    std::vector<std::uint32_t> varStructs; // the first of each variable list's two structs
    for (std::uint32_t l = 0; l < 4; ++l) {
        for (std::size_t used = 0; used < perList[l];) {
            const auto i = static_cast<std::uint32_t>(g.Structs.size());
            items[l].push_back(i);
            const auto first = static_cast<std::uint32_t>(g.Fields.size());
            const std::string id = std::to_string(i);
            add(kTag, TGffType::ExoString, 0, text("inst_" + id));
            add(kResRef, TGffType::ResRef, 0, text("nw_tmpl" + std::to_string(i % 97)));
            g.LocStrings.push_back({gff::kNoStrRef, {{0, "Instance " + id}}});
            add(kLocName, TGffType::ExoLocString, 0, static_cast<std::uint32_t>(g.LocStrings.size() - 1));
            for (std::uint32_t f = kX; f <= kOy; ++f) add(f, TGffType::Float, floatBits(i * 8 + f));
            add(kAppearance, TGffType::Word, i % 500);
            add(kFaction, TGffType::Dword, i % 5);
            add(kPlot, TGffType::Byte, i % 2);
            add(kStatic, TGffType::Byte, 0);
            add(kHp, TGffType::Int, static_cast<std::uint64_t>(std::int64_t{i % 100} - 10));
            add(kPortrait, TGffType::ResRef, 0, text("po_" + std::to_string(i % 31)));
            add(kConversation, TGffType::ResRef, 0, text(""));
            const bool vars = i % 4 == 0;
            if (vars) add(kVarTable, TGffType::List, 0, static_cast<std::uint32_t>(g.Lists.size()));
            const auto count = static_cast<std::uint32_t>(g.Fields.size()) - first;
            g.Structs.push_back({kIds[l], first, count});
            used += count;
            if (!vars) continue;
            // Its local variables: two structs of three fields.
            g.Lists.push_back({0, 2});
            varStructs.push_back(static_cast<std::uint32_t>(g.Structs.size()));
            for (std::uint32_t v = 0; v < 2; ++v) {
                const auto vFirst = static_cast<std::uint32_t>(g.Fields.size());
                add(kName, TGffType::ExoString, 0, text("var" + std::to_string(v)));
                add(kType, TGffType::Dword, 1);
                add(kValue, TGffType::Int, i + v);
                g.Structs.push_back({0, vFirst, 3});
            }
            used += 6;
        }
    }
    for (std::uint32_t l = 0; l < 4; ++l) {
        g.Lists[l] = {static_cast<std::uint32_t>(g.ListItems.size()), static_cast<std::uint32_t>(items[l].size())};
        g.ListItems.insert(g.ListItems.end(), items[l].begin(), items[l].end());
    }
    for (std::size_t k = 0; k < varStructs.size(); ++k) {
        g.Lists[4 + k].First = static_cast<std::uint32_t>(g.ListItems.size());
        g.ListItems.push_back(varStructs[k]);
        g.ListItems.push_back(varStructs[k] + 1);
    }
    return g;
}

} // namespace vellocar::bench
