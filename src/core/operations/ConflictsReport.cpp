// The conflicts report: see ConflictsReport.h.

#include "operations/ConflictsReport.h"

#include "base/Sha1.h"
#include "base/Text.h"
#include "names/ArchiveNames.h"
#include "platform/Platform.h"

namespace vellocar {

namespace {

// Each row of the report with its copies' digests, in order, telling progress before each.
template <typename Visit>
void EachConflict(const TResourceIndex& index, TPieceFinder& finder, std::vector<std::string>& problems,
                  const TConflictsReportRequest& request, Visit&& visit) {
    const std::vector<std::uint32_t> conflicts = request.Rows ? std::vector<std::uint32_t>() : index.Conflicts();
    const std::vector<std::uint32_t>& rows = request.Rows ? *request.Rows : conflicts;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (request.Progress) request.Progress(i, rows.size());
        const TIndexRow& row = index.Rows().at(rows[i]);
        if (row.CopyCount < 2) continue;
        const std::vector<TCopyDigest> digests = CopyDigests(index, row, finder);
        const std::string shown = platform::ShownName({index.LineOf(row)});
        for (std::uint32_t c = 0; c < row.CopyCount; ++c)
            if (!digests[c].Problem.empty())
                problems.push_back(shown + " in " +
                                   ConflictLayerText(index.Layers()[index.Copies()[row.FirstCopy + c].Layer]) + ": " +
                                   digests[c].Problem);
        visit(row, digests);
    }
}

} // namespace

std::string ConflictLayerText(const TIndexLayer& layer) { return layer.Role + " " + layer.Label; }

std::string ReportLine(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) {
        if (&field != fields.data()) line += '\t';
        line += field;
    }
    return line;
}

void WriteConflictsText(const TResourceIndex& index, TPieceFinder& finder, const TReportFields& line,
                        std::vector<std::string>& problems, const TConflictsReportRequest& request) {
    const std::vector<TIndexLayer>& layers = index.Layers();
    EachConflict(index, finder, problems, request, [&](const TIndexRow& row, const std::vector<TCopyDigest>& digests) {
        line({platform::ShownName({index.LineOf(row)}), ConflictLayerText(layers[index.Loaded(row).Layer]),
              CopiesDiffer(digests) ? "differ" : "same"});
        for (std::uint32_t c = 0; c < row.CopyCount; ++c) {
            const TIndexCopy& copy = index.Copies()[row.FirstCopy + c];
            const TCopyDigest& digest = digests[c];
            line({"", ConflictLayerText(layers[copy.Layer]), copy.HasSize ? std::to_string(copy.Size) : "-",
                  digest.Digest ? Sha1Hex(*digest.Digest) : "-", c == 0 ? "loaded" : "shadowed"});
        }
    });
}

void WriteConflictsJson(const TResourceIndex& index, TPieceFinder& finder, TJsonWriter& json,
                        std::vector<std::string>& problems, const TConflictsReportRequest& request) {
    json.BeginObject();
    json.Key("layers").BeginArray();
    for (const TIndexLayer& layer : index.Layers()) {
        json.BeginObject();
        json.Key("role").String(layer.Role);
        json.Key("path").String(Utf8OrWindows1252(layer.Label));
        json.EndObject();
    }
    json.EndArray();
    json.Key("conflicts").BeginArray();
    EachConflict(index, finder, problems, request, [&](const TIndexRow& row, const std::vector<TCopyDigest>& digests) {
        json.BeginObject();
        json.Key("line").String(Windows1252ToUtf8(index.LineOf(row)));
        json.Key("type").Number(row.Type);
        json.Key("loaded_layer").Number(index.Loaded(row).Layer);
        json.Key("differ").Bool(CopiesDiffer(digests));
        json.Key("copies").BeginArray();
        for (std::uint32_t c = 0; c < row.CopyCount; ++c) {
            const TIndexCopy& copy = index.Copies()[row.FirstCopy + c];
            json.BeginObject();
            json.Key("layer").Number(copy.Layer);
            json.Key("size");
            if (copy.HasSize)
                json.Number(copy.Size);
            else
                json.Null();
            json.Key("sha1");
            if (digests[c].Digest)
                json.String(Sha1Hex(*digests[c].Digest));
            else
                json.Null();
            json.Key("loaded").Bool(c == 0);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    });
    json.EndArray();
    json.Key("problems").BeginArray();
    for (const std::string& problem : index.Problems()) json.String(Utf8OrWindows1252(problem));
    json.EndArray();
    json.EndObject();
}

} // namespace vellocar
